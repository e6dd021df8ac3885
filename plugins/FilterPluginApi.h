/* Image-filter plug-ins: what a plug-in library exports and how it is called.
 *
 * A plug-in is a shared library named "Orvix<anything>.so" in the plug-in folder
 * ($CommonProgramFiles/Orvix/Filters, or /usr/local/lib/Orvix/Filters when CommonProgramFiles is
 * not set). The folder and each library must be owned by root or by the user running the
 * program and must not be writable by others, or they are refused. Every library exports, with
 * C linkage and default visibility, exactly these three symbols:
 *
 *   FILTERLIST filterlist[];      the filters it declares, ended by a record named "#"
 *   uint32_t GetInformation(...); resolved but never called; return 0
 *   int32_t FilterProcessing(...); runs one filter (result not used by the program)
 *
 * A library lacking any of them is unloaded at once. The program reads `filterlist` in place
 * while the library is loaded; it must stay valid and unchanged.
 *
 * Calls: `FilterProcessing` gets row-pointer tables (one pointer per row, top row first) for the
 * source and the destination. Rows hold uint8_t samples when `bitsPerPixel` is 8 and uint16_t
 * samples otherwise; values lie in 0 .. `maxValue` (255, 4095, 65535, or 255 for the colour
 * planes of a 24/32-bit image). The plug-in writes the filtered image into the destination rows
 * (same width, height and layout). Source and destination may be the same table (in place): a
 * filter that needs its neighbours must then read the source before overwriting it. Calls for
 * different images may come from several threads at once: keep no unguarded global state.
 *
 * Parameters: `parameters[j]` points to the value of declared parameter j, converted from the
 * filter string's j-th comma-separated piece by its declared type: int32_t for
 * ZOR_FILTER_PARAM_INT32, float for ZOR_FILTER_PARAM_FLOAT, double for ZOR_FILTER_PARAM_DOUBLE
 * (missing pieces read as 0). A parameter of any other type points to 8 unspecified bytes.
 *
 * A plug-in runs inside the program's process: a crash or an endless loop in a plug-in ends or
 * hangs the program. See docs/filters.md. */
#ifndef ZOR_FILTER_PLUGIN_API_H
#define ZOR_FILTER_PLUGIN_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZOR_FILTER_PARAM_INT32 1u
#define ZOR_FILTER_PARAM_FLOAT 2u
#define ZOR_FILTER_PARAM_DOUBLE 3u

/* One parameter declaration, 40 bytes; a name beginning with "#" ends a filter's list. */
typedef struct FILTERPARAM {
    const char* name;
    uint32_t type; /* ZOR_FILTER_PARAM_... */
    uint8_t unused[28];
} FILTERPARAM;

/* One filter declaration, 64 bytes; the record named "#" ends `filterlist`. The name is
 * compared exactly (case-sensitive) with a filter string's keyword. */
typedef struct FILTERLIST {
    char name[56];
    const FILTERPARAM* params;
} FILTERLIST;

#ifdef __cplusplus
static_assert(sizeof(FILTERPARAM) == 40, "parameter declarations are 40 bytes");
static_assert(sizeof(FILTERLIST) == 64, "filter declarations are 64 bytes");
#else
_Static_assert(sizeof(FILTERPARAM) == 40, "parameter declarations are 40 bytes");
_Static_assert(sizeof(FILTERLIST) == 64, "filter declarations are 64 bytes");
#endif

/* The three exports, with the exact names the loader resolves. */
#define ZOR_FILTER_EXPORT __attribute__((visibility("default")))
typedef uint32_t (*GetInformationFn)(uint32_t what, void** information);
typedef int32_t (*FilterProcessingFn)(void* sourceRows, uint32_t width, uint32_t height,
                                      uint8_t bitsPerPixel, uint16_t maxValue,
                                      void* destinationRows, char* filterName, void** parameters);

#ifdef ZOR_FILTER_PLUGIN_IMPLEMENTATION
ZOR_FILTER_EXPORT extern FILTERLIST filterlist[];
ZOR_FILTER_EXPORT uint32_t GetInformation(uint32_t what, void** information);
ZOR_FILTER_EXPORT int32_t FilterProcessing(void* sourceRows, uint32_t width, uint32_t height,
                                           uint8_t bitsPerPixel, uint16_t maxValue,
                                           void* destinationRows, char* filterName,
                                           void** parameters);
#endif

#ifdef __cplusplus
}
#endif

#endif /* ZOR_FILTER_PLUGIN_API_H */

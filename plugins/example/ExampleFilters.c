/* A complete filter plug-in: "invert" (no parameters) and "offset" (three parameters, one of
 * each type, added to every sample). Build it as a shared library named Orvix<name>.so:
 *
 *   cc -O2 -shared -fPIC -fvisibility=hidden -I<source>/plugins ExampleFilters.c \
 *      -o OrvixExample.so
 *
 * and copy it into the plug-in folder (see FilterPluginApi.h). */
#define ZOR_FILTER_PLUGIN_IMPLEMENTATION
#include <string.h>

#include "FilterPluginApi.h"

static const FILTERPARAM kNoParams[] = {{"#", 0, {0}}};
static const FILTERPARAM kOffsetParams[] = {{"steps", ZOR_FILTER_PARAM_INT32, {0}},
                                            {"fraction", ZOR_FILTER_PARAM_FLOAT, {0}},
                                            {"precise", ZOR_FILTER_PARAM_DOUBLE, {0}},
                                            {"#", 0, {0}}};

FILTERLIST filterlist[] = {{"invert", kNoParams}, {"offset", kOffsetParams}, {"#", NULL}};

uint32_t GetInformation(uint32_t what, void** information) {
    (void)what;
    if (information)
        *information = NULL;
    return 0;
}

static long Clamp(long value, long maxValue) {
    return value < 0 ? 0 : (value > maxValue ? maxValue : value);
}

static long Sample(void* const* rows, uint8_t bits, uint32_t x, uint32_t y) {
    return bits == 8 ? ((const uint8_t*)rows[y])[x] : ((const uint16_t*)rows[y])[x];
}

static void Store(void* const* rows, uint8_t bits, uint32_t x, uint32_t y, long value) {
    if (bits == 8)
        ((uint8_t*)rows[y])[x] = (uint8_t)value;
    else
        ((uint16_t*)rows[y])[x] = (uint16_t)value;
}

int32_t FilterProcessing(void* sourceRows, uint32_t width, uint32_t height, uint8_t bitsPerPixel,
                         uint16_t maxValue, void* destinationRows, char* filterName,
                         void** parameters) {
    void* const* src = (void* const*)sourceRows;
    void* const* dst = (void* const*)destinationRows;
    long add = 0;
    int invert = strcmp(filterName, "invert") == 0;
    if (!invert) {
        double sum = *(const int32_t*)parameters[0] + *(const float*)parameters[1] +
                     *(const double*)parameters[2];
        add = (long)(sum < 0 ? sum - 0.5 : sum + 0.5);
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            long v = Sample(src, bitsPerPixel, x, y);
            Store(dst, bitsPerPixel, x, y, invert ? maxValue - v : Clamp(v + add, maxValue));
        }
    }
    return 0;
}

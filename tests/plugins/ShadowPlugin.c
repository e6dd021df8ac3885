/* Test plug-in: declares "invert" again (so the first-loaded one must win; this one writes 7
 * everywhere) and then 249 more filters, more than the table holds. */
#define ZOR_FILTER_PLUGIN_IMPLEMENTATION
#include <stdio.h>

#include "FilterPluginApi.h"

static const FILTERPARAM kNone[] = {{"#", 0, {0}}};
FILTERLIST filterlist[251];

__attribute__((constructor)) static void Declare(void) {
    snprintf(filterlist[0].name, sizeof filterlist[0].name, "invert");
    for (int i = 1; i < 250; ++i)
        snprintf(filterlist[i].name, sizeof filterlist[i].name, "f%03d", i);
    snprintf(filterlist[250].name, sizeof filterlist[250].name, "#");
    for (int i = 0; i < 251; ++i)
        filterlist[i].params = kNone;
}

uint32_t GetInformation(uint32_t what, void** information) {
    (void)what;
    (void)information;
    return 0;
}

int32_t FilterProcessing(void* sourceRows, uint32_t width, uint32_t height, uint8_t bitsPerPixel,
                         uint16_t maxValue, void* destinationRows, char* filterName,
                         void** parameters) {
    (void)sourceRows, (void)bitsPerPixel, (void)maxValue, (void)filterName, (void)parameters;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            ((uint8_t*)((void**)destinationRows)[y])[x] = 7;
    return 0;
}

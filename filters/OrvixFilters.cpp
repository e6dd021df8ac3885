// OrvixFilters.so: the grey-level display filters as a filter plug-in ("linear", "gamma",
// "ShannonStretching", "unsharp", "ECE"). The image processing is in GreyFilters.cpp.
#define ZOR_FILTER_PLUGIN_IMPLEMENTATION
#include <cstring>

#include "FilterPluginApi.h"
#include "GreyFilters.h"

namespace {

constexpr uint32_t kInt = ZOR_FILTER_PARAM_INT32;
constexpr uint32_t kDouble = ZOR_FILTER_PARAM_DOUBLE;

const FILTERPARAM kLinear[] = {
    {"brightness", kDouble, {}}, {"contrast", kDouble, {}}, {"#", 0, {}}};
const FILTERPARAM kGamma[] = {{"gamma", kDouble, {}}, {"#", 0, {}}};
const FILTERPARAM kStretch[] = {
    {"low", kDouble, {}},  {"high", kDouble, {}},  {"bins", kInt, {}}, {"ignore_zero", kInt, {}},
    {"out_low", kInt, {}}, {"out_high", kInt, {}}, {"#", 0, {}}};
const FILTERPARAM kUnsharp[] = {{"sigma", kDouble, {}}, {"amount", kDouble, {}}, {"#", 0, {}}};
const FILTERPARAM kEce[] = {{"black", kDouble, {}},
                            {"white", kDouble, {}},
                            {"edge", kDouble, {}},
                            {"gamma", kDouble, {}},
                            {"contrast", kDouble, {}},
                            {"flatten", kDouble, {}},
                            {"near_width", kDouble, {}},
                            {"near_height", kDouble, {}},
                            {"far_width", kDouble, {}},
                            {"far_height", kDouble, {}},
                            {"#", 0, {}}};

double D(void** parameters, int i) {
    return *static_cast<const double*>(parameters[i]);
}
int32_t I(void** parameters, int i) {
    return *static_cast<const int32_t*>(parameters[i]);
}

}  // namespace

extern "C" {

FILTERLIST filterlist[] = {
    {"linear", kLinear},   {"gamma", kGamma}, {"ShannonStretching", kStretch},
    {"unsharp", kUnsharp}, {"ECE", kEce},     {"#", nullptr}};

uint32_t GetInformation(uint32_t, void** information) {
    if (information)
        *information = nullptr;
    return 0;
}

int32_t FilterProcessing(void* sourceRows, uint32_t width, uint32_t height, uint8_t bitsPerPixel,
                         uint16_t maxValue, void* destinationRows, char* filterName,
                         void** parameters) {
    using namespace zor::filters;
    const FilterSet& f = Filters();
    const RowImage source{static_cast<void* const*>(sourceRows), width, height, bitsPerPixel,
                          maxValue};
    void* const* destination = static_cast<void* const*>(destinationRows);
    if (std::strcmp(filterName, "linear") == 0) {
        f.Linear(source, destination, D(parameters, 0), D(parameters, 1));
    } else if (std::strcmp(filterName, "gamma") == 0) {
        f.Gamma(source, destination, D(parameters, 0));
    } else if (std::strcmp(filterName, "ShannonStretching") == 0) {
        f.ShannonStretching(source, destination, D(parameters, 0), D(parameters, 1),
                            I(parameters, 2), I(parameters, 3) != 0, I(parameters, 4),
                            I(parameters, 5));
    } else if (std::strcmp(filterName, "unsharp") == 0) {
        f.Unsharp(source, destination, D(parameters, 0), D(parameters, 1));
    } else if (std::strcmp(filterName, "ECE") == 0) {
        EceParameters p;
        double* fields[] = {&p.m_Black,    &p.m_White,    &p.m_Edge,      &p.m_Gamma,
                            &p.m_Contrast, &p.m_Flatten,  &p.m_NearWidth, &p.m_NearHeight,
                            &p.m_FarWidth, &p.m_FarHeight};
        for (int i = 0; i < 10; ++i)
            *fields[i] = D(parameters, i);
        f.EdgeContrastEnhancement(source, destination, p);
    } else {
        return 1;
    }
    return 0;
}

}  // extern "C"

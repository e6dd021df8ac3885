#pragma once
// The grey-level filters of OrvixFilters.so on row-pointer images (8-bit or 16-bit samples).
// Every result is rounded and saturated to 0 .. maxValue; nothing wraps. Source and destination
// may be the same rows. Not shared between threads: each call keeps its buffers per thread.
#include <cstdint>

namespace zor::filters {

/// Rows of one image as a plug-in receives them.
struct RowImage {
    void* const* m_Rows = nullptr;
    uint32_t m_Width = 0;
    uint32_t m_Height = 0;
    uint8_t m_Bits = 16;  ///< 8: uint8_t samples; otherwise uint16_t samples
    uint16_t m_MaxValue = 65535;
};

/// The ten numbers of the edge and contrast enhancement (see docs/filters.md).
struct EceParameters {
    double m_Black = 0.0;        ///< 1: black point, fraction of max
    double m_White = 1.0;        ///< 2: white point, fraction of max
    double m_Edge = 0.18;        ///< 3: share of the 3 x 3 high-pass added back
    double m_Gamma = 0.82;       ///< 4: exponent applied last (< 1 brightens)
    double m_Contrast = 0.5;     ///< 5: local contrast gain around the near background
    double m_Flatten = 0.3;      ///< 6: share of the far background's deviation removed
    double m_NearWidth = 100.0;  ///< 7, 8: near background window, pixels
    double m_NearHeight = 100.0;
    double m_FarWidth = 200.0;  ///< 9, 10: far background window, pixels
    double m_FarHeight = 200.0;
};
/// One build of the filters. Each writes `destination` (rows of the source's size and layout).
struct FilterSet {
    /// u = v / max; out = max ((u - 0.5) tan((c + 1) pi / 4) + 0.5 - b). Brightness b in -1 .. 1
    /// moves the mid grey (-1 all white, 1 all black); contrast c in -1 .. 1 sets the slope about
    /// mid grey (0 unchanged, -1 flat grey, 1 a threshold). Values outside are clamped.
    void (*Linear)(const RowImage& source, void* const* destination, double brightness,
                   double contrast);
    /// out = max (v / max)^(1 / g); g > 1 brightens the dark levels; g <= 0 keeps only max.
    void (*Gamma)(const RowImage& source, void* const* destination, double gamma);
    /// Entropy-weighted contrast stretch. The histogram (`bins` bins, 0: 1024, at most max + 1)
    /// gives each bin the weight -p ln p of its share p; the black point is the first non-empty
    /// bin whose cumulative weight reaches `low` of the total, the white point the first reaching
    /// `high` (0 and 1: the darkest and brightest levels present). Levels are stretched linearly
    /// from those points to `outLow` .. `outHigh` (both 0: 0 .. max). `ignoreZero` leaves 0
    /// samples (air, padding) out of the histogram.
    void (*ShannonStretching)(const RowImage& source, void* const* destination, double low,
                              double high, int bins, bool ignoreZero, int outLow, int outHigh);
    /// Unsharp mask: out = v + amount / 100 (v - G(v)), G a Gaussian of standard deviation
    /// `sigma` pixels (radius ceil(3 sigma), edges repeated). sigma <= 0 copies the image.
    void (*Unsharp)(const RowImage& source, void* const* destination, double sigma, double amount);
    /// Edge and contrast enhancement (docs/filters.md); images of a million pixels or more are
    /// processed by two threads.
    void (*EdgeContrastEnhancement)(const RowImage& source, void* const* destination,
                                    const EceParameters& parameters);
};

/// The filters built for baseline x86-64 and for AVX2 with FMA.
extern const FilterSet kBaselineFilters;
extern const FilterSet kAvx2Filters;
/// The fastest build this processor runs.
const FilterSet& Filters();

}  // namespace zor::filters

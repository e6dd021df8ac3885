#include "GreyFilters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <thread>
#include <vector>

// Built twice: for baseline x86-64 and, from GreyFiltersAvx2.cpp, for AVX2 with FMA.
#ifdef ZOR_FILTERS_AVX2
#define ZOR_FILTER_BUILD avx2
#define ZOR_FILTER_SET kAvx2Filters
#else
#define ZOR_FILTER_BUILD baseline
#define ZOR_FILTER_SET kBaselineFilters
#endif

namespace zor::filters {

namespace ZOR_FILTER_BUILD {

namespace {

// Loops below are written without branches or aliasing so the compiler vectorises them.

template <class T>
const T* SourceRow(const RowImage& image, uint32_t y) {
    return static_cast<const T*>(image.m_Rows[y]);
}

/// Rounds and saturates `n` values into 0 .. maxValue.
template <class T>
void StoreRow(T* out, const float* values, uint32_t n, float maxValue) {
    for (uint32_t x = 0; x < n; ++x) {
        const float v = std::min(std::max(values[x] + 0.5f, 0.0f), maxValue);
        out[x] = static_cast<T>(static_cast<int32_t>(v));
    }
}

template <class T>
void LoadRow(const T* in, float* out, uint32_t n) {
    for (uint32_t x = 0; x < n; ++x)
        out[x] = static_cast<float>(in[x]);
}

/// Calls `f.template operator()<T>()` with the image's sample type.
template <class F>
void BySampleType(const RowImage& image, F&& f) {
    if (image.m_Bits == 8)
        f.template operator()<uint8_t>();
    else
        f.template operator()<uint16_t>();
}

/// A per-thread float buffer of at least `n` values, reused between calls.
float* Scratch(std::vector<float>& buffer, size_t n) {
    if (buffer.size() < n)
        buffer.resize(n);
    return buffer.data();
}

/// The whole source as floats (so that the destination may overwrite it), one row after another.
template <class T>
float* LoadImage(const RowImage& image, std::vector<float>& buffer) {
    float* all = Scratch(buffer, size_t{image.m_Width} * image.m_Height);
    for (uint32_t y = 0; y < image.m_Height; ++y)
        LoadRow(SourceRow<T>(image, y), all + size_t{y} * image.m_Width, image.m_Width);
    return all;
}

/// Horizontal symmetric convolution of `row` (n values) with weights w[0..r] into `out`; the
/// edge values repeat. `padded` holds n + 2r values.
void ConvolveRow(const float* row, uint32_t n, const float* w, int r, float* padded, float* out) {
    std::fill(padded, padded + r, row[0]);
    std::copy(row, row + n, padded + r);
    std::fill(padded + r + n, padded + 2 * r + n, row[n - 1]);
    const float* centre = padded + r;
    for (uint32_t x = 0; x < n; ++x)
        out[x] = w[0] * centre[x];
    for (int k = 1; k <= r; ++k) {
        const float wk = w[k];
        const float* left = centre - k;
        const float* right = centre + k;
        for (uint32_t x = 0; x < n; ++x)
            out[x] += wk * (left[x] + right[x]);
    }
}

/// Both passes of the Gaussian for one row, the radius a constant when it is small (so the taps
/// unroll and each value is loaded once per tap and stored once): `rows` are the 2r + 1 source
/// rows around the centre, `column` receives the vertical pass, `out` the result.
template <int R>
void GaussianTaps(const float* const* rows, uint32_t n, const float* w, float* __restrict column,
                  float* __restrict padded, float* __restrict out) {
    for (uint32_t x = 0; x < n; ++x) {
        float s = w[0] * rows[R][x];
        for (int k = 1; k <= R; ++k)
            s += w[k] * (rows[R - k][x] + rows[R + k][x]);
        column[x] = s;
    }
    std::fill(padded, padded + R, column[0]);
    std::copy(column, column + n, padded + R);
    std::fill(padded + R + n, padded + 2 * R + n, column[n - 1]);
    const float* centre = padded + R;
    for (uint32_t x = 0; x < n; ++x) {
        float s = w[0] * centre[x];
        for (int k = 1; k <= R; ++k)
            s += w[k] * ((centre - k)[x] + (centre + k)[x]);
        out[x] = s;
    }
}

template <int R = 1>
void GaussianRow(const float* const* rows, uint32_t n, const float* w, int r, float* column,
                 float* padded, float* out) {
    if constexpr (R <= 12) {
        if (r == R)
            return GaussianTaps<R>(rows, n, w, column, padded, out);
        return GaussianRow<R + 1>(rows, n, w, r, column, padded, out);
    } else {
        for (uint32_t x = 0; x < n; ++x)
            column[x] = w[0] * rows[r][x];
        for (int k = 1; k <= r; ++k) {
            const float* up = rows[r - k];
            const float* down = rows[r + k];
            for (uint32_t x = 0; x < n; ++x)
                column[x] += w[k] * (up[x] + down[x]);
        }
        ConvolveRow(column, n, w, r, padded, out);
    }
}

/// A box mean of half-widths rx, ry over a small float image in place (edges repeated).
void BoxMean(float* image, int width, int height, int rx, int ry) {
    const size_t w = static_cast<size_t>(width);
    std::vector<double> prefix(w + 1);
    std::vector<float> line(w);
    for (int y = 0; y < height && rx > 0; ++y) {
        float* row = image + static_cast<size_t>(y) * w;
        for (size_t i = 0; i < w; ++i)
            prefix[i + 1] = prefix[i] + row[i];
        for (int i = 0; i < width; ++i) {
            // The clamped window plus the repeated edge values outside it.
            const int a = i - rx, b = i + rx;
            const int lo = std::max(a, 0), hi = std::min(b, width - 1);
            const double sum = prefix[size_t(hi) + 1] - prefix[size_t(lo)] +
                               double(lo - a) * row[0] + double(b - hi) * row[w - 1];
            line[size_t(i)] = static_cast<float>(sum / (2 * rx + 1));
        }
        std::copy(line.begin(), line.end(), row);
    }
    if (ry <= 0)
        return;
    // Columns: a running sum of whole rows, so the inner loops run along rows.
    const std::vector<float> input(image, image + w * static_cast<size_t>(height));
    auto rowOf = [&](int y) { return input.data() + size_t(std::clamp(y, 0, height - 1)) * w; };
    std::vector<float> acc(w, 0.0f);
    for (int k = -ry; k <= ry; ++k) {
        const float* r = rowOf(k);
        for (size_t x = 0; x < w; ++x)
            acc[x] += r[x];
    }
    const float scale = 1.0f / float(2 * ry + 1);
    for (int y = 0; y < height; ++y) {
        float* __restrict out = image + size_t(y) * w;
        const float* __restrict add = rowOf(y + ry + 1);
        const float* __restrict drop = rowOf(y - ry);
        float* __restrict sum = acc.data();
        for (size_t x = 0; x < w; ++x) {
            out[x] = sum[x] * scale;
            sum[x] += add[x] - drop[x];
        }
    }
}

}  // namespace

void Linear(const RowImage& source, void* const* destination, double brightness, double contrast) {
    const double b = std::clamp(brightness, -1.0, 1.0);
    const double c = std::clamp(contrast, -1.0, 1.0);
    const double half = source.m_MaxValue / 2.0;
    // A contrast of 1 is a threshold: keep the slope finite but steeper than any level step.
    const float slope = static_cast<float>(std::min(std::tan((c + 1.0) * M_PI / 4.0), 1.0e6));
    const float centre = static_cast<float>(half);
    const float offset = static_cast<float>(half - b * source.m_MaxValue);
    const float maxValue = source.m_MaxValue;
    std::vector<float> buffer(source.m_Width);
    BySampleType(source, [&]<class T>() {
        for (uint32_t y = 0; y < source.m_Height; ++y) {
            const T* in = SourceRow<T>(source, y);
            float* v = buffer.data();
            for (uint32_t x = 0; x < source.m_Width; ++x)
                v[x] = (static_cast<float>(in[x]) - centre) * slope + offset;
            StoreRow(static_cast<T*>(destination[y]), v, source.m_Width, maxValue);
        }
    });
}

void Gamma(const RowImage& source, void* const* destination, double gamma) {
    // The table is cached per thread: a chain applies the same gamma to image after image.
    thread_local double cachedGamma = -1.0;
    thread_local uint16_t cachedMax = 0;
    thread_local std::vector<uint16_t> table;
    const uint16_t maxValue = source.m_MaxValue;
    if (cachedGamma != gamma || cachedMax != maxValue || table.empty()) {
        table.assign(size_t{maxValue} + 1, 0);
        table[maxValue] = maxValue;
        if (gamma > 0.0) {
            const double exponent = 1.0 / gamma;
            for (uint32_t v = 0; v < maxValue; ++v) {
                const double out = maxValue * std::pow(v / double(maxValue), exponent);
                table[v] = static_cast<uint16_t>(std::min(std::lround(out), long{maxValue}));
            }
        }
        cachedGamma = gamma;
        cachedMax = maxValue;
    }
    BySampleType(source, [&]<class T>() {
        for (uint32_t y = 0; y < source.m_Height; ++y) {
            const T* in = SourceRow<T>(source, y);
            T* out = static_cast<T*>(destination[y]);
            for (uint32_t x = 0; x < source.m_Width; ++x)
                out[x] = static_cast<T>(table[std::min<uint32_t>(in[x], maxValue)]);
        }
    });
}

void ShannonStretching(const RowImage& source, void* const* destination, double low, double high,
                       int bins, bool ignoreZero, int outLow, int outHigh) {
    const uint32_t levels = uint32_t{source.m_MaxValue} + 1;
    const uint32_t n = std::clamp<uint32_t>(bins > 0 ? uint32_t(bins) : 1024u, 1u, levels);
    std::vector<uint64_t> histogram(n, 0);
    BySampleType(source, [&]<class T>() {
        for (uint32_t y = 0; y < source.m_Height; ++y) {
            const T* in = SourceRow<T>(source, y);
            for (uint32_t x = 0; x < source.m_Width; ++x) {
                const uint32_t v = std::min<uint32_t>(in[x], levels - 1);
                if (v != 0 || !ignoreZero)
                    ++histogram[uint64_t{v} * n / levels];
            }
        }
    });
    uint64_t total = 0;
    for (uint64_t count : histogram)
        total += count;
    std::vector<double> weight(n, 0.0);
    double entropy = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        if (histogram[i] == 0)
            continue;
        const double p = double(histogram[i]) / double(total);
        weight[i] = -p * std::log(p);
        entropy += weight[i];
    }
    // The first non-empty bin whose cumulative weight reaches `fraction` of the whole.
    auto bin = [&](double fraction) {
        double cumulative = 0.0;
        uint32_t last = 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (histogram[i] == 0)
                continue;
            cumulative += weight[i];
            last = i;
            if (cumulative >= fraction * entropy - 1e-9 * entropy)
                return i;
        }
        return last;
    };
    const double black = double(uint64_t{bin(low)} * levels / n);
    const double white = double((uint64_t{bin(high)} + 1) * levels / n - 1);
    const double to0 = outLow == 0 && outHigh == 0 ? 0.0 : outLow;
    const double to1 = outLow == 0 && outHigh == 0 ? source.m_MaxValue : outHigh;
    const bool flat = total == 0 || white <= black;
    const float scale = flat ? 1.0f : static_cast<float>((to1 - to0) / (white - black));
    const float shift = flat ? 0.0f : static_cast<float>(to0 - black * scale);
    const float maxValue = source.m_MaxValue;
    std::vector<float> buffer(source.m_Width);
    BySampleType(source, [&]<class T>() {
        for (uint32_t y = 0; y < source.m_Height; ++y) {
            const T* in = SourceRow<T>(source, y);
            for (uint32_t x = 0; x < source.m_Width; ++x)
                buffer[x] = static_cast<float>(in[x]) * scale + shift;
            StoreRow(static_cast<T*>(destination[y]), buffer.data(), source.m_Width, maxValue);
        }
    });
}

void Unsharp(const RowImage& source, void* const* destination, double sigma, double amount) {
    thread_local std::vector<float> imageBuffer, work;
    const uint32_t w = source.m_Width, h = source.m_Height;
    if (w == 0 || h == 0)
        return;
    const int r = sigma > 0.0 ? std::min(static_cast<int>(std::ceil(3.0 * sigma)), 64) : 0;
    std::vector<float> weight(static_cast<size_t>(r) + 1, 1.0f);
    double sum = 1.0;
    for (int k = 1; k <= r; ++k) {
        weight[static_cast<size_t>(k)] = static_cast<float>(std::exp(-k * k / (2 * sigma * sigma)));
        sum += 2.0 * weight[static_cast<size_t>(k)];
    }
    for (float& wk : weight)
        wk = static_cast<float>(wk / sum);
    const float gain = static_cast<float>(amount / 100.0);
    const float maxValue = source.m_MaxValue;

    BySampleType(source, [&]<class T>() {
        const float* all = LoadImage<T>(source, imageBuffer);
        float* column = Scratch(work, 4 * size_t{w} + 2 * size_t(r));
        float* blurred = column + w;
        float* result = blurred + w;
        float* padded = result + w;
        std::vector<const float*> rows(2 * size_t(r) + 1);
        for (uint32_t y = 0; y < h; ++y) {
            const float* centre = all + size_t{y} * w;
            for (int k = -r; k <= r; ++k)
                rows[size_t(k + r)] = all + size_t(std::clamp<int>(int(y) + k, 0, int(h) - 1)) * w;
            GaussianRow(rows.data(), w, weight.data(), r, column, padded, blurred);
            for (uint32_t x = 0; x < w; ++x)
                result[x] = centre[x] + gain * (centre[x] - blurred[x]);
            StoreRow(static_cast<T*>(destination[y]), result, w, maxValue);
        }
    });
}

/// One row of the enhancement: `sums` the 3-row column sums (padded by one value each side),
/// `term` the background term; writes output-table positions (signed, so the conversion from
/// float vectorises; they lie in 0 .. 65535).
void EnhanceRow(const float* __restrict sums, const float* __restrict row,
                const float* __restrict term, int32_t* __restrict index, uint32_t n, float edge,
                float gain) {
    for (uint32_t x = 0; x < n; ++x) {
        const float mean = (sums[x] + sums[x + 1] + sums[x + 2]) * (1.0f / 9.0f);
        const float v1 = row[x] + edge * (row[x] - mean);
        const float v3 = std::min(std::max(gain * v1 + term[x], 0.0f), 1.0f);
        index[x] = static_cast<int32_t>(v3 * 65535.0f + 0.5f);
    }
}

/// Runs `work(first, last)` over rows 0 .. height, split at a multiple of `align` between two
/// threads for images of a million pixels or more.
template <class F>
void SplitRows(uint32_t width, uint32_t height, uint32_t align, F&& work) {
    const bool split = uint64_t{width} * height >= (1u << 20) &&
                       std::thread::hardware_concurrency() > 1 && height >= 2 * align;
    if (!split) {
        work(0u, height);
        return;
    }
    const uint32_t middle = height / 2 / align * align;
    std::thread helper([&] { work(middle, height); });
    work(0u, middle);
    helper.join();
}

void EdgeContrastEnhancement(const RowImage& source, void* const* destination,
                             const EceParameters& p) {
    constexpr uint32_t kStep = 4;  // the backgrounds are smooth: computed on 4 x 4 block means
    const uint32_t w = source.m_Width, h = source.m_Height;
    if (w == 0 || h == 0)
        return;
    const uint16_t maxValue = source.m_MaxValue;

    // Output table: max * u^gamma for u = i / 65535, cached per thread.
    thread_local double cachedGamma = -1.0;
    thread_local uint16_t cachedMax = 0;
    thread_local std::vector<uint16_t> curve;
    if (curve.empty() || cachedGamma != p.m_Gamma || cachedMax != maxValue) {
        curve.resize(65536);
        const double gamma = std::max(p.m_Gamma, 0.0);
        for (uint32_t i = 0; i < 65536; ++i)
            curve[i] = static_cast<uint16_t>(std::lround(maxValue * std::pow(i / 65535.0, gamma)));
        cachedGamma = p.m_Gamma;
        cachedMax = maxValue;
    }
    const uint16_t* table = curve.data();  // the helper thread has thread-locals of its own

    const double black = p.m_Black * maxValue;
    const double white = std::max(p.m_White * maxValue, black + 1.0);
    const float toUnit = static_cast<float>(1.0 / (white - black));
    const float shift = static_cast<float>(-black / (white - black));
    const uint32_t sw = (w + kStep - 1) / kStep, sh = (h + kStep - 1) / kStep;
    const size_t smallSize = size_t{sw} * sh;
    thread_local std::vector<float> unitBuffer, smallBuffer;
    float* unit = Scratch(unitBuffer, size_t{w} * h);
    float* near = Scratch(smallBuffer, 3 * smallSize);
    float* far = near + smallSize;
    float* background = far + smallSize;

    // Pass 1: the windowed image in 0 .. 1 and its 4 x 4 block means.
    SplitRows(w, h, kStep, [&](uint32_t first, uint32_t last) {
        std::vector<float> sums(size_t{sw} * kStep, 0.0f);
        BySampleType(source, [&]<class T>() {
            for (uint32_t y = first; y < last; ++y) {
                const T* in = SourceRow<T>(source, y);
                float* row = unit + size_t{y} * w;
                float* acc = sums.data();
                for (uint32_t x = 0; x < w; ++x) {
                    row[x] = std::min(std::max(float(in[x]) * toUnit + shift, 0.0f), 1.0f);
                    acc[x] += row[x];
                }
                if ((y + 1) % kStep != 0 && y + 1 != h)
                    continue;
                const uint32_t rows = y % kStep + 1;
                float* out = near + size_t{y / kStep} * sw;
                for (uint32_t bx = 0; bx < sw; ++bx) {
                    const uint32_t cols = std::min(kStep, w - bx * kStep);
                    const float* s = acc + bx * kStep;
                    out[bx] = (s[0] + s[1] + s[2] + s[3]) / float(rows * cols);
                }
                std::fill(sums.begin(), sums.end(), 0.0f);
            }
        });
    });

    // The near and far backgrounds, folded into one additive term:
    // v3 = C v1 + (1 - C) near - F (far - 1/2), C = 1 + contrast gain, F = flattening share.
    std::copy(near, near + smallSize, far);
    auto half = [](double size) { return std::max(0, int(std::lround(size / (2.0 * kStep)))); };
    BoxMean(near, int(sw), int(sh), half(p.m_NearWidth), half(p.m_NearHeight));
    BoxMean(far, int(sw), int(sh), half(p.m_FarWidth), half(p.m_FarHeight));
    const float gain = static_cast<float>(1.0 + p.m_Contrast);
    const float flatten = static_cast<float>(p.m_Flatten);
    for (size_t i = 0; i < smallSize; ++i)
        background[i] = (1.0f - gain) * near[i] - flatten * (far[i] - 0.5f);

    // Pass 2: 3 x 3 high-pass, background term interpolated bilinearly between block centres,
    // then the output table.
    const float edge = static_cast<float>(p.m_Edge);
    SplitRows(w, h, 1, [&](uint32_t first, uint32_t last) {
        std::vector<float> buffer(3 * (size_t{sw} * kStep + 2));
        float* column = buffer.data();
        float* small = column + sw * kStep + 2;
        float* term = small + sw * kStep + 2;
        std::vector<int32_t> indices(size_t{sw} * kStep + 2);
        int32_t* result = indices.data();
        for (uint32_t y = first; y < last; ++y) {
            // Block centre rows above and below, clamped at the edges.
            const float sy = std::max((float(y) + 0.5f) / kStep - 0.5f, 0.0f);
            const uint32_t y0 = std::min(uint32_t(sy), sh - 1), y1 = std::min(y0 + 1, sh - 1);
            const float fy = sy - float(uint32_t(sy));
            const float* a = background + size_t{y0} * sw;
            const float* b = background + size_t{y1} * sw;
            for (uint32_t i = 0; i < sw; ++i)
                small[i] = a[i] + fy * (b[i] - a[i]);
            // Columns 4i .. 4i+3 lie at block positions i - 3/8, i - 1/8, i + 1/8, i + 3/8.
            for (uint32_t i = 0; i < sw; ++i) {
                const float left = small[i > 0 ? i - 1 : 0], mid = small[i];
                const float right = small[i + 1 < sw ? i + 1 : i];
                term[4 * i] = mid + 0.375f * (left - mid);
                term[4 * i + 1] = mid + 0.125f * (left - mid);
                term[4 * i + 2] = mid + 0.125f * (right - mid);
                term[4 * i + 3] = mid + 0.375f * (right - mid);
            }
            const float* up = unit + size_t(y > 0 ? y - 1 : 0) * w;
            const float* row = unit + size_t{y} * w;
            const float* down = unit + size_t(y + 1 < h ? y + 1 : y) * w;
            for (uint32_t x = 0; x < w; ++x)
                column[x + 1] = up[x] + row[x] + down[x];
            column[0] = column[1];
            column[w + 1] = column[w];
            EnhanceRow(column, row, term, result, w, edge, gain);
            BySampleType(source, [&]<class T>() {
                T* out = static_cast<T*>(destination[y]);
                for (uint32_t x = 0; x < w; ++x)
                    out[x] = static_cast<T>(table[result[x]]);
            });
        }
    });
}

}  // namespace ZOR_FILTER_BUILD

extern const FilterSet ZOR_FILTER_SET;
const FilterSet ZOR_FILTER_SET = {ZOR_FILTER_BUILD::Linear, ZOR_FILTER_BUILD::Gamma,
                                  ZOR_FILTER_BUILD::ShannonStretching, ZOR_FILTER_BUILD::Unsharp,
                                  ZOR_FILTER_BUILD::EdgeContrastEnhancement};

#ifndef ZOR_FILTERS_AVX2
const FilterSet& Filters() {
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return avx2 ? kAvx2Filters : kBaselineFilters;
}
#endif

}  // namespace zor::filters

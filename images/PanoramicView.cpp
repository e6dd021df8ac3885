#include "images/PanoramicView.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zor::images {

void ApplyFilterStrings(IDisplayFilter& filter, const std::vector<std::string>& filters,
                        GreyImage16& image) {
    for (const std::string& f : filters) {
        GreyImage16 out;
        if (!filter.ApplyFilterString(image, out, f))
            continue;
        if (out.m_Width == image.m_Width && out.m_Height == image.m_Height &&
            out.m_Samples.size() == image.m_Samples.size()) {
            out.m_Bits = image.m_Bits;
            image = std::move(out);
        }
    }
}

std::vector<uint16_t> PanoramicView::CopyRowsTopFirst() const {
    std::vector<uint16_t> rows;
    CopyRowsTopFirst(rows);
    return rows;
}

uint16_t PanoramicView::CopyRowsTopFirst(std::vector<uint16_t>& rows) const {
    if (!m_Image.IsGrey16()) {
        rows.clear();
        return 0;
    }
    const unsigned width = m_Image.Width();
    const unsigned height = m_Image.Height();
    rows.resize(static_cast<size_t>(width) * height);
    uint16_t largest = 0;
    for (unsigned y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const uint16_t*>(m_Image.ScanLine(height - 1 - y));
        uint16_t* out = rows.data() + static_cast<size_t>(y) * width;
        std::memcpy(out, line, width * sizeof(uint16_t));
        largest = std::max(largest, LargestSample(out, width));
    }
    return largest;
}

uint16_t LargestSample(const uint16_t* samples, size_t count) {
    size_t i = 0;
    uint16_t largest = 0;
#if defined(__SSE2__)
    // SSE2 has only a signed 16-bit maximum: flip the sign bit around it.
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i acc = _mm_set1_epi16(static_cast<short>(0x8000));
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
        acc = _mm_max_epi16(acc, _mm_xor_si128(v, bias));
    }
    alignas(16) uint16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(acc, bias));
    for (uint16_t lane : lanes)
        largest = std::max(largest, lane);
#endif
    for (; i < count; ++i)
        largest = std::max(largest, samples[i]);
    return largest;
}

int PreviewStep(int width) {
    return width / 267 + 1;
}

int EffectiveDepth(int maxSample) {
    if (maxSample < 256)
        return 8;
    if (maxSample < 4096)
        return 12;
    return 16;
}

GreyImage16 BuildPreview(const GreyImage16& source) {
    GreyImage16 preview;
    const int w = source.m_Width;
    const int h = source.m_Height;
    if (w < 1 || h < 1)
        return preview;
    const int s = PreviewStep(w);
    const int half = s / 2;
    preview.m_Width = w / s;
    preview.m_Height = std::max(1, h / s);
    preview.m_Bits = source.m_Bits;
    preview.m_Samples.resize(static_cast<size_t>(preview.m_Width) * preview.m_Height);
    uint16_t* out = preview.m_Samples.data();
    for (int r = 0; r < preview.m_Height; ++r) {
        const uint16_t* row = source.m_Samples.data() + static_cast<size_t>(r) * s * w;
        for (int k = 0; k < preview.m_Width; ++k) {
            const int c = k * s;
            if (half == 0) {
                *out++ = row[c];
                continue;
            }
            const int from = std::max(0, c - half);
            const int to = std::min(w, c + half);
            uint32_t sum = 0;
            for (int x = from; x < to; ++x)
                sum += row[x];
            *out++ = static_cast<uint16_t>(sum / static_cast<uint32_t>(2 * half));
        }
    }
    return preview;
}

}  // namespace zor::images

#include "images/PanoramicView.h"

#include <algorithm>
#include <cstring>

namespace zor::images {

void ApplyFilterStrings(IDisplayFilter& filter, const std::vector<std::string>& filters,
                        GreyImage16& image) {
    for (const std::string& f : filters) {
        GreyImage16 out;
        filter.ApplyFilterString(image, out, f);
        if (out.m_Width == image.m_Width && out.m_Height == image.m_Height &&
            out.m_Samples.size() == image.m_Samples.size()) {
            out.m_Bits = image.m_Bits;
            image = std::move(out);
        }
    }
}

std::vector<uint16_t> PanoramicView::CopyRowsTopFirst() const {
    std::vector<uint16_t> rows;
    if (!m_Image.isValid() || m_Image.getImageType() != FIT_UINT16) return rows;
    const unsigned width = m_Image.getWidth();
    const unsigned height = m_Image.getHeight();
    rows.resize(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        std::memcpy(rows.data() + static_cast<size_t>(y) * width,
                    m_Image.getScanLine(height - 1 - y), width * sizeof(uint16_t));
    }
    return rows;
}

int PreviewStep(int width) { return width / 267 + 1; }

int EffectiveDepth(int maxSample) {
    if (maxSample < 256) return 8;
    if (maxSample < 4096) return 12;
    return 16;
}

GreyImage16 BuildPreview(const GreyImage16& source) {
    GreyImage16 preview;
    const int w = source.m_Width;
    const int h = source.m_Height;
    if (w < 1 || h < 1) return preview;
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
            for (int x = from; x < to; ++x) sum += row[x];
            *out++ = static_cast<uint16_t>(sum / static_cast<uint32_t>(2 * half));
        }
    }
    return preview;
}

}  // namespace zor::images

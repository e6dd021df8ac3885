#include "TiffTestFiles.h"

#include <tiffio.h>

#include <cstring>

namespace zor::images::test {

namespace {
// Tag 1000 has no meaning to libtiff; it must be declared before it can be written.
void DeclareMarker(TIFF* t) {
    static const TIFFFieldInfo kMarker[] = {
        {1000, -1, -1, TIFF_LONG, FIELD_CUSTOM, 1, 1, const_cast<char*>("PanoramicMarker")}};
    if (TIFFFindField(t, 1000, TIFF_ANY) == nullptr)
        TIFFMergeFieldInfo(t, kMarker, 1);
}
}  // namespace

bool WriteTestTiff(const std::string& path, const TiffSpec& spec) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(spec.m_Width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(spec.m_Height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(spec.m_Bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(spec.m_SamplesPerPixel));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 spec.m_SamplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, spec.m_Compression);
    if (spec.m_Description)
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, spec.m_Description->c_str());
    if (spec.m_Xmp) {
        TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<uint32_t>(spec.m_Xmp->size()),
                     spec.m_Xmp->data());
    }
    if (spec.m_Marker1000) {
        DeclareMarker(t);
        const uint32_t value = 1;
        TIFFSetField(t, 1000, 1, &value);
    }
    const size_t bytesPerSample = spec.m_Bits / 8;
    const size_t rowSamples = static_cast<size_t>(spec.m_Width) * spec.m_SamplesPerPixel;
    std::vector<uint8_t> row(rowSamples * bytesPerSample);
    auto fillRow = [&](int y) {
        for (size_t i = 0; i < rowSamples; ++i) {
            const uint16_t v = spec.m_Samples.empty() ? 0 : spec.m_Samples[y * rowSamples + i];
            if (bytesPerSample == 2) {
                std::memcpy(&row[i * 2], &v, 2);
            } else {
                row[i] = static_cast<uint8_t>(v);
            }
        }
    };
    bool ok = true;
    if (spec.m_Tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
        std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(t)), 0);
        for (int y = 0; y < spec.m_Height && ok; y += 16) {
            for (int x = 0; x < spec.m_Width && ok; x += 16) {
                ok = TIFFWriteTile(t, tile.data(), x, y, 0, 0) >= 0;
            }
        }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16u);
        for (int y = 0; y < spec.m_Height && ok; ++y) {
            fillRow(y);
            ok = TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) == 1;
        }
    }
    TIFFClose(t);
    return ok;
}

std::vector<uint8_t> MakeBmp8(int width, int height) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) + 3) & ~3u;
    const uint32_t offset = 14 + 40 + 256 * 4;
    const uint32_t size = offset + rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 8;
    put32(34, rowBytes * static_cast<uint32_t>(height));
    for (int i = 0; i < 256; ++i) {
        b[54 + i * 4] = b[55 + i * 4] = b[56 + i * 4] = static_cast<uint8_t>(i);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            b[offset + y * rowBytes + x] = static_cast<uint8_t>(x + y);
    }
    return b;
}

}  // namespace zor::images::test

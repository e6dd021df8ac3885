#include "zor_r3d/ProjectionIo.h"

#include <tiffio.h>

#include <algorithm>
#include <memory>

namespace zor_r3d {
namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TIFF* OpenForRead(const std::string& path) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (opts == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 64 * 1024 * 1024);
    TIFF* t = TIFFOpenExt(path.c_str(), "r", opts);
    TIFFOpenOptionsFree(opts);
    return t;
}

}  // namespace

std::string ProjectionPath(const std::string& folder, int index) {
    return folder + "3DTS_image_projection_" + std::to_string(index) + ".tif";
}

bool WriteGrey16Tiff(const std::string& path, int width, int height,
                     const std::vector<uint16_t>& samples, const std::string& description) {
    if (width <= 0 || height <= 0 ||
        samples.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    TiffPtr t(TIFFOpen(path.c_str(), "w"));
    if (!t) {
        return false;
    }
    TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t.get(), 0));
    if (!description.empty()) {
        TIFFSetField(t.get(), TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    }
    std::vector<uint16_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(y) * width, width, row.begin());
        if (TIFFWriteScanline(t.get(), row.data(), static_cast<uint32_t>(y), 0) < 0) {
            return false;
        }
    }
    return TIFFFlush(t.get()) == 1;
}

bool ReadGrey16Tiff(const std::string& path, int& width, int& height,
                    std::vector<uint16_t>& samples, std::string* description) {
    TiffPtr t(OpenForRead(path));
    if (!t) {
        return false;
    }
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, spp = 1, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &w) ||
        !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &h) ||
        !TIFFGetField(t.get(), TIFFTAG_BITSPERSAMPLE, &bits)) {
        return false;
    }
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (bits != 16 || spp != 1 || w == 0 || h == 0 || w > 16384 || h > 16384 ||
        TIFFIsTiled(t.get())) {
        return false;
    }
    if ((width > 0 && w != static_cast<uint32_t>(width)) ||
        (height > 0 && h != static_cast<uint32_t>(height))) {
        return false;
    }
    if (TIFFScanlineSize(t.get()) != static_cast<tmsize_t>(w) * 2) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    samples.assign(static_cast<size_t>(w) * h, 0);
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(t.get(), samples.data() + static_cast<size_t>(y) * w, y, 0) < 0) {
            samples.clear();
            return false;
        }
    }
    if (description != nullptr) {
        char* text = nullptr;
        *description = TIFFGetField(t.get(), TIFFTAG_IMAGEDESCRIPTION, &text) && text != nullptr
                           ? std::string(text)
                           : std::string();
    }
    return true;
}

}  // namespace zor_r3d

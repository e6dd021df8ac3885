#include "zor_r3d/ProjectionIo.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "zor_io/RegularFile.h"

namespace zor_r3d {
namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Only a regular file is read, and without mapping it ("m"): a file truncated while it is read
// then gives a read error instead of SIGBUS.
TIFF* OpenForRead(const std::string& path, std::string* reason) {
    const int fd = zor::io::OpenRegular(path, O_RDONLY, reason);
    if (fd < 0) {
        return nullptr;
    }
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFF* t = nullptr;
    if (opts != nullptr) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 64 * 1024 * 1024);
        t = TIFFFdOpenExt(fd, path.c_str(), "rm", opts);
        TIFFOpenOptionsFree(opts);
    }
    if (t == nullptr) {
        ::close(fd);  // TIFFClose closes it once the TIFF is open
        if (reason != nullptr) {
            *reason = path + ": not a TIFF file";
        }
    }
    return t;
}

bool Refuse(std::string* reason, const std::string& why) {
    if (reason != nullptr) {
        *reason = why;
    }
    return false;
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
                    std::vector<uint16_t>& samples, std::string* description, std::string* reason) {
    TiffPtr t(OpenForRead(path, reason));
    if (!t) {
        return false;
    }
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, spp = 1, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &w) ||
        !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &h) ||
        !TIFFGetField(t.get(), TIFFTAG_BITSPERSAMPLE, &bits)) {
        return Refuse(reason, path + ": no image size or sample size");
    }
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (bits != 16 || spp != 1 || w == 0 || h == 0 || w > 16384 || h > 16384 ||
        TIFFIsTiled(t.get()) || TIFFScanlineSize(t.get()) != static_cast<tmsize_t>(w) * 2) {
        return Refuse(reason,
                      path + ": not a 16-bit grey image in strips of at most 16384 × 16384");
    }
    if ((width > 0 && w != static_cast<uint32_t>(width)) ||
        (height > 0 && h != static_cast<uint32_t>(height))) {
        return Refuse(reason, path + ": " + std::to_string(w) + " × " + std::to_string(h) +
                                  " pixels, expected " + std::to_string(width) + " × " +
                                  std::to_string(height));
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    samples.assign(static_cast<size_t>(w) * h, 0);
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(t.get(), samples.data() + static_cast<size_t>(y) * w, y, 0) < 0) {
            samples.clear();
            return Refuse(reason, path + ": image data unreadable (row " + std::to_string(y) + ")");
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

#include "images/ImageFileCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "zor_io/RegularFile.h"

namespace zor::images {

namespace {

/// Collects libtiff's first error; warnings are dropped (our own writer's files raise some).
struct TiffMessages {
    std::string m_FirstError;
    int m_Errors = 0;
};

int OnTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (messages->m_Errors++ == 0) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        messages->m_FirstError = std::string(module ? module : "libtiff") + ": " + text;
    }
    return 1;  // handled: keep the global handler (stderr) quiet
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

/// Opens a regular file only (a FIFO or device is refused without waiting) and gives its size.
TiffPtr OpenTiff(const std::string& path, TiffMessages& messages, uint64_t* fileSize = nullptr) {
    std::string reason;
    const int fd = zor::io::OpenRegular(path, O_RDONLY, &reason);
    if (fd < 0) {
        messages.m_FirstError = reason;
        ++messages.m_Errors;
        return nullptr;
    }
    struct stat st {};
    if (fileSize != nullptr)
        *fileSize = ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        ::close(fd);
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options,
                                        static_cast<tmsize_t>(ImageFileLimits::kMaxSingleAlloc));
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, nullptr);
    // "m": no memory mapping, so a file truncated by another process cannot fault us.
    TiffPtr tiff(TIFFFdOpenExt(fd, path.c_str(), "rm", options));
    TIFFOpenOptionsFree(options);
    if (!tiff)
        ::close(fd);  // once open, TIFFClose closes it
    return tiff;
}

bool Refuse(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

bool HasCountedTag(TIFF* t, uint32_t tag) {
    uint32_t count = 0;
    void* data = nullptr;
    return TIFFGetField(t, tag, &count, &data) == 1;
}

bool CheckStrips(TIFF* t, uint64_t fileSize, uint16_t compression, std::string& reason) {
    const uint32_t strips = TIFFNumberOfStrips(t);
    if (strips == 0)
        return Refuse(reason, "no image strips");
    uint32_t height = 0;
    uint32_t rowsPerStrip = 0;
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const uint64_t rowBytes = static_cast<uint64_t>(TIFFScanlineSize64(t));
    for (uint32_t s = 0; s < strips; ++s) {
        int err = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(t, s, &err);
        const uint64_t count = TIFFGetStrileByteCountWithErr(t, s, &err);
        if (err != 0 || count == 0 || offset > fileSize || count > fileSize - offset) {
            return Refuse(reason, "strip " + std::to_string(s) + " lies outside the file");
        }
        if (compression == COMPRESSION_NONE) {
            const uint64_t first = static_cast<uint64_t>(s) * rowsPerStrip;
            const uint64_t rows =
                first >= height ? 0 : std::min<uint64_t>(rowsPerStrip, height - first);
            if (count < rows * rowBytes) {
                return Refuse(reason, "strip " + std::to_string(s) + " is shorter than its rows");
            }
        }
    }
    return true;
}

}  // namespace

bool CheckTiffForLoad(const std::string& path, std::string& reason) {
    uint64_t fileSize = 0;
    TiffMessages messages;
    TiffPtr tiff = OpenTiff(path, messages, &fileSize);
    if (!tiff) {
        return Refuse(reason,
                      messages.m_FirstError.empty() ? "not a TIFF file" : messages.m_FirstError);
    }
    TIFF* t = tiff.get();
    if (TIFFIsTiled(t))
        return Refuse(reason, "tiled layout");
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t spp = 0, bps = 0, format = 0, planar = 0, photometric = 0, compression = 0;
    if (TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) != 1) {
        return Refuse(reason, "no image size");
    }
    if (width < 1 || height < 1 || width > ImageFileLimits::kMaxDimension ||
        height > ImageFileLimits::kMaxDimension) {
        return Refuse(reason, "image size " + std::to_string(width) + " x " +
                                  std::to_string(height) + " outside 1..16384");
    }
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (spp != 1)
        return Refuse(reason, std::to_string(spp) + " samples per pixel, not grey");
    if (bps != 8 && bps != 16)
        return Refuse(reason, std::to_string(bps) + " bits per sample");
    if (format != SAMPLEFORMAT_UINT)
        return Refuse(reason, "samples are not unsigned integers");
    if (planar != PLANARCONFIG_CONTIG)
        return Refuse(reason, "separate sample planes");
    if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)) {
        return Refuse(reason, "photometric interpretation is not grey");
    }
    if (compression != COMPRESSION_NONE && compression != COMPRESSION_LZW &&
        compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_DEFLATE &&
        compression != COMPRESSION_PACKBITS) {
        return Refuse(reason, "compression " + std::to_string(compression) + " not accepted");
    }
    const uint64_t bytes = static_cast<uint64_t>(width) * height * (bps / 8);
    if (bytes > ImageFileLimits::kMaxImageBytes)
        return Refuse(reason, "image too large");
    uint64_t subIfd = 0;
    if (TIFFGetField(t, TIFFTAG_EXIFIFD, &subIfd) == 1 ||
        TIFFGetField(t, TIFFTAG_GPSIFD, &subIfd) == 1 || HasCountedTag(t, TIFFTAG_RICHTIFFIPTC) ||
        HasCountedTag(t, TIFFTAG_PHOTOSHOP)) {
        return Refuse(reason, "EXIF, GPS, IPTC or Photoshop metadata blocks");
    }
    if (!CheckStrips(t, fileSize, compression, reason))
        return false;
    if (messages.m_Errors > 0)
        return Refuse(reason, messages.m_FirstError);
    return true;
}

bool ReadTiffDescriptionTags(const std::string& path, TiffDescriptionTags& tags,
                             std::string* reason) {
    tags = TiffDescriptionTags();
    TiffMessages messages;
    TiffPtr tiff = OpenTiff(path, messages);
    if (!tiff) {
        if (reason)
            *reason = messages.m_FirstError.empty() ? "not a TIFF file" : messages.m_FirstError;
        return false;
    }
    TIFF* t = tiff.get();
    const char* description = nullptr;
    if (TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description) == 1 && description != nullptr) {
        tags.m_HasDescription = true;
        tags.m_Description = description;
    }
    uint32_t count = 0;
    void* data = nullptr;
    if (TIFFGetField(t, TIFFTAG_XMLPACKET, &count, &data) == 1 && data != nullptr) {
        tags.m_HasXmp = true;
        tags.m_Xmp.assign(static_cast<const char*>(data), count);
    }
    // An unregistered private tag is kept by libtiff as an anonymous counted field.
    const TIFFField* marker = TIFFFindField(t, 1000, TIFF_ANY);
    if (marker != nullptr) {
        count = 0;
        data = nullptr;
        tags.m_HasPanoramicMarker = TIFFFieldPassCount(marker)
                                        ? TIFFGetField(t, 1000, &count, &data) == 1
                                        : TIFFGetField(t, 1000, &data) == 1;
    }
    return true;
}

namespace {

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

bool CheckBmpForLoad(const std::string& path, std::string& reason) {
    std::string why;
    const int fd = zor::io::OpenRegular(path, O_RDONLY, &why);
    if (fd < 0)
        return Refuse(reason, why);
    struct stat st {};
    const uint64_t fileSize = ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    unsigned char h[14 + 124] = {};
    uint64_t got = 0;
    while (fileSize <= ImageFileLimits::kMaxBmpFileBytes && got < sizeof h) {
        const ssize_t n = ::read(fd, h + got, sizeof h - got);
        if (n <= 0)
            break;
        got += static_cast<uint64_t>(n);
    }
    ::close(fd);
    if (fileSize > ImageFileLimits::kMaxBmpFileBytes)
        return Refuse(reason, "file too large");
    if (got < 26 || h[0] != 'B' || h[1] != 'M')
        return Refuse(reason, "not a BMP file");
    const uint32_t pixelOffset = Le32(h + 10);
    const uint32_t infoSize = Le32(h + 14);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0, colours = 0;
    uint32_t planes = 0;
    uint64_t paletteEntry = 4;
    if (infoSize == 12) {
        width = Le16(h + 18);
        height = Le16(h + 20);
        planes = Le16(h + 22);
        bits = Le16(h + 24);
        paletteEntry = 3;
    } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 ||
               infoSize == 124) {
        if (got < 14 + 40)
            return Refuse(reason, "truncated header");
        width = static_cast<int32_t>(Le32(h + 18));
        height = static_cast<int32_t>(Le32(h + 22));
        planes = Le16(h + 26);
        bits = Le16(h + 28);
        compression = Le32(h + 30);
        colours = Le32(h + 46);
    } else {
        return Refuse(reason, "unknown BMP header size " + std::to_string(infoSize));
    }
    if (height < 0)
        height = -height;
    if (planes != 1)
        return Refuse(reason, "planes not 1");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return Refuse(reason, std::to_string(bits) + " bits per pixel");
    }
    if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) {
        return Refuse(reason, "compressed BMP (" + std::to_string(compression) + ")");
    }
    if (width < 1 || height < 1 || width > ImageFileLimits::kMaxDimension ||
        height > ImageFileLimits::kMaxDimension) {
        return Refuse(reason, "picture size outside 1..16384");
    }
    const uint64_t maxColours = bits <= 8 ? (1u << bits) : 0;
    if (bits <= 8 && colours > maxColours)
        return Refuse(reason, "palette too long");
    const uint64_t paletteSize =
        (bits <= 8 ? (colours == 0 ? maxColours : colours) : 0) * paletteEntry;
    const uint64_t masks = (compression == 3 && infoSize == 40) ? 12 : 0;
    if (14 + static_cast<uint64_t>(infoSize) + masks + paletteSize > pixelOffset) {
        return Refuse(reason, "palette overlaps the pixels");
    }
    const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
    const uint64_t pixels = rowBytes * static_cast<uint64_t>(height);
    if (pixels > ImageFileLimits::kMaxImageBytes || pixelOffset > fileSize ||
        pixels > fileSize - pixelOffset) {
        return Refuse(reason, "pixel rows lie outside the file");
    }
    return true;
}

}  // namespace zor::images

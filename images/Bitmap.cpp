#include "images/Bitmap.h"

#include <FreeImagePlus.h>
#include <tiffio.h>

#include <cstdio>
#include <optional>

#include "zor_io/RegularFile.h"

namespace zor::images {

struct Bitmap::Impl {
    fipImage image;
};

Bitmap::Bitmap() : m_Impl(std::make_unique<Impl>()) {}
Bitmap::~Bitmap() = default;
Bitmap::Bitmap(Bitmap&&) noexcept = default;
Bitmap& Bitmap::operator=(Bitmap&&) noexcept = default;

namespace {

unsigned ReadProc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<std::FILE*>(handle)));
}
unsigned WriteProc(void*, unsigned, unsigned, fi_handle) {
    return 0;  // read only
}
int SeekProc(fi_handle handle, long offset, int origin) {
    return std::fseek(static_cast<std::FILE*>(handle), offset, origin);
}
long TellProc(fi_handle handle) {
    return std::ftell(static_cast<std::FILE*>(handle));
}

/// FreeImage's TIFF reader asks libtiff about every EXIF tag it knows, and libtiff reports each
/// one it does not know on standard error ("TIFFFieldWithTag: Internal error, unknown tag"),
/// some sixty lines per load that say nothing about the file. libtiff's process-wide handlers
/// are quiet while FreeImage reads; the system's own libtiff opens carry handlers of their own.
class QuietLibtiff {
public:
    QuietLibtiff()
        : m_Error(TIFFSetErrorHandler(nullptr)), m_Warning(TIFFSetWarningHandler(nullptr)) {}
    ~QuietLibtiff() {
        TIFFSetErrorHandler(m_Error);
        TIFFSetWarningHandler(m_Warning);
    }
    QuietLibtiff(const QuietLibtiff&) = delete;
    QuietLibtiff& operator=(const QuietLibtiff&) = delete;

private:
    TIFFErrorHandler m_Error;
    TIFFErrorHandler m_Warning;
};

}  // namespace

bool Bitmap::Load(Format format, const std::string& path) {
    if (!m_Impl)
        m_Impl = std::make_unique<Impl>();
    // FreeImage reads from a stream opened here: a regular file only, never waiting on a FIFO.
    std::FILE* file = zor::io::OpenRegularFile(path, "rb");
    if (file == nullptr) {
        m_Impl->image.clear();
        return false;
    }
    FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
    const bool tiff = format == Format::Tiff;
    std::optional<QuietLibtiff> quiet;
    if (format == Format::Tiff)
        quiet.emplace();
    FIBITMAP* dib =
        FreeImage_LoadFromHandle(tiff ? FIF_TIFF : FIF_BMP, &io, static_cast<fi_handle>(file),
                                 tiff ? TIFF_DEFAULT : BMP_DEFAULT);
    std::fclose(file);
    if (dib == nullptr) {
        m_Impl->image.clear();
        return false;
    }
    m_Impl->image = dib;  // takes ownership
    return m_Impl->image.isValid() != 0;
}

bool Bitmap::Rotate(double degrees) {
    return IsValid() && m_Impl->image.rotate(degrees);
}

bool Bitmap::IsValid() const {
    return m_Impl && m_Impl->image.isValid();
}

unsigned Bitmap::Width() const {
    return IsValid() ? m_Impl->image.getWidth() : 0;
}

unsigned Bitmap::Height() const {
    return IsValid() ? m_Impl->image.getHeight() : 0;
}

unsigned Bitmap::BitsPerPixel() const {
    return IsValid() ? m_Impl->image.getBitsPerPixel() : 0;
}

bool Bitmap::IsGrey16() const {
    return IsValid() && m_Impl->image.getImageType() == FIT_UINT16;
}

const uint8_t* Bitmap::ScanLine(unsigned y) const {
    return IsValid() ? m_Impl->image.getScanLine(y) : nullptr;
}

std::vector<uint32_t> Bitmap::ToBgra32TopFirst() const {
    if (!IsValid() || m_Impl->image.getImageType() != FIT_BITMAP)
        return {};
    FIBITMAP* converted = FreeImage_ConvertTo32Bits(m_Impl->image);
    if (converted == nullptr)
        return {};
    const unsigned width = FreeImage_GetWidth(converted);
    const unsigned height = FreeImage_GetHeight(converted);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(converted, y));
        uint32_t* out = pixels.data() + static_cast<size_t>(height - 1 - y) * width;
        for (unsigned x = 0; x < width; ++x)
            out[x] = row[x] | 0xFF000000u;
    }
    FreeImage_Unload(converted);
    return pixels;
}

}  // namespace zor::images

#include "images/Bitmap.h"

#include <FreeImagePlus.h>

namespace zor::images {

struct Bitmap::Impl {
    fipImage image;
};

Bitmap::Bitmap() : m_Impl(std::make_unique<Impl>()) {}
Bitmap::~Bitmap() = default;
Bitmap::Bitmap(Bitmap&&) noexcept = default;
Bitmap& Bitmap::operator=(Bitmap&&) noexcept = default;

bool Bitmap::Load(Format format, const std::string& path) {
    if (!m_Impl)
        m_Impl = std::make_unique<Impl>();
    const bool tiff = format == Format::Tiff;
    return m_Impl->image.load(tiff ? FIF_TIFF : FIF_BMP, path.c_str(),
                              tiff ? TIFF_DEFAULT : BMP_DEFAULT);
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

}  // namespace zor::images

#include "viewer/ViewImage.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

namespace zor::viewer {

static_assert(std::endian::native == std::endian::little,
              "display bitmaps are B, G, R, A bytes read as 0xAARRGGBB words");

int BytesPerPixel(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 4:
        case 8:
        case 12:
        case 16:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 0;
    }
}

int MaximumValue(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 4:
            return 15;
        case 12:
            return 4095;
        case 16:
            return 65535;
        default:
            return 255;
    }
}

ViewImage::ViewImage(ViewImage&& other) noexcept {
    *this = std::move(other);
}

ViewImage& ViewImage::operator=(ViewImage&& other) noexcept {
    if (this != &other) {
        width = other.width;
        height = other.height;
        stride = other.stride;
        bitsPerPixel = other.bitsPerPixel;
        maximumValue = other.maximumValue;
        storage = other.storage;
        pixels = other.pixels;
        m_Buffer = std::move(other.m_Buffer);
        other.storage = ImageStorage::None;
        other.pixels = nullptr;
    }
    return *this;
}

namespace {

ViewImage Describe(int width, int height, int bitsPerPixel) {
    ViewImage image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = bitsPerPixel;
    image.stride = width * BytesPerPixel(bitsPerPixel);
    image.maximumValue = MaximumValue(bitsPerPixel);
    return image;
}

bool Describable(int width, int height, int bitsPerPixel) {
    return width > 0 && height > 0 && BytesPerPixel(bitsPerPixel) > 0;
}

}  // namespace

ViewImage ViewImage::Owned(int width, int height, int bitsPerPixel) {
    ViewImage image = Describe(width, height, bitsPerPixel);
    if (!Describable(width, height, bitsPerPixel))
        return image;
    const size_t bytes = static_cast<size_t>(image.stride) * static_cast<size_t>(height);
    image.m_Buffer.reset(new (std::nothrow) std::uint8_t[bytes]());
    if (image.m_Buffer) {
        image.pixels = image.m_Buffer.get();
        image.storage = ImageStorage::Owned;
    }
    return image;
}

ViewImage ViewImage::External(void* pixels, int width, int height, int bitsPerPixel) {
    ViewImage image = Describe(width, height, bitsPerPixel);
    // Any depth is kept: the display conversion decides what it can show.
    if (pixels != nullptr && width > 0 && height > 0) {
        image.pixels = static_cast<std::uint8_t*>(pixels);
        image.storage = ImageStorage::External;
    }
    return image;
}

bool ViewImage::HasData() const {
    const bool kindWithData = storage == ImageStorage::Owned || storage == ImageStorage::OwnedAlt ||
                              storage == ImageStorage::External;
    return kindWithData && pixels != nullptr && width > 0 && height > 0;
}

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

// The row loops below are written so that the compiler vectorises them (this file is built at
// -O3): 48 crosses are converted on every repaint.
inline std::uint32_t Grey(std::uint32_t g) {
    return kOpaque | g | (g << 8) | (g << 16);
}

void GreyRow(const std::uint16_t* src, std::uint32_t* dst, int n, int shift) {
    if (shift == 0) {
        for (int x = 0; x < n; ++x)
            dst[x] = Grey(src[x] & 0xFFu);
    } else {
        for (int x = 0; x < n; ++x)
            dst[x] = Grey(static_cast<std::uint32_t>(src[x] >> shift) & 0xFFu);
    }
}

void BgrRow(const std::uint8_t* src, std::uint32_t* dst, int n) {
    for (int x = 0; x < n; ++x) {
        const std::uint8_t* p = src + 3 * x;
        dst[x] = kOpaque | (static_cast<std::uint32_t>(p[2]) << 16) |
                 (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
    }
}

}  // namespace

bool MakeDisplayBitmap(const ViewImage& image, DisplayBitmap& bitmap) {
    if (!image.HasData()) {
        bitmap.Clear();
        return false;
    }
    const int depth = image.bitsPerPixel;
    if (depth != 8 && depth != 12 && depth != 16 && depth != 24 && depth != 32)
        return false;
    const int w = image.width;
    const int h = image.height;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (bitmap.width != w || bitmap.height != h || bitmap.pixels.size() != count) {
        bitmap.pixels = std::vector<std::uint32_t>(count);
        bitmap.width = w;
        bitmap.height = h;
    }
    for (int y = 0; y < h; ++y) {
        std::uint32_t* dst = bitmap.pixels.data() + static_cast<size_t>(y) * w;
        const std::uint8_t* src = image.pixels + static_cast<std::ptrdiff_t>(y) * image.stride;
        switch (depth) {
            case 8:
                GreyRow(image.Row16(y), dst, w, 0);
                break;
            case 12:
                GreyRow(image.Row16(y), dst, w, 4);
                break;
            case 16:
                GreyRow(image.Row16(y), dst, w, 8);
                break;
            case 24:
                BgrRow(src, dst, w);
                break;
            default:
                std::memcpy(dst, src, static_cast<size_t>(w) * 4);
                break;
        }
    }
    static std::atomic<std::uint64_t> lastStamp{0};
    bitmap.stamp = ++lastStamp;
    return true;
}

}  // namespace zor::viewer

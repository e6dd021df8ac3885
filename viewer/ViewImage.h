#pragma once
// The viewer's image records (slices, filter results) and their 32-bit display bitmaps.
#include <cstdint>
#include <memory>
#include <vector>

namespace zor::viewer {

/// Who holds a record's pixels.
enum class ImageStorage : std::int32_t {
    None = 0,      ///< no pixel data
    Owned = 1,     ///< a buffer allocated for the record, released with it (3 means the same)
    External = 2,  ///< the caller's pixels, not owned; they must outlive the record
    OwnedAlt = 3,
};

/// Bytes per pixel of a record of `bitsPerPixel`: 2 for 4, 8, 12 and 16 bits, 3 for 24, 4 for
/// 32, 0 for any other depth.
int BytesPerPixel(int bitsPerPixel);
/// The largest pixel value of a depth: 15, 255, 4095, 65535 for 4, 8, 12, 16 bits, else 255.
int MaximumValue(int bitsPerPixel);

/// An image record: rows top first, `stride` bytes each without padding; 4 to 16-bit pixels
/// are 16-bit words (native order), 24-bit pixels B, G, R, 32-bit pixels B, G, R, A. Move-only;
/// used on one thread at a time.
class ViewImage {
public:
    ViewImage() = default;
    ViewImage(ViewImage&& other) noexcept;
    ViewImage& operator=(ViewImage&& other) noexcept;
    ViewImage(const ViewImage&) = delete;
    ViewImage& operator=(const ViewImage&) = delete;

    /// A record with a zero-filled buffer of its own. A size below 1 or a depth other than 4,
    /// 8, 12, 16, 24 or 32 gives a record without data (storage None) that keeps the figures.
    static ViewImage Owned(int width, int height, int bitsPerPixel);
    /// A record over the caller's `pixels` (stride = width x bytes per pixel, 16-bit words
    /// 2-byte aligned), not owned; null pixels or a size below 1 give a record without data.
    static ViewImage External(void* pixels, int width, int height, int bitsPerPixel);
    /// A 16-bit record, as cross slices are, with its own buffer.
    static ViewImage Slice16(int width, int height) { return Owned(width, height, 16); }

    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;  ///< bytes per row
    std::int32_t bitsPerPixel = 0;
    std::int32_t maximumValue = 255;
    ImageStorage storage = ImageStorage::None;
    std::uint8_t* pixels = nullptr;  ///< null unless storage is Owned, OwnedAlt or External

    /// True when the record's storage kind gives it pixels to show.
    bool HasData() const;
    /// Pixel row `y` as 16-bit words (4 to 16-bit records).
    std::uint16_t* Row16(int y) const {
        return reinterpret_cast<std::uint16_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    }

private:
    std::unique_ptr<std::uint8_t[]> m_Buffer;
};

/// A display bitmap: 32-bit pixels stored as the bytes B, G, R, A (0xAARRGGBB words on this
/// little-endian platform, the layout of QImage::Format_RGB32), rows top first, no padding.
struct DisplayBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    /// Names the pixels' content: MakeDisplayBitmap gives every conversion a number never used
    /// before, so a painter may keep a stretched copy while the stamp stays. 0 = not known, never
    /// kept; whoever changes the pixels by other means sets it to 0.
    std::uint64_t stamp = 0;

    bool Empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
    void Clear() { *this = DisplayBitmap{}; }
};

/// Converts `image` into `bitmap` for display. A record without data clears the bitmap; a depth
/// other than 8, 12, 16, 24 or 32 bits leaves it unchanged. Otherwise the bitmap keeps its
/// storage when its size is the record's, else it gets new storage of the record's size, and
/// every pixel becomes: grey B = G = R (8 bits: the low byte of the 16-bit word; 12 bits: value
/// >> 4; 16 bits: value >> 8) with A = 255; 24 bits: B, G, R copied, A = 255; 32 bits: all
/// four bytes copied. True when the bitmap now shows the record.
bool MakeDisplayBitmap(const ViewImage& image, DisplayBitmap& bitmap);

}  // namespace zor::viewer

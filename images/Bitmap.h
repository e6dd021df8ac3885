#pragma once
// An image as FreeImage loads it, with FreeImage kept out of the headers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zor::images {

/// One decoded picture (rows bottom-up, as FreeImage keeps them); empty until loaded.
class Bitmap {
public:
    enum class Format { Tiff, Bmp };

    Bitmap();
    ~Bitmap();
    Bitmap(Bitmap&&) noexcept;
    Bitmap& operator=(Bitmap&&) noexcept;

    /// Decodes the file; false (and empty) when it cannot be read.
    bool Load(Format format, const std::string& path);
    /// Rotates by `degrees` counter-clockwise; false when empty or on failure.
    bool Rotate(double degrees);

    bool IsValid() const;
    unsigned Width() const;
    unsigned Height() const;
    unsigned BitsPerPixel() const;
    /// True for one unsigned 16-bit sample per pixel.
    bool IsGrey16() const;
    /// Row `y` counted from the bottom; null when empty.
    const uint8_t* ScanLine(unsigned y) const;
    /// The picture as 32-bit pixels (bytes B, G, R, 255), rows top first; empty when the
    /// picture is empty or cannot be converted (16-bit greyscale, for one).
    std::vector<uint32_t> ToBgra32TopFirst() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};

}  // namespace zor::images

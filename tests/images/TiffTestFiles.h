#pragma once
// Small test inputs: TIFFs written with libtiff and an 8-bit BMP.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zor::images::test {

/// How a test TIFF is written.
struct TiffSpec {
    int m_Width = 8;
    int m_Height = 4;
    int m_Bits = 16;
    int m_SamplesPerPixel = 1;
    std::vector<uint16_t> m_Samples;  ///< width × height × spp, top row first
    std::optional<std::string> m_Description;
    std::optional<std::string> m_Xmp;
    bool m_Marker1000 = false;
    bool m_Tiled = false;
    uint16_t m_Compression = 1;
};

/// Writes `spec` with libtiff; false on any libtiff failure.
bool WriteTestTiff(const std::string& path, const TiffSpec& spec);

/// An uncompressed 8-bit palette BMP of width × height with sample value (x + y) & 0xFF.
std::vector<uint8_t> MakeBmp8(int width, int height);

}  // namespace zor::images::test

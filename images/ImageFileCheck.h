#pragma once
// Checks run before FreeImage sees a file, and libtiff reading of the description tags.
#include <cstdint>
#include <string>

namespace zor::images {

/// Limits of the pre-checks (FreeImage 3.18 has known flaws with crafted files).
struct ImageFileLimits {
    static constexpr uint32_t kMaxDimension = 16384;           ///< pixels per side
    static constexpr uint64_t kMaxImageBytes = 64ull << 20;    ///< decoded size of one image
    static constexpr uint64_t kMaxSingleAlloc = 64ull << 20;   ///< libtiff's largest allocation
    static constexpr uint64_t kMaxBmpFileBytes = 64ull << 20;  ///< curve picture file size
};

/// Checks that `path` is a TIFF FreeImage can read safely as a grey panoramic: a readable
/// first directory, 1 sample of 8 or 16 unsigned bits, min-is-black/white, contiguous strips
/// (no tiles), compression none/LZW/Deflate/PackBits, dimensions and sizes within limits, and
/// every strip inside the file. On refusal `reason` says why (English, for the log).
bool CheckTiffForLoad(const std::string& path, std::string& reason);

/// Checks that `path` is an uncompressed (BI_RGB or BI_BITFIELDS) BMP of 1/4/8/24/32 bits
/// whose header, palette and pixel rows lie inside the file and within the limits.
bool CheckBmpForLoad(const std::string& path, std::string& reason);

/// The description tags of a TIFF's first directory, copied out of libtiff.
struct TiffDescriptionTags {
    bool m_HasDescription = false;      ///< tag 270
    std::string m_Description;          ///< up to its first NUL
    bool m_HasXmp = false;              ///< tag 700
    std::string m_Xmp;                  ///< all count bytes (not NUL-terminated in the file)
    bool m_HasPanoramicMarker = false;  ///< private tag 1000
};

/// Opens `path` read-only with libtiff (allocation limit, silent handlers) and copies tags 270,
/// 700 and the presence of 1000. False when the file cannot be opened as a TIFF.
bool ReadTiffDescriptionTags(const std::string& path, TiffDescriptionTags& tags,
                             std::string* reason = nullptr);

}  // namespace zor::images

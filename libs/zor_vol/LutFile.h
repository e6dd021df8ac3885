#pragma once
// The projection LUT file "<ProjectionId>_X.LUT": text, "C" locale, one entry per raw column.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor_vol_lut {

/// One raw panoramic column: the point of the panoramic curve it images (device mm), the
/// direction of the curve there (rad) and the exposure factor of a projection acquired there.
struct LutEntry {
    int32_t Flag = 0;  ///< non-zero where the column images the curve
    double X = 0.0, Y = 0.0, Angle = 0.0, Factor = 1.0;
};

struct LutTable {
    std::string Id;              ///< projection id the table belongs to
    double ColumnPitch = 0.078;  ///< mm along the curve per raw column
    std::vector<LutEntry> Entries;
};

inline constexpr size_t kMaxEntries = 20000;

/// Parses the file text; false on any malformed line, missing entry, entry beyond `count`,
/// non-finite number, a point outside ±71 mm (the range of the curve picture) or a factor
/// outside 0.001…100. Blank lines may follow the entries.
bool ParseLut(std::string_view text, LutTable& table);
std::string FormatLut(const LutTable& table);
enum class LutRead { Ok, Unreadable, Malformed };
/// Reads and parses `path`: Unreadable when it is missing, not a regular file or cannot be
/// read; Malformed when ParseLut refuses it or it is larger than any table. `*reason` (when
/// given) says why.
LutRead ReadLutFile(const std::string& path, LutTable& table, std::string* reason = nullptr);
bool WriteLutFile(const std::string& path, const LutTable& table);

}  // namespace zor_vol_lut

#pragma once
// Display-filter lists: ordered filter strings, at most one per keyword, applied to an image
// through the filter plug-ins. Pure logic; each list belongs to the thread that owns its images.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "images/DisplayFilter.h"

namespace zor::plugins {

/// An image as the display filters take it, top row first. `m_BitsPerPixel` is 8 (one byte per
/// sample), 12 or 16 (two bytes, values up to `m_MaxValue`), 24 or 32 (three or four bytes per
/// pixel, filtered as three planes; a fourth byte passes unchanged).
struct FilterImage {
    int m_Width = 0;
    int m_Height = 0;
    int m_BitsPerPixel = 16;
    uint16_t m_MaxValue = 65535;
    size_t m_Stride = 0;  ///< bytes per row
    std::vector<uint8_t> m_Data;

    /// A zero-filled image; rows packed. `maxValue` 0 takes the depth's own maximum.
    static FilterImage Create(int width, int height, int bitsPerPixel, uint16_t maxValue = 0);
    bool Empty() const { return m_Data.empty(); }
    int BytesPerPixel() const { return (m_BitsPerPixel + 7) / 8; }
    uint8_t* Row(int y) { return m_Data.data() + static_cast<size_t>(y) * m_Stride; }
    const uint8_t* Row(int y) const { return m_Data.data() + static_cast<size_t>(y) * m_Stride; }
    bool SameShape(const FilterImage& other) const;
};

/// The keyword of a filter string (leading blanks skipped, up to the next blank) and the text
/// after the blank that ends it ("" when there is none).
std::string_view FilterKeyword(std::string_view filterString);
std::string_view FilterParameters(std::string_view filterString);

/// An ordered list of filter strings with at most one entry per keyword.
class FilterList {
public:
    /// Appends a new keyword; for a present keyword: a string with parameter text replaces the
    /// entry in place, except that an entry beginning with "@" is removed (adding a bundle twice
    /// toggles it); the bare keyword removes the entry.
    void AddFilter(const std::string& filterString);
    /// Removes the entry with the keyword of `filterString`, if any.
    void RemoveFilter(const std::string& filterString);
    /// The entry with `keyword`, or "" when there is none.
    std::string Find(std::string_view keyword) const;

    const std::vector<std::string>& Entries() const { return m_Entries; }
    bool Empty() const { return m_Entries.empty(); }
    void Clear() { m_Entries.clear(); }
    /// The entries joined with "\n", and a list made by splitting such a text again (empty
    /// lines dropped): how the master list is copied to the other crosses.
    std::string Join() const;
    static FilterList Split(std::string_view joined);

private:
    std::vector<std::string> m_Entries;
};

/// Applies `filters` in order from `source` into `destination` (which may be `source`). The
/// destination is made anew when its size or depth differs from the source's. An image of 24 or
/// 32 bits per pixel is split into three 16-bit planes (values 0..255), each plane goes through
/// every step, and the planes are joined again. Milliseconds spent in filters are added to
/// `milliseconds` when given.
void ApplyFilterList(const std::vector<std::string>& filters, const FilterImage& source,
                     FilterImage& destination, double* milliseconds = nullptr);
inline void ApplyFilterList(const FilterList& list, const FilterImage& source,
                            FilterImage& destination, double* milliseconds = nullptr) {
    ApplyFilterList(list.Entries(), source, destination, milliseconds);
}

/// One step on a grey image (8, 12 or 16 bits; `destination` of the same shape, or `source`
/// itself). An "@" bundle applies the treatment strings of its description; any other string
/// runs the plug-in filter of its keyword; without one the source is copied unchanged.
void ApplyFilterString(const FilterImage& source, FilterImage& destination,
                       const std::string& filterString, double* milliseconds = nullptr);

/// The automatic list of a newly built cross from section "FILTERS_AUTOMATIC_3D" of `iniFile`:
/// with "MAX_ENTRIES" 0 (or missing) a "ShannonStretching" entry with the two stretching values
/// (left out when they are 0.0 and 1.0) and a "gamma" entry; with N > 0 the non-empty
/// "FILTER_01" .. "FILTER_N" strings in order.
std::vector<std::string> AutomaticFilterList(const std::filesystem::path& iniFile,
                                             double stretchLow, double stretchHigh, double gamma);

/// The image layer's filter port served by the plug-ins (for the panoramic's treatment).
class PluginDisplayFilter : public images::IDisplayFilter {
public:
    bool ApplyFilterString(const images::GreyImage16& source, images::GreyImage16& destination,
                           const std::string& filterString) override;
};

}  // namespace zor::plugins

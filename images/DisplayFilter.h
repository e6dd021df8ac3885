#pragma once
// Grey images as the display filters see them, and the filter interface of the image layer.
#include <cstdint>
#include <string>
#include <vector>

namespace zor::images {

/// A grey image held as 16-bit samples, top row first, rows packed (stride = width).
/// `m_Bits` is the effective depth (8, 12 or 16) that sets its display maximum.
struct GreyImage16 {
    int m_Width = 0;
    int m_Height = 0;
    int m_Bits = 16;
    std::vector<uint16_t> m_Samples;

    bool Empty() const { return m_Samples.empty(); }
    int MaxValue() const { return m_Bits == 8 ? 255 : (m_Bits == 12 ? 4095 : 65535); }
};

/// Applies one filter string ("keyword parameters") from a source to a destination image.
/// The filter plug-ins implement it above this layer. Runs on the thread that owns the images.
class IDisplayFilter {
public:
    virtual ~IDisplayFilter() = default;
    /// True when a filter ran and `destination` holds its result (the source's size). False when
    /// no filter has the keyword: the image passes unchanged, so the caller keeps the source
    /// instead of a copy and `destination` is not used.
    virtual bool ApplyFilterString(const GreyImage16& source, GreyImage16& destination,
                                   const std::string& filterString) = 0;
};

/// The stand-in until the plug-ins exist: every filter string leaves the image unchanged.
class CopyDisplayFilter : public IDisplayFilter {
public:
    bool ApplyFilterString(const GreyImage16&, GreyImage16&, const std::string&) override {
        return false;
    }
};

/// Applies `filters` in order, each step's output the next one's input; a step that runs no
/// filter, or returns an image of another size, leaves `image` as it was.
void ApplyFilterStrings(IDisplayFilter& filter, const std::vector<std::string>& filters,
                        GreyImage16& image);

}  // namespace zor::images

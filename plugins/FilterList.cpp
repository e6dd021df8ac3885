#include "plugins/FilterList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "images/DescriptionComposer.h"
#include "images/DescriptionText.h"
#include "platform/IniFile.h"
#include "plugins/FilterPlugins.h"
#include "plugins/PluginConstants.h"

namespace zor::plugins {

namespace {

uint16_t DepthMaximum(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8:
        case 24:
        case 32:
            return 255;
        case 12:
            return 4095;
        default:
            return 65535;
    }
}

std::vector<void*> RowTable(const FilterImage& image) {
    std::vector<void*> rows(static_cast<size_t>(image.m_Height));
    for (int y = 0; y < image.m_Height; ++y)
        rows[static_cast<size_t>(y)] = const_cast<uint8_t*>(image.Row(y));
    return rows;
}

void CopyPixels(const FilterImage& source, FilterImage& destination) {
    if (&source != &destination)
        destination = source;
}

/// Runs one filter string; false when no filter has its keyword (nothing written).
bool RunStep(const FilterImage& source, FilterImage& destination, const std::string& filterString,
             double* milliseconds) {
    const std::string_view keyword = FilterKeyword(filterString);
    if (keyword.starts_with('@')) {
        std::string_view description = FilterParameters(filterString);
        description.remove_prefix(std::min(description.find_first_not_of(' '), description.size()));
        ApplyFilterList(images::ReadTreatments(description), source, destination, milliseconds);
        return true;
    }
    if (&source != &destination && !destination.SameShape(source))
        destination = FilterImage::Create(source.m_Width, source.m_Height, source.m_BitsPerPixel,
                                          source.m_MaxValue);
    std::vector<void*> sourceRows = RowTable(source);
    std::vector<void*> destinationRows =
        &source == &destination ? sourceRows : RowTable(destination);
    PluginImage image{sourceRows.data(), static_cast<uint32_t>(source.m_Width),
                      static_cast<uint32_t>(source.m_Height), source.m_MaxValue,
                      static_cast<uint8_t>(source.m_BitsPerPixel)};
    const auto start = std::chrono::steady_clock::now();
    const bool ran = RunPluginFilter(image, destinationRows.data(), filterString) == 0;
    if (milliseconds) {
        *milliseconds +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    return ran;
}

void ApplyGrey(const std::vector<std::string>& filters, FilterImage& image, double* milliseconds) {
    for (const std::string& filter : filters)
        RunStep(image, image, filter, milliseconds);
}

}  // namespace

FilterImage FilterImage::Create(int width, int height, int bitsPerPixel, uint16_t maxValue) {
    FilterImage image;
    image.m_Width = std::max(width, 0);
    image.m_Height = std::max(height, 0);
    image.m_BitsPerPixel = bitsPerPixel;
    image.m_MaxValue = maxValue ? maxValue : DepthMaximum(bitsPerPixel);
    image.m_Stride =
        static_cast<size_t>(image.m_Width) * static_cast<size_t>(image.BytesPerPixel());
    image.m_Data.assign(image.m_Stride * static_cast<size_t>(image.m_Height), 0);
    return image;
}

bool FilterImage::SameShape(const FilterImage& other) const {
    return m_Width == other.m_Width && m_Height == other.m_Height &&
           m_BitsPerPixel == other.m_BitsPerPixel && m_Stride == other.m_Stride &&
           m_Data.size() == other.m_Data.size();
}

std::string_view FilterKeyword(std::string_view filterString) {
    const size_t start = std::min(filterString.find_first_not_of(' '), filterString.size());
    const size_t end = std::min(filterString.find(' ', start), filterString.size());
    return filterString.substr(start, end - start);
}

std::string_view FilterParameters(std::string_view filterString) {
    const std::string_view keyword = FilterKeyword(filterString);
    const size_t end = static_cast<size_t>(keyword.data() - filterString.data()) + keyword.size();
    return end < filterString.size() ? filterString.substr(end + 1) : std::string_view{};
}

void FilterList::AddFilter(const std::string& filterString) {
    const std::string_view keyword = FilterKeyword(filterString);
    const auto present = std::find_if(m_Entries.begin(), m_Entries.end(), [&](const auto& entry) {
        return FilterKeyword(entry) == keyword;
    });
    if (present == m_Entries.end()) {
        m_Entries.push_back(filterString);
    } else if (FilterParameters(filterString).empty() || present->starts_with('@')) {
        m_Entries.erase(present);
    } else {
        *present = filterString;
    }
}

void FilterList::RemoveFilter(const std::string& filterString) {
    const std::string_view keyword = FilterKeyword(filterString);
    std::erase_if(m_Entries, [&](const auto& entry) { return FilterKeyword(entry) == keyword; });
}

std::string FilterList::Find(std::string_view keyword) const {
    for (const std::string& entry : m_Entries) {
        if (FilterKeyword(entry) == keyword)
            return entry;
    }
    return {};
}

std::string FilterList::Join() const {
    std::string joined;
    for (const std::string& entry : m_Entries) {
        if (!joined.empty())
            joined += '\n';
        joined += entry;
    }
    return joined;
}

FilterList FilterList::Split(std::string_view joined) {
    FilterList list;
    while (!joined.empty()) {
        const size_t end = std::min(joined.find('\n'), joined.size());
        if (end > 0)
            list.m_Entries.emplace_back(joined.substr(0, end));
        joined.remove_prefix(std::min(end + 1, joined.size()));
    }
    return list;
}

void ApplyFilterList(const std::vector<std::string>& filters, const FilterImage& source,
                     FilterImage& destination, double* milliseconds) {
    if (source.m_BitsPerPixel < 24) {
        // The first filter that runs writes the destination; the later ones work in place.
        const FilterImage* input = &source;
        for (const std::string& filter : filters) {
            if (RunStep(*input, destination, filter, milliseconds))
                input = &destination;
        }
        if (input != &destination)
            CopyPixels(source, destination);
        return;
    }
    const FilterImage colour = source;  // the destination may be the source
    if (!destination.SameShape(colour))
        destination = FilterImage::Create(colour.m_Width, colour.m_Height, colour.m_BitsPerPixel);
    const int bytes = colour.BytesPerPixel();
    FilterImage plane = FilterImage::Create(colour.m_Width, colour.m_Height, 16, 255);
    for (int channel = 0; channel < 3; ++channel) {
        for (int y = 0; y < colour.m_Height; ++y) {
            const uint8_t* in = colour.Row(y) + channel;
            auto* out = reinterpret_cast<uint16_t*>(plane.Row(y));
            for (int x = 0; x < colour.m_Width; ++x)
                out[x] = in[x * bytes];
        }
        ApplyGrey(filters, plane, milliseconds);
        for (int y = 0; y < colour.m_Height; ++y) {
            const auto* in = reinterpret_cast<const uint16_t*>(plane.Row(y));
            const uint8_t* original = colour.Row(y);
            uint8_t* out = destination.Row(y);
            for (int x = 0; x < colour.m_Width; ++x) {
                out[x * bytes + channel] = static_cast<uint8_t>(std::min<int>(in[x], 255));
                if (bytes == 4 && channel == 0)
                    out[x * bytes + 3] = original[x * bytes + 3];
            }
        }
    }
}

void ApplyFilterString(const FilterImage& source, FilterImage& destination,
                       const std::string& filterString, double* milliseconds) {
    if (!RunStep(source, destination, filterString, milliseconds))
        CopyPixels(source, destination);
}

std::vector<std::string> AutomaticFilterList(const std::filesystem::path& iniFile,
                                             double stretchLow, double stretchHigh, double gamma) {
    std::vector<std::string> list;
    const int count =
        platform::GetPrivateProfileInt(kAutomaticSection, kAutomaticCountKey, 0, iniFile);
    if (count <= 0) {
        if (stretchLow != 0.0 || stretchHigh != 1.0) {
            list.push_back("ShannonStretching " + images::FormatFixed(stretchLow) + "," +
                           images::FormatFixed(stretchHigh) + ",0,0,0,0");
        }
        list.push_back("gamma " + images::FormatFixed(gamma));
        return list;
    }
    for (int k = 1; k <= count; ++k) {
        char key[32];
        std::snprintf(key, sizeof key, kAutomaticEntryKey, k);
        std::string value = platform::GetPrivateProfileString(kAutomaticSection, key, "", iniFile);
        if (value.size() > kAutomaticEntryMaxBytes - 1)
            value.resize(kAutomaticEntryMaxBytes - 1);
        if (!value.empty())
            list.push_back(std::move(value));
    }
    return list;
}

bool PluginDisplayFilter::ApplyFilterString(const images::GreyImage16& source,
                                            images::GreyImage16& destination,
                                            const std::string& filterString) {
    FilterImage image = FilterImage::Create(source.m_Width, source.m_Height,
                                            source.m_Bits == 8 ? 16 : source.m_Bits,
                                            static_cast<uint16_t>(source.MaxValue()));
    std::memcpy(image.m_Data.data(), source.m_Samples.data(),
                std::min(image.m_Data.size(), source.m_Samples.size() * sizeof(uint16_t)));
    if (!RunStep(image, image, filterString, nullptr))
        return false;
    destination.m_Width = source.m_Width;
    destination.m_Height = source.m_Height;
    destination.m_Bits = source.m_Bits;
    destination.m_Samples.resize(image.m_Data.size() / sizeof(uint16_t));
    std::memcpy(destination.m_Samples.data(), image.m_Data.data(), image.m_Data.size());
    return true;
}

}  // namespace zor::plugins

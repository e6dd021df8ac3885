#include "acquisition/CrossFilterChains.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "images/DescriptionText.h"
#include "plugins/PluginConstants.h"

namespace zor::acquisition {

namespace {

using viewer::ToolMode;

constexpr int kUnsharpOnBitmap = 172;
constexpr int kUnsharpOffBitmap = 166;

std::string LinearEntry(double brightness, double contrast) {
    return "linear " + images::FormatFixed(brightness) + "," + images::FormatFixed(contrast);
}

std::string GammaEntry(double gamma) {
    return "gamma " + images::FormatFixed(gamma);
}

// A value is the C conversion of the text after the keyword; contrast the one after the first
// comma.
double NumberAfter(const std::string& entry, char separator, double missing) {
    if (entry.empty())
        return missing;
    const std::size_t at = entry.find(separator, entry.find_first_not_of(' '));
    return at == std::string::npos ? missing : std::atof(entry.c_str() + at + 1);
}

}  // namespace

int LevelPercent(ToolMode mode, double value) {
    double p = value * 0.25;
    if (mode == ToolMode::Brightness)
        p = 1.0 - (value + 1.0) * 0.5;
    else if (mode == ToolMode::Contrast)
        p = (value + 1.0) * 0.5;
    return static_cast<int>(p * 100.0);
}

CrossFilterChains::CrossFilterChains(Ports ports) : m_Ports(std::move(ports)) {}

void CrossFilterChains::Reset(const std::vector<std::string>& automatic) {
    m_List.Clear();
    for (const std::string& entry : automatic)
        m_List.AddFilter(entry);
    // The unsharp button keeps its state across volumes; the new list follows it.
    if (m_UnsharpOn)
        RebuildUnsharp();
}

void CrossFilterChains::Apply(const std::uint16_t* raw, std::uint16_t* filtered, int width,
                              int height) const {
    // Each thread keeps its two images: the crosses of one frame share the same size.
    thread_local plugins::FilterImage source;
    thread_local plugins::FilterImage result;
    if (source.m_Width != width || source.m_Height != height || source.m_BitsPerPixel != 16)
        source = plugins::FilterImage::Create(width, height, 16);
    const std::size_t rowBytes = sizeof(std::uint16_t) * static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y)
        std::memcpy(source.Row(y), raw + static_cast<std::ptrdiff_t>(y) * width, rowBytes);
    plugins::ApplyFilterList(m_List, source, result);
    for (int y = 0; y < height; ++y)
        std::memcpy(filtered + static_cast<std::ptrdiff_t>(y) * width, result.Row(y), rowBytes);
}

CrossFilterChains::Levels CrossFilterChains::Read() const {
    Levels levels;
    const std::string linear = m_List.Find("linear");
    levels.Brightness = NumberAfter(linear, ' ', 0.0);
    levels.Contrast = NumberAfter(linear, ',', 0.0);
    levels.Gamma = NumberAfter(m_List.Find("gamma"), ' ', 1.0);
    return levels;
}

void CrossFilterChains::Write(const Levels& levels) {
    m_List.AddFilter(LinearEntry(levels.Brightness, levels.Contrast));
    m_List.AddFilter(GammaEntry(levels.Gamma));
}

std::optional<CrossFilterChains::Levels> CrossFilterChains::Dragged(ToolMode mode, int dx, int dy,
                                                                    int paneWidth) const {
    if (paneWidth <= 0)
        return std::nullopt;
    Levels levels = Read();
    const double w = paneWidth;
    switch (mode) {
        case ToolMode::Brightness:
            levels.Brightness = std::clamp(levels.Brightness + (dx - dy) / w * -2.0, -1.0, 1.0);
            break;
        case ToolMode::Contrast:
            levels.Contrast = std::clamp(levels.Contrast + (dx - dy) / w * 2.0, -1.0, 1.0);
            break;
        case ToolMode::Gamma:
            levels.Gamma = std::clamp(levels.Gamma + (dx + dy) / w * -4.0, 0.0, 4.0);
            break;
        default:
            return std::nullopt;
    }
    return levels;
}

void CrossFilterChains::PreviewLevel(ToolMode mode, int dx, int dy, int paneWidth) {
    const auto levels = Dragged(mode, dx, dy, paneWidth);
    if (!levels)
        return;
    const char* format = mode == ToolMode::Brightness ? "Brightness = %d%%"
                         : mode == ToolMode::Contrast ? "Contrast = %d%%"
                                                      : "Gamma = %d%%";
    const double value = mode == ToolMode::Brightness ? levels->Brightness
                         : mode == ToolMode::Contrast ? levels->Contrast
                                                      : levels->Gamma;
    char text[48];
    std::snprintf(text, sizeof text, format, LevelPercent(mode, value));
    m_Ports.Status.ShowStatusText(text);
}

void CrossFilterChains::ApplyLevel(ToolMode mode, int dx, int dy, int paneWidth) {
    const auto levels = Dragged(mode, dx, dy, paneWidth);
    if (!levels)
        return;
    if (!m_Saved)
        m_Saved = Read();
    Write(*levels);
    if (m_Ports.Refilter)
        m_Ports.Refilter();
}

void CrossFilterChains::RebuildUnsharp() {
    // Gamma and linear follow the bundle, so the sharpening works on the unadjusted levels.
    const Levels levels = Read();
    m_List.RemoveFilter("gamma");
    m_List.RemoveFilter("linear");
    m_List.AddFilter(plugins::kUnsharpBundle);
    m_List.AddFilter(GammaEntry(levels.Gamma));
    m_List.AddFilter(LinearEntry(levels.Brightness, levels.Contrast));
}

void CrossFilterChains::ToggleUnsharp() {
    m_UnsharpOn = !m_UnsharpOn;
    m_Ports.Window.SetButtonBitmap(CommandId::Unsharp,
                                   m_UnsharpOn ? kUnsharpOnBitmap : kUnsharpOffBitmap);
    m_Ports.Status.LogMessage(m_UnsharpOn ? "Unsharp filter on" : "Unsharp filter off", false, 1,
                              false);
    RebuildUnsharp();
    if (m_Ports.Refilter)
        m_Ports.Refilter();
}

void CrossFilterChains::ResetFilters() {
    bool changed = false;
    if (m_Saved) {
        Levels saved = *m_Saved;
        saved.Brightness = std::clamp(saved.Brightness, -1.0, 1.0);
        saved.Contrast = std::clamp(saved.Contrast, -1.0, 1.0);
        saved.Gamma = std::clamp(saved.Gamma, 0.0, 4.0);
        Write(saved);
        changed = true;
    }
    if (m_UnsharpOn) {
        m_UnsharpOn = false;
        m_Ports.Window.SetButtonBitmap(CommandId::Unsharp, kUnsharpOffBitmap);
        RebuildUnsharp();
        changed = true;
    }
    if (changed && m_Ports.Refilter)
        m_Ports.Refilter();
}

}  // namespace zor::acquisition

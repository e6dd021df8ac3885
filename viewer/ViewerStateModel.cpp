#include "viewer/ViewerStateModel.h"

#include <algorithm>

namespace zor::viewer {

namespace {

struct ModeEntry {
    ToolMode mode;
    CommandId button;
    CursorId cursor;
};

constexpr ModeEntry kModes[] = {
    {ToolMode::Zoom, CommandId::Zoom, CursorId::Zoom},
    {ToolMode::Brightness, CommandId::Brightness, CursorId::Level},
    {ToolMode::Contrast, CommandId::Contrast, CursorId::Level},
    {ToolMode::Gamma, CommandId::Gamma, CursorId::Gamma},
};

}  // namespace

void ViewerStateModel::SetPanoramicEnlarged(bool on) {
    m_PanoramicEnlarged = on;
    FollowLayout();
}

void ViewerStateModel::ClearLayoutFlags() {
    m_PanoramicEnlarged = false;
    m_CrossesOverPanoramic = false;
    FollowLayout();
}

void ViewerStateModel::SetViewerArea(const Rect& area) {
    m_ViewerArea = area;
    FollowLayout();
}

void ViewerStateModel::SetPanoramic(int width, int height, const PanoramicBands& bands) {
    m_PanoramicWidth = width;
    m_PanoramicHeight = height;
    m_Bands = bands;
    FollowLayout();
}

ViewerLayout ViewerStateModel::Layout() const {
    return ComputeViewerLayout(m_ViewerArea, m_PanoramicEnlarged, m_CrossesOverPanoramic);
}

PanoramicGeometry ViewerStateModel::Panoramic() const {
    return ComputePanoramicGeometry(Layout().panoramic, m_PanoramicWidth, m_PanoramicHeight,
                                    m_Bands);
}

void ViewerStateModel::FollowLayout() {
    m_VolumeOfInterest.SetGeometry(Panoramic());
}

void ViewerStateModel::SetCrossCount(int count) {
    count = std::clamp(count, 1, 48);
    const int group = count < 10 ? 1 : count < 21 ? 2 : count < 40 ? 3 : 4;
    m_CrossGroupSize = group;
    m_CrossCount = std::max(1, (count + group - 1) / group * group);
}

std::optional<CommandId> ButtonOfMode(ToolMode mode) {
    for (const auto& e : kModes) {
        if (e.mode == mode)
            return e.button;
    }
    return std::nullopt;
}

CursorId CursorOfMode(ToolMode mode) {
    for (const auto& e : kModes) {
        if (e.mode == mode)
            return e.cursor;
    }
    return CursorId::Arrow;
}

std::optional<ToolMode> ModeOfCommand(CommandId id) {
    for (const auto& e : kModes) {
        if (e.button == id)
            return e.mode;
    }
    return std::nullopt;
}

}  // namespace zor::viewer

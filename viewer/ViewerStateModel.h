#pragma once
// The viewer's display state: the exclusive tool mode, the two layout flags and the crosses.
#include <optional>

#include "platform/WindowIds.h"

namespace zor::viewer {

/// The mouse tool modes; at most one is active.
enum class ToolMode { None, Zoom, Brightness, Contrast, Gamma };

/// Headless state behind the viewer's widgets; user-interface thread.
class ViewerStateModel {
public:
    ToolMode Mode() const { return m_Mode; }
    void SetMode(ToolMode mode) { m_Mode = mode; }

    /// The panoramic drawn over the whole viewer width (zoom-mode click on the panoramic).
    bool PanoramicEnlarged() const { return m_PanoramicEnlarged; }
    void SetPanoramicEnlarged(bool on) { m_PanoramicEnlarged = on; }
    /// The crosses drawn over the panoramic's area (zoom-mode click on the crosses).
    bool CrossesOverPanoramic() const { return m_CrossesOverPanoramic; }
    void SetCrossesOverPanoramic(bool on) { m_CrossesOverPanoramic = on; }
    void ClearLayoutFlags();

    /// A volume of interest is marked on the panoramic (the tomosynthesis start needs one).
    bool VolumeOfInterestPlaced() const { return m_VolumeOfInterestPlaced; }
    void SetVolumeOfInterestPlaced(bool placed) { m_VolumeOfInterestPlaced = placed; }

    /// Number of crosses shown (1..48) and rows they are grouped in (1..4).
    int CrossCount() const { return m_CrossCount; }
    int CrossGroupSize() const { return m_CrossGroupSize; }
    /// Clamps `count` to 1..48, picks the rows (1 below 10, 2 below 21, 3 below 40, else 4)
    /// and rounds the count up to whole rows.
    void SetCrossCount(int count);

private:
    ToolMode m_Mode = ToolMode::None;
    bool m_PanoramicEnlarged = false;
    bool m_CrossesOverPanoramic = false;
    bool m_VolumeOfInterestPlaced = false;
    int m_CrossCount = 5;
    int m_CrossGroupSize = 1;
};

/// The tool button that selects `mode`; nullopt for ToolMode::None.
std::optional<CommandId> ButtonOfMode(ToolMode mode);
/// The cursor of `mode` over the cross pane: zoom 150, brightness and contrast 167, gamma 168.
CursorId CursorOfMode(ToolMode mode);
/// The mode a tool command selects; nullopt for other commands.
std::optional<ToolMode> ModeOfCommand(CommandId id);

}  // namespace zor::viewer

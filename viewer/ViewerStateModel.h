#pragma once
// The viewer's display state: the exclusive tool mode, the layout, the volume of interest and
// the crosses.
#include <optional>

#include "platform/WindowIds.h"
#include "viewer/ViewerGeometry.h"
#include "viewer/VolumeOfInterest.h"

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
    void SetPanoramicEnlarged(bool on);
    /// The crosses drawn over the panoramic's area (zoom-mode click on the crosses).
    bool CrossesOverPanoramic() const { return m_CrossesOverPanoramic; }
    void SetCrossesOverPanoramic(bool on) { m_CrossesOverPanoramic = on; }
    void ClearLayoutFlags();

    /// The viewer area V in client coordinates (set on every resize).
    void SetViewerArea(const Rect& area);
    /// The panoramic shown: its size in pixels (0 x 0 without one) and its band figures.
    void SetPanoramic(int width, int height, const PanoramicBands& bands);
    /// The layout of V for the current layout flags.
    ViewerLayout Layout() const;
    /// Where the panoramic is drawn in P and its usable rectangle.
    PanoramicGeometry Panoramic() const;

    /// The volume of interest; its screen rectangle follows every change of the layout.
    VolumeOfInterest& VolumeOfInterestFrame() { return m_VolumeOfInterest; }
    const VolumeOfInterest& VolumeOfInterestFrame() const { return m_VolumeOfInterest; }

    /// A volume of interest is marked on the panoramic (the tomosynthesis start needs one): set
    /// by a press that moves the frame, never cleared.
    bool VolumeOfInterestPlaced() const { return m_VolumeOfInterestPlaced; }
    void SetVolumeOfInterestPlaced(bool placed) { m_VolumeOfInterestPlaced = placed; }

    /// Where the left button last went down, client coordinates.
    Point DragStart() const { return m_DragStart; }
    void SetDragStart(Point p) { m_DragStart = p; }

    /// Number of crosses shown (1..48) and rows they are grouped in (1..4).
    int CrossCount() const { return m_CrossCount; }
    int CrossGroupSize() const { return m_CrossGroupSize; }
    /// Clamps `count` to 1..48, picks the rows (1 below 10, 2 below 21, 3 below 40, else 4)
    /// and rounds the count up to whole rows.
    void SetCrossCount(int count);

private:
    void FollowLayout();

    ToolMode m_Mode = ToolMode::None;
    bool m_PanoramicEnlarged = false;
    bool m_CrossesOverPanoramic = false;
    Rect m_ViewerArea;
    int m_PanoramicWidth = 0;
    int m_PanoramicHeight = 0;
    PanoramicBands m_Bands;
    VolumeOfInterest m_VolumeOfInterest;
    bool m_VolumeOfInterestPlaced = false;
    Point m_DragStart;
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

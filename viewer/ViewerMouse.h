#pragma once
// The viewer's left-button gestures: pressing, dragging, releasing and double-clicking on the
// panoramic and the crosses, the cursor they show, and the placing of the volume of interest.
#include <optional>

#include "platform/UserInterfaces.h"
#include "viewer/CrossPorts.h"
#include "viewer/ViewerStateModel.h"

namespace zor::viewer {

/// The workflow phase in which the volume of interest is marked on the panoramic.
inline constexpr int kVolumeSelectionPhase = 2;
/// The workflow phase in which a volume is shown through its crosses.
inline constexpr int kVolumeNavigationPhase = 5;

/// Turns the left button's events in the viewer area into changes of the viewer's state, the
/// volume of interest and the crosses; user-interface thread. Points are client coordinates of
/// the main window; `phase` is the workflow phase at the event. A volume counts as shown in the
/// navigation phase while a cross view is attached. Nothing here is owned but the gesture state.
class ViewerMouse {
public:
    ViewerMouse(ViewerStateModel& model, IMainWindow& window);

    /// Attaches the crosses (null while no volume is shown), the level adjustment and the
    /// setting of the number of crosses; each may be null.
    void SetPorts(const CrossPorts& ports) { m_Ports = ports; }
    void SetCrossView(ICrossView* crosses) { m_Ports.Crosses = crosses; }
    void SetCrossFilters(ICrossFilters* filters) { m_Ports.Filters = filters; }

    /// Left button down: the drag start; the cursor of what lies under the pointer; in the
    /// volume-selection step a press on the panoramic moves the frame and marks the volume of
    /// interest as placed.
    void OnButtonDown(Point p, int phase);
    /// Left button up: a click or the end of a drag (layout toggles, jumps and selections of
    /// the crosses, the number of crosses, the level adjustment).
    void OnButtonUp(Point p, int phase);
    /// Pointer moved; `buttonHeld` while the left button is down. Sets the cursor.
    void OnMouseMove(Point p, bool buttonHeld, int phase);
    /// Left button double click. The press it stands for is not repeated: a window reports a
    /// double click instead of the second button down.
    void OnDoubleClick(Point p, int phase);

    /// The cursor over `p` while no button is held; nullopt leaves the window's default.
    std::optional<CursorId> CursorAt(Point p, int phase) const;

    /// The initial frame of the volume of interest on the panoramic laid out in the model.
    void ResetVolumeOfInterest();
    /// Places the frame as a press and release at the centre of the usable rectangle would, so the
    /// volume of interest counts as placed before the operator touches the mouse.
    void PlaceVolumeOfInterest();

private:
    bool VolumeShown(int phase) const;
    void MoveOverVolume(Point p, bool buttonHeld, const ViewerLayout& layout,
                        std::optional<CursorId>& cursor);
    void ReleaseOverVolume(Point p, const ViewerLayout& layout);
    void JumpToPanoramicColumn(Point p);
    void ToggleCrossSelection(Point p, const ViewerLayout& layout);
    void ChangeCrossCount(double length, bool leftward);

    ViewerStateModel& m_Model;
    IMainWindow& m_Window;
    CrossPorts m_Ports;
    bool m_FrameDrag = false;  ///< the button went down on the panoramic in the selection step
    CursorId m_FrameCursor = CursorId::Arrow;
};

/// Width of the cross pane for the mouse rules: its right edge less the viewer area's left.
int CrossPaneWidth(const ViewerLayout& layout);

}  // namespace zor::viewer

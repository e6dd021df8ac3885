#pragma once
// The viewer's commands: tool modes, filters and cross stepping, on the viewer's state.
#include "platform/UserInterfaces.h"
#include "viewer/ViewerMouse.h"
#include "viewer/ViewerStateModel.h"

namespace zor::viewer {

/// Owns the viewer's state and its mouse handling and carries out the commands the main window
/// routes to the viewer; user-interface thread. The ports are not owned and must outlive the
/// object.
class ViewerCommands {
public:
    ViewerCommands(IMainWindow& window, IInfoWindow& info, ITimers& timers);

    /// Tool modes (zoom, brightness, contrast, gamma), scrolling, unsharp, filters reset,
    /// previous and following crosses. Other ids are ignored.
    void OnCommand(CommandId id);
    /// Ends every tool mode: buttons unmarked, arrow cursor.
    void EndModes();
    /// Before the tomosynthesis start: refused in zoom mode (the info window says so for
    /// 1000 ms); an enlarged panoramic returns to the normal layout. True when the start may go on.
    bool PrepareStartTomosynthesis();

    ViewerStateModel& Model() { return m_Model; }
    const ViewerStateModel& Model() const { return m_Model; }
    /// The left-button handling of the viewer area, on this model and window.
    ViewerMouse& Mouse() { return m_Mouse; }

private:
    void SelectMode(ToolMode mode);

    IMainWindow& m_Window;
    IInfoWindow& m_Info;
    ITimers& m_Timers;
    ViewerStateModel m_Model;
    ViewerMouse m_Mouse{m_Model, m_Window};
};

}  // namespace zor::viewer

#pragma once
// The viewer's commands: tool modes, filters and cross stepping, on the viewer's state.
#include "platform/UserInterfaces.h"
#include "viewer/CrossImages.h"
#include "viewer/CrossView.h"
#include "viewer/ViewImage.h"
#include "viewer/ViewerMouse.h"
#include "viewer/ViewerStateModel.h"

namespace zor::viewer {

class CrossView;

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

    /// Shows a panoramic for the volume-of-interest step: keeps its display bitmap, lays it out
    /// with its bands, ends the tool modes and sets and places the initial frame. Until the
    /// viewer area is known (the window is still being set up) the frame waits for it.
    void ShowPanoramic(const ViewImage& image, const PanoramicBands& bands);
    /// No panoramic shown (a failed load, back to the panoramic step).
    void HidePanoramic();
    /// The panoramic as drawn; empty when none is shown.
    const DisplayBitmap& PanoramicBitmap() const { return m_Panoramic; }
    /// The curve picture drawn beside the panoramic (empty: none) and how panoramic columns map
    /// onto it (`mapping.lut` null: no marker); the mapping's drawing frame is ignored, the
    /// picture is drawn where the layout puts it.
    void ShowCurvePicture(DisplayBitmap picture, const CrossPanoramic& mapping);
    const DisplayBitmap& CurvePicture() const { return m_CurvePicture; }
    /// Where the curve picture is drawn in the present layout; empty without one.
    Rect CurvePictureFrame() const;
    /// The marker of the volume of interest's columns on the curve picture (the selection step);
    /// none without a frame, a mapping or a picture.
    std::optional<CrossMarker> SelectionMarker() const;
    /// The viewer area V (client coordinates), on every resize of the window.
    void SetViewerArea(const Rect& area);

    /// The crosses' pictures, filled by the cross view.
    /// The cross view of the shown volume (null: none); the mouse and the step commands reach
    /// it from now on.
    void SetCrossView(CrossView* crosses);
    /// The crosses' display filters (null: none); the level drags, the unsharp toggle and the
    /// filters reset reach them from now on.
    void SetCrossFilters(ICrossFilters* filters);
    CrossView* CrossViewShown() const { return m_CrossView; }
    CrossImages& Crosses() { return m_Crosses; }
    const CrossImages& Crosses() const { return m_Crosses; }

    ViewerStateModel& Model() { return m_Model; }
    const ViewerStateModel& Model() const { return m_Model; }
    /// The left-button handling of the viewer area, on this model and window.
    ViewerMouse& Mouse() { return m_Mouse; }

private:
    void SelectMode(ToolMode mode);
    void PlaceFrameWhenLaidOut();

    IMainWindow& m_Window;
    IInfoWindow& m_Info;
    ITimers& m_Timers;
    ViewerStateModel m_Model;
    ViewerMouse m_Mouse{m_Model, m_Window};
    DisplayBitmap m_Panoramic;
    DisplayBitmap m_CurvePicture;
    CrossPanoramic m_CurveMapping;
    CrossImages m_Crosses;
    CrossView* m_CrossView = nullptr;
    ICrossFilters* m_Filters = nullptr;
    bool m_FramePending = false;  ///< a panoramic arrived before the viewer area was known
};

}  // namespace zor::viewer

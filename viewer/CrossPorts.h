#pragma once
// The ports through which the viewer's mouse handling reaches the crosses, their display filters
// and the stored number of crosses. The cross view and the main window implement them; all calls
// happen on the user-interface thread.
#include "viewer/ViewerGeometry.h"
#include "viewer/ViewerStateModel.h"

namespace zor::viewer {

/// The crosses shown through the loaded volume: where they are along the arch, which positions
/// they may reach, their selection and their extraction.
class ICrossView {
public:
    virtual ~ICrossView() = default;

    /// The centre along the arch, a fraction 0..1 of the volume's first axis.
    virtual double Centre() const = 0;
    /// Sets the centre without clamping it or extracting anything.
    virtual void SetCentre(double centre) = 0;
    /// The allowed position indices (1..50), first <= last.
    virtual int FirstAllowed() const = 0;
    virtual int LastAllowed() const = 0;
    /// The volume's range value; above 0 the positions run the other way on screen.
    virtual double RangeValue() const = 0;

    /// The button went down at `point`: it becomes the last point of the drag mode of
    /// MoveCrosses, so a drag starts from where it was pressed.
    virtual void BeginDrag(Point point) = 0;
    /// Moves the centre and refreshes the crosses' records and marker, without pixels. `delta`
    /// -1.0: drag in the cross pane by the horizontal move since the last point, as a fraction
    /// of the pane width; -2.0: to the position nearest `point` on the panoramic; otherwise a
    /// step by `delta` (0 only clamps). `point` may be null for a step.
    virtual void MoveCrosses(double delta, const Point* point) = 0;
    /// Centre = index / 50 and the crosses are extracted again (index 1..50).
    virtual void SetCrossPosition(int index) = 0;
    /// Recomputes the marker of the shown crosses on the panoramic.
    virtual void UpdateCrossMarker() = 0;
    /// The number of crosses shown and the rows they are grouped in (1..4).
    virtual void SetCrossCount(int count, int rows) = 0;
    /// Extracts all shown crosses again at the current centre.
    virtual void GenerateCrosses() = 0;
    /// Toggles the export selection of a position (0-based: position index - 1, 0..49).
    virtual void ToggleSelection(int position) = 0;
};

/// The crosses' display filters as the operator changes them: brightness, contrast and gamma
/// by dragging over the cross pane ((dx, dy) is the pointer's offset in pixels from where the
/// button went down, `paneWidth` the cross pane's width), the unsharp toggle and the reset.
class ICrossFilters {
public:
    virtual ~ICrossFilters() = default;
    /// Shows the value `mode` would get, without changing any filter list.
    virtual void PreviewLevel(ToolMode mode, int dx, int dy, int paneWidth) = 0;
    /// Applies the change to the filter list of every cross and redraws them.
    virtual void ApplyLevel(ToolMode mode, int dx, int dy, int paneWidth) = 0;
    /// Switches the unsharp bundle on or off in every cross's list.
    virtual void ToggleUnsharp() = 0;
    /// Back to the brightness, contrast and gamma before the first adjustment; unsharp off.
    virtual void ResetFilters() = 0;
};

/// The persistent number of crosses shown (the setting SliceVisualNumber).
class ICrossCountSetting {
public:
    virtual ~ICrossCountSetting() = default;
    virtual void StoreSliceVisualNumber(int count) = 0;
};

/// The ports of the mouse handling; none owned. A null cross view means no volume is shown.
struct CrossPorts {
    ICrossView* Crosses = nullptr;
    ICrossFilters* Filters = nullptr;
    ICrossCountSetting* CountSetting = nullptr;
};

}  // namespace zor::viewer

#include "viewer/ViewerMouse.h"

#include <algorithm>
#include <cmath>

namespace zor::viewer {

namespace {

/// A release closer to the press than this fraction of the cross pane width is a click.
constexpr double kClickLength = 0.01;
constexpr int kPositions = 50;
constexpr double kDragMode = -1.0;
constexpr double kPanoramicMode = -2.0;

int CentreIndexOf(double centre) {
    return static_cast<int>(centre * kPositions + 0.5);
}

bool IsLevelMode(ToolMode mode) {
    return mode == ToolMode::Brightness || mode == ToolMode::Contrast || mode == ToolMode::Gamma;
}

}  // namespace

int CrossPaneWidth(const ViewerLayout& layout) {
    return layout.crossPane.right - layout.viewer.left;
}

ViewerMouse::ViewerMouse(ViewerStateModel& model, IMainWindow& window)
    : m_Model(model), m_Window(window) {}

bool ViewerMouse::VolumeShown(int phase) const {
    return phase == kVolumeNavigationPhase && m_Ports.Crosses != nullptr;
}

void ViewerMouse::OnButtonDown(Point p, int phase) {
    m_Model.SetDragStart(p);
    m_FrameDrag = false;
    const ViewerLayout layout = m_Model.Layout();
    if (VolumeShown(phase)) {
        m_Ports.Crosses->BeginDrag(p);
        if (layout.crossPane.Contains(p.x, p.y)) {
            const ToolMode mode = m_Model.Mode();
            m_Window.SetCursor(mode == ToolMode::None ? CursorId::Band : CursorOfMode(mode));
        }
        return;
    }
    if (phase != kVolumeSelectionPhase)
        return;
    VolumeOfInterest& frame = m_Model.VolumeOfInterestFrame();
    // The hit test looks at the frame where the operator saw it, before the press moves it.
    const bool hit = frame.Hit(p);
    if (hit)
        m_Window.SetCursor(CursorId::Edge);
    if (m_Model.Mode() == ToolMode::Zoom || !layout.panoramic.Contains(p.x, p.y) ||
        !frame.HasFrame())
        return;
    m_FrameCursor = hit ? CursorId::Edge : CursorAt(p, phase).value_or(CursorId::Arrow);
    frame.Press(p);
    m_FrameDrag = true;
    m_Model.SetVolumeOfInterestPlaced(true);
    m_Window.Invalidate();
}

void ViewerMouse::OnMouseMove(Point p, bool buttonHeld, int phase) {
    const ViewerLayout layout = m_Model.Layout();
    // While the button is held the window keeps the cursor its handlers chose.
    std::optional<CursorId> cursor;
    if (!buttonHeld) {
        cursor = CursorAt(p, phase).value_or(CursorId::Arrow);
        m_FrameDrag = false;
    }
    if (phase == kVolumeSelectionPhase) {
        // A drag begun on the panoramic keeps editing the frame wherever the pointer goes: the
        // frame stays within the usable rectangle, and the bottom edge snaps to the usable bottom
        // from below the image.
        if (m_FrameDrag && m_Model.Mode() != ToolMode::Zoom) {
            m_Model.VolumeOfInterestFrame().Drag(p);
            m_Window.Invalidate();
            cursor = layout.panoramic.Contains(p.x, p.y) ? m_FrameCursor : CursorId::Arrow;
        }
    } else if (VolumeShown(phase)) {
        MoveOverVolume(p, buttonHeld, layout, cursor);
    }
    if (cursor)
        m_Window.SetCursor(*cursor);
}

void ViewerMouse::MoveOverVolume(Point p, bool buttonHeld, const ViewerLayout& layout,
                                 std::optional<CursorId>& cursor) {
    const ToolMode mode = m_Model.Mode();
    if (layout.crossPane.Contains(p.x, p.y)) {
        if (mode == ToolMode::None) {
            cursor = CursorId::Band;
            if (buttonHeld) {
                m_Ports.Crosses->MoveCrosses(kDragMode, &p);
                m_Window.Invalidate();
            }
        } else if (IsLevelMode(mode) && buttonHeld && m_Ports.Filters) {
            const Point start = m_Model.DragStart();
            m_Ports.Filters->PreviewLevel(mode, p.x - start.x, p.y - start.y,
                                          CrossPaneWidth(layout));
        }
        return;
    }
    if (mode != ToolMode::Zoom && m_Model.Panoramic().usable.Contains(p.x, p.y)) {
        cursor = CursorId::Band;
        if (buttonHeld) {
            m_Ports.Crosses->MoveCrosses(kPanoramicMode, &p);
            m_Window.Invalidate();
        }
    }
}

void ViewerMouse::OnButtonUp(Point p, int phase) {
    m_FrameDrag = false;
    m_Model.VolumeOfInterestFrame().Release();
    const ViewerLayout layout = m_Model.Layout();
    if (phase >= kVolumeSelectionPhase && layout.panoramic.Contains(p.x, p.y)) {
        if (m_Model.Mode() == ToolMode::Zoom) {
            m_Model.SetPanoramicEnlarged(!m_Model.PanoramicEnlarged());
            m_Window.Invalidate();
        } else if (VolumeShown(phase)) {
            JumpToPanoramicColumn(p);
        }
        return;
    }
    if (VolumeShown(phase))
        ReleaseOverVolume(p, layout);
}

void ViewerMouse::ReleaseOverVolume(Point p, const ViewerLayout& layout) {
    const int width = CrossPaneWidth(layout);
    if (width <= 0)
        return;
    const Point start = m_Model.DragStart();
    const int dx = p.x - start.x;
    const int dy = p.y - start.y;
    const double length = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy) /
                          static_cast<double>(width);
    const ToolMode mode = m_Model.Mode();
    if (length < kClickLength) {
        if (mode == ToolMode::Zoom) {
            m_Model.SetCrossesOverPanoramic(!m_Model.CrossesOverPanoramic());
            m_Window.Invalidate();
        } else {
            ToggleCrossSelection(p, layout);
        }
        return;
    }
    if (mode == ToolMode::Zoom) {
        ChangeCrossCount(length, p.x < start.x);
    } else if (IsLevelMode(mode)) {
        if (m_Ports.Filters)
            m_Ports.Filters->ApplyLevel(mode, dx, dy, width);
    } else {
        // The drag moved the crosses' records and marker only; their pictures are extracted
        // once, here, so that they show the place the marker shows.
        m_Ports.Crosses->SetCrossPosition(CentreIndexOf(m_Ports.Crosses->Centre()));
        m_Window.Invalidate();
    }
}

void ViewerMouse::JumpToPanoramicColumn(Point p) {
    ICrossView& crosses = *m_Ports.Crosses;
    crosses.MoveCrosses(kPanoramicMode, &p);
    crosses.SetCrossPosition(CentreIndexOf(crosses.Centre()));
    crosses.UpdateCrossMarker();
    m_Window.Invalidate();
}

void ViewerMouse::ToggleCrossSelection(Point p, const ViewerLayout& layout) {
    const Rect& pane = layout.crossPane;
    const int count = m_Model.CrossCount();
    const int rows = m_Model.CrossGroupSize();
    const int perRow = count / rows;
    if (!pane.Contains(p.x, p.y) || perRow < 1)
        return;
    const int row = rows * (p.y - pane.top) / pane.Height();
    const int column = perRow * (p.x - layout.viewer.left) / CrossPaneWidth(layout);
    const int cell = row * perRow + column;
    const int centreIndex = CentreIndexOf(m_Ports.Crosses->Centre());
    const int half = count / 2;
    // Cell k shows cross k, or cross n - 1 - k when the positions run the other way.
    const int position = m_Ports.Crosses->RangeValue() > 0.0
                             ? centreIndex - (cell - half) - (count % 2 == 0 ? 2 : 1)
                             : centreIndex - half - 1 + cell;
    if (position < 0 || position >= kPositions)
        return;
    m_Ports.Crosses->ToggleSelection(position);
    m_Window.Invalidate();
}

void ViewerMouse::ChangeCrossCount(double length, bool leftward) {
    ICrossView& crosses = *m_Ports.Crosses;
    int step = static_cast<int>(length * kPositions);
    if (step == 0 && length >= 0.1)
        step = 1;
    int count = m_Model.CrossCount() + (leftward ? -step : step);
    if (count > 47)
        count = 48;
    count = std::min(count, crosses.LastAllowed() - crosses.FirstAllowed() + 1);
    count = std::max(count, 1);
    const int rows = CrossRows(count);
    count =
        rows * static_cast<int>(std::ceil(static_cast<float>(count) / static_cast<float>(rows)));
    count = std::max(count, 1);

    if (m_Ports.CountSetting)
        m_Ports.CountSetting->StoreSliceVisualNumber(count);
    crosses.SetCrossCount(count, rows);
    m_Model.SetCrossCount(count);
    crosses.SetCentre(CentreIndexOf(crosses.Centre()) / static_cast<double>(kPositions));
    crosses.MoveCrosses(0.0, nullptr);
    crosses.GenerateCrosses();
    m_Window.Invalidate();
}

void ViewerMouse::OnDoubleClick(Point p, int phase) {
    VolumeOfInterest& frame = m_Model.VolumeOfInterestFrame();
    if (phase != kVolumeSelectionPhase || !frame.HasFrame() ||
        !m_Model.Layout().panoramic.Contains(p.x, p.y))
        return;
    frame.FitToUsableRows();
    m_Window.Invalidate();
}

std::optional<CursorId> ViewerMouse::CursorAt(Point p, int phase) const {
    const bool overBand = m_Model.Panoramic().usable.Contains(p.x, p.y);
    const ToolMode mode = m_Model.Mode();
    if (phase == kVolumeSelectionPhase) {
        if (overBand)
            return CursorId::Band;
        if (mode == ToolMode::Zoom)
            return CursorId::Zoom;
        return std::nullopt;
    }
    if (phase != kVolumeNavigationPhase)
        return std::nullopt;
    const ViewerLayout layout = m_Model.Layout();
    if (!layout.panoramic.Contains(p.x, p.y) && !layout.crossPane.Contains(p.x, p.y))
        return std::nullopt;
    if (overBand)
        return CursorId::Band;
    return CursorOfMode(mode);
}

void ViewerMouse::ResetVolumeOfInterest() {
    m_Model.VolumeOfInterestFrame().Reset();
    m_Window.Invalidate();
}

void ViewerMouse::PlaceVolumeOfInterest() {
    const Rect usable = m_Model.Panoramic().usable;
    const Point centre{(usable.left + usable.right) / 2, (usable.top + usable.bottom) / 2};
    OnButtonDown(centre, kVolumeSelectionPhase);
    OnButtonUp(centre, kVolumeSelectionPhase);
}

}  // namespace zor::viewer

#include "viewer/ViewerCommands.h"

#include <utility>

#include "viewer/CrossView.h"
#include "zor_vol/CLUTProjection.h"

namespace zor::viewer {

namespace {
constexpr const char* kNotZoomArea = "This is not zoom area.";
constexpr int kNotZoomAreaMs = 1000;
}  // namespace

ViewerCommands::ViewerCommands(IMainWindow& window, IInfoWindow& info, ITimers& timers)
    : m_Window(window), m_Info(info), m_Timers(timers) {}

void ViewerCommands::OnCommand(CommandId id) {
    if (const auto mode = ModeOfCommand(id)) {
        SelectMode(*mode);
        return;
    }
    switch (id) {
        case CommandId::Scrolling:
            EndModes();
            break;
        case CommandId::Unsharp:
        case CommandId::FiltersReset:
            EndModes();
            if (m_Filters != nullptr) {
                if (id == CommandId::Unsharp)
                    m_Filters->ToggleUnsharp();
                else
                    m_Filters->ResetFilters();
            }
            break;
        case CommandId::Previous:
        case CommandId::Following:
            // Without a shown volume there is nothing to move.
            if (m_CrossView != nullptr) {
                m_CrossView->Step(id == CommandId::Previous ? -1 : 1);
                m_Window.Invalidate();
            }
            break;
        default:
            break;
    }
}

void ViewerCommands::SetCrossView(CrossView* crosses) {
    m_CrossView = crosses;
    m_Mouse.SetCrossView(crosses);
}

void ViewerCommands::SetCrossFilters(ICrossFilters* filters) {
    m_Filters = filters;
    m_Mouse.SetCrossFilters(filters);
}

void ViewerCommands::SelectMode(ToolMode mode) {
    m_Model.SetMode(mode);
    m_Window.MarkToolButton(ButtonOfMode(mode));
    m_Window.SetCursor(CursorOfMode(mode));
}

void ViewerCommands::EndModes() {
    m_Model.SetMode(ToolMode::None);
    m_Window.MarkToolButton(std::nullopt);
    m_Window.SetCursor(CursorId::Arrow);
}

bool ViewerCommands::PrepareStartTomosynthesis() {
    if (m_Model.Mode() == ToolMode::Zoom) {
        m_Info.ShowInfo(kNotZoomArea);
        m_Timers.SetTimer(TimerId::InfoHide, kNotZoomAreaMs);
        return false;
    }
    if (m_Model.PanoramicEnlarged()) {
        m_Model.SetPanoramicEnlarged(false);
        m_Window.Invalidate();
    }
    return true;
}

void ViewerCommands::ShowPanoramic(const ViewImage& image, const PanoramicBands& bands) {
    if (!MakeDisplayBitmap(image, m_Panoramic)) {
        HidePanoramic();
        return;
    }
    m_Model.SetPanoramic(image.width, image.height, bands);
    // A zoom-mode release would enlarge the panoramic instead of placing the frame.
    EndModes();
    m_FramePending = true;
    PlaceFrameWhenLaidOut();
    m_Window.Invalidate();
}

void ViewerCommands::HidePanoramic() {
    m_Panoramic.Clear();
    m_FramePending = false;
    m_Model.SetPanoramic(0, 0, {});
    m_Window.Invalidate();
}

void ViewerCommands::ShowCurvePicture(DisplayBitmap picture, const CrossPanoramic& mapping) {
    m_CurvePicture = std::move(picture);
    m_CurveMapping = mapping;
    m_Window.Invalidate();
}

Rect ViewerCommands::CurvePictureFrame() const {
    return viewer::CurvePictureFrame(m_Model.Layout(), m_CurvePicture.width, m_CurvePicture.height);
}

std::optional<CrossMarker> ViewerCommands::SelectionMarker() const {
    const VolumeOfInterest& frame = m_Model.VolumeOfInterestFrame();
    if (!frame.HasFrame() || m_CurveMapping.lut == nullptr || m_CurvePicture.Empty())
        return std::nullopt;
    CrossPanoramic mapping = m_CurveMapping;
    mapping.curveDisplay = CurvePictureFrame();
    const int margin = mapping.lut->MarginLeft();
    return CurveMarker(mapping, frame.ImageRect().left + margin, frame.ImageRect().right + margin);
}

void ViewerCommands::SetViewerArea(const Rect& area) {
    m_Model.SetViewerArea(area);
    PlaceFrameWhenLaidOut();
}

void ViewerCommands::PlaceFrameWhenLaidOut() {
    if (!m_FramePending || m_Model.Layout().panoramic.Empty())
        return;
    m_FramePending = false;
    m_Mouse.ResetVolumeOfInterest();
    m_Mouse.PlaceVolumeOfInterest();
}

}  // namespace zor::viewer

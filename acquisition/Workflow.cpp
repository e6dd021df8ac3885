#include "acquisition/Workflow.h"

#include <cwctype>
#include <thread>

#include "acquisition/AcquisitionConstants.h"
#include "acquisition/DeviceLink.h"
#include "acquisition/DriverStatus.h"
#include "acquisition/ExamArchive.h"
#include "acquisition/TrajectoryHandoff.h"
#include "acquisition/WorkFolderWatcher.h"
#include "images/PanoramicLoader.h"
#include "platform/NamedObject.h"
#include "platform/Parser.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "plugins/FilterPlugins.h"
#include "viewer/ViewerCommands.h"
#include "zor_text/Utf.h"
#include "zor_vol/VolumeClass.h"

namespace zor::acquisition {

namespace {

/// One instruction line: its tag, its picture and whether it carries a "n) " number.
struct Instruction {
    const char* Tag;
    const char* Bitmap;
};

constexpr const char* kResetBmp = "Reset.bmp";
constexpr const char* kPatientBmp = "PatientPosition.bmp";
constexpr const char* kXRayBmp = "XRay.bmp";
constexpr const char* kTomoVolumeBmp = "TomoVolume.bmp";
constexpr const char* kTomoStartBmp = "TomoStart.bmp";

bool IsAcceptedSizeClass(int32_t sizeClass) {
    return sizeClass == platform::kSizeClassTomosynthesis ||
           sizeClass == platform::kSizeClassPanoramic;
}

/// Case-insensitive comparison of two UTF-8 texts (the translated abort message may be in any
/// script, so the comparison folds wide characters).
bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    std::wstring wa = text::Utf8ToWide(a);
    std::wstring wb = text::Utf8ToWide(b);
    if (wa.size() != wb.size())
        return false;
    for (size_t i = 0; i < wa.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(wa[i])) != std::towlower(static_cast<wint_t>(wb[i])))
            return false;
    }
    return true;
}

}  // namespace

Workflow::Workflow(WorkflowPorts ports, WorkflowSettings settings)
    : m_Ports(std::move(ports)),
      m_Settings(std::move(settings)),
      m_CrossFilters({m_Ports.Status, m_Ports.Window,
                      [this] {
                          if (m_CrossView)
                              m_CrossView->ApplyFilters();
                          m_Ports.Window.Invalidate();
                      }}),
      m_TemplateMode(m_Settings.IsLastPanoramicPhantom) {
    m_Ports.Viewer.SetCrossFilters(&m_CrossFilters);
    // The filter plug-ins serve the panoramic's treatment and the crosses' display filters.
    plugins::ConfigureFilterPlugins(plugins::DefaultPluginFolder(), &m_Ports.Status);
    plugins::LoadFilterPlugins();
    images::PanoramicPorts loaderPorts;
    loaderPorts.m_Filter = &m_PanoramicFilter;
    loaderPorts.m_Status = &m_Ports.Status;
    loaderPorts.m_Steps = this;
    loaderPorts.m_StepWindow = &m_Ports.Steps;
    if (m_Settings.Translate)
        loaderPorts.m_Translate = m_Settings.Translate;
    m_Loader = std::make_unique<images::PanoramicLoader>(m_Settings.Images, loaderPorts);
    m_Volume = std::make_unique<VolumeClass>();
}

// The threads are joined before the objects they use go: the workers before the volume, the
// watcher before the ports.
Workflow::~Workflow() {
    m_Ports.Viewer.SetCrossFilters(nullptr);
    m_Workers.reset();
    if (m_Watcher)
        m_Watcher->Stop();
    plugins::UnloadFilterPlugins();
}

std::string Workflow::Tr(const std::string& tag) const {
    return m_Settings.Translate ? m_Settings.Translate(tag) : images::UntranslatedTag(tag);
}

std::string Workflow::Picture(const char* file) const {
    return platform::InstallPath(m_Settings.Images.m_InstallDir,
                                 {"config_zor", "zor_manager", file})
        .string();
}

std::filesystem::path Workflow::WorkFolder() const {
    return platform::InstallPath(m_Settings.Images.m_InstallDir, {"work"});
}

bool Workflow::DriverFound() {
    return m_Ports.Driver != nullptr && m_Ports.Driver->Find();
}

std::optional<int32_t> Workflow::Query(int32_t code) {
    if (m_Ports.Driver == nullptr)
        return std::nullopt;
    return m_Ports.Driver->Query(code);
}

bool Workflow::EnterWorkflowStep(int step, bool invalidate, bool pollNow) {
    // Whatever the step, the panoramic is no longer awaited in the way the waiting window says.
    m_WaitingWindow.reset();
    bool entered = false;
    switch (step) {
        case 1:
            entered = EnterPanoramicStep(pollNow);
            break;
        case 2:
            entered = EnterSelectionStep();
            break;
        case 3:
            entered = EnterProjectionStep();
            break;
        case 4:
        case 5:
            entered = EnterVolumeStep(step);
            break;
        default:
            break;
    }
    UpdateWorkFileCommands();
    if (invalidate)
        m_Ports.Window.Invalidate();
    return entered;
}

void Workflow::UpdateWorkFileCommands() {
    // The column follows the phase the workflow is in now, whatever moved it (a forwarded
    // panoramic, an error with restart, back), with the work files that exist.
    const WorkFileFlags files = ReadWorkFileFlags(WorkFolder());
    m_LastPanoramic = files.PanoramicAvailable;
    m_LastTomosynthesis = files.VolumeAvailable && files.LastAcquisitionComplete;
    m_Ports.Window.ShowButtonsForPhase(m_Phase, m_LastPanoramic, m_LastTomosynthesis);
}

bool Workflow::EnterPanoramicStep(bool pollNow) {
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    m_LastState = 0;
    if (m_Ports.Link != nullptr)
        m_Ports.Link->SetVolumeSelection(false);
    StopWorkers();
    m_Phase = 1;
    m_TemplateMode = false;
    m_Ports.Viewer.HidePanoramic();
    if (!pollNow)
        return true;
    const bool first = !m_FirstPollDone;
    const int result = PollDeviceState(false, true, true, false, true);
    // The first poll enters this step once more and handles its own result there.
    if (first)
        return true;
    m_LastPollResult = result;
    if (result == 1) {
        m_Ports.Timers.SetTimer(TimerId::DevicePoll, kPollPeriodMs);
    } else {
        m_Ports.Timers.SetTimer(TimerId::ExposureWatch, kPollPeriodMs);
        WaitForExposure();
    }
    return true;
}

void Workflow::WaitForExposure() {
    if (!m_Ports.NameWaitingWindow || m_WaitingWindow)
        return;
    bool exists = false;
    m_WaitingWindow = platform::NamedObject::Create(kWaitingWindowName, exists);
}

void Workflow::StartWatcher() {
    if (!m_Ports.PostNewPanoramic)
        return;
    if (!m_Watcher) {
        m_Watcher = std::make_unique<WorkFolderWatcher>(WorkFolder(), m_Ports.PostNewPanoramic,
                                                        m_Ports.WatcherSettle);
    }
    m_Watcher->Start();
    m_Ports.Window.Invalidate();
}

int32_t Workflow::LoadedSizeClass() const {
    // Before any panoramic was loaded the description is the template's, size class 31.
    const int32_t sizeClass = m_Loader->Info().m_ProjectionThird;
    return sizeClass == 0 ? platform::kSizeClassTomosynthesis : sizeClass;
}

void Workflow::ShowPollError(const std::string& title, const std::string& text, bool showErrors) {
    if (!showErrors)
        return;
    StepContent error;
    error.Title = title;
    error.Lines[0] = text;
    error.Bitmaps[0] = Picture(kErrorBitmap);
    ShowStepWindow(error, true, 0);
}

int Workflow::PollDeviceState(bool projectionMode, bool showSteps, bool showErrors, bool force,
                              bool readConfiguration) {
    if (!m_FirstPollDone) {
        m_FirstPollDone = true;
        StartWatcher();
        m_Ports.Status.LogMessage("", false, 3, false);
        EnterWorkflowStep(1, true, true);
        if (m_Caller.CallerPanoramicMode)
            OpenCallerPanoramic();
        return m_LastPollResult;
    }
    const std::string stepTitle = Tr(projectionMode ? kProjectionStepTitle : kPanoramicStepTitle);
    const std::string errorTitle =
        Tr(projectionMode ? kProjectionErrorTitle : kPanoramicErrorTitle);
    // A driver that stops answering in the middle of a poll is one that is not running.
    const auto absent = [&] {
        ShowPollError(errorTitle, Tr(kDriverNotStarted), showErrors);
        return 1;
    };
    if (!DriverFound())
        return absent();

    if (readConfiguration) {
        const auto kv = Query(platform::kQueryKv);
        const auto ma = Query(platform::kQueryMa);
        const auto program = Query(platform::kQueryProgram);
        const auto sizeClass = Query(platform::kQuerySizeClass);
        const auto orientation = Query(platform::kQueryOrientation);
        if (!kv || !ma || !program || !sizeClass || !orientation)
            return absent();
        m_Snapshot.Kv = *kv;
        m_Snapshot.Ma = *ma;
        m_Snapshot.Program = *program;
        m_Snapshot.SizeClass = *sizeClass >= 6 && *sizeClass <= 31 ? *sizeClass : 31;
        m_Snapshot.Orientation = *orientation == 0 ? 1 : 2;
    }

    const int32_t sizeClass = m_TemplateMode ? m_Snapshot.SizeClass : LoadedSizeClass();
    if (!IsAcceptedSizeClass(sizeClass)) {
        ShowPollError(Tr(kPanoramicErrorTitle),
                      "Incompatible patient size [" + std::to_string(sizeClass) + "]", showErrors);
        return 1;
    }

    const auto poll25 = Query(platform::kQueryPoll25);
    const auto poll8 = Query(platform::kQueryPoll8);
    const auto errorNumber = Query(platform::kQueryErrorNumber);
    const auto lock = Query(platform::kQueryLock);
    const auto poll9 = Query(platform::kQueryPoll9);
    const auto state = Query(platform::kQueryState);
    if (!poll25 || !poll8 || !errorNumber || !lock || !poll9 || !state)
        return absent();

    if (*state == m_LastState && *state >= 1 && !force)
        return m_LastPollResult;
    m_LastState = *state;

    const char* stateText = nullptr;
    switch (*state) {
        case platform::kNotConnected:
            stateText = "_[pcdriver not connected]_";
            break;
        case platform::kSetup:
            stateText = "_[device is in setup state]_";
            break;
        case platform::kDummyRun:
            stateText = "_[device is performing dummy run]_";
            break;
        case platform::kAlarm:
            stateText = "_[device is in alarm state]_";
            break;
        case platform::kService:
            stateText = "_[device is in service state]_";
            break;
        case platform::kUpdate:
            stateText = "_[device is in update state]_";
            break;
        default:
            break;
    }
    if (stateText != nullptr) {
        ShowPollError(errorTitle, Tr(stateText), showErrors);
        return 1;
    }
    if (*errorNumber > 0) {
        ShowPollError(errorTitle, Tr(kDeviceInError) + " " + std::to_string(*errorNumber),
                      showErrors);
        return 1;
    }
    if (*lock == 0) {
        ShowPollError(errorTitle, Tr(kDriverHasNoLock), showErrors);
        return 1;
    }
    switch (*state) {
        case platform::kNeedsReset:
        case platform::kNeedsPatient:
        case platform::kPatientPositioned:
        case platform::kPanoramicReady:
        case platform::kTomosynthesisReady:
            if (showSteps) {
                ShowInstructions(stepTitle, *state, projectionMode);
                m_Ports.Status.LogMessage("", false, 3, false);
            }
            return 2;
        case platform::kAcquiring:
            m_Ports.Info.HideInfo();
            m_Ports.Steps.HideStep();
            return 3;
        default:
            return 1;
    }
}

void Workflow::ShowInstructions(const std::string& title, int32_t state, bool projectionMode) {
    std::vector<Instruction> lines;
    bool numbered = true;
    switch (state) {
        case platform::kNeedsReset:
            lines = {{kResetDevice, kResetBmp}, {kPlacePatient, kPatientBmp}};
            if (!projectionMode)
                lines.push_back({kSelectPanoramicExam, kExamTypeBitmap});
            lines.push_back({kPushXRays, kXRayBmp});
            break;
        case platform::kNeedsPatient:
            lines = {{kPlacePatient, kPatientBmp}};
            if (!projectionMode)
                lines.push_back({kSelectPanoramicExam, kExamTypeBitmap});
            lines.push_back({kPushXRays, kXRayBmp});
            break;
        default:  // positioned or ready: the exam selection or the exposure is next
            if (projectionMode || m_Snapshot.SizeClass == platform::kSizeClassTomosynthesis) {
                lines = {{kPushXRays, kXRayBmp}};
                numbered = false;
            } else {
                lines = {{kSelectPanoramicExam, kExamTypeBitmap}, {kPushXRays, kXRayBmp}};
            }
            break;
    }
    StepContent content;
    content.Title = title;
    for (size_t i = 0; i < lines.size() && i < content.Lines.size(); ++i) {
        const std::string prefix = numbered ? std::to_string(i + 1) + ") " : std::string();
        content.Lines[i] = prefix + Tr(lines[i].Tag);
        content.Bitmaps[i] = Picture(lines[i].Bitmap);
    }
    ShowStepWindow(content, false, 0);
}

void Workflow::ShowVolumeSelectionStep(bool force) {
    if (!DriverFound())
        return;
    const auto state = Query(platform::kQueryState);
    const auto sizeClass = Query(platform::kQuerySizeClass);
    if (!state || !sizeClass)
        return;
    if (*state == m_LastState && *state >= 1 && !force)
        return;
    m_LastState = *state;

    if (!IsAcceptedSizeClass(*sizeClass)) {
        const int32_t errorNumber = Query(platform::kQueryErrorNumber).value_or(0);
        const int32_t patientSize = Query(platform::kQueryPatientSizeIncompatible).value_or(0);
        std::string text;
        if (errorNumber != 0) {
            text = "device is in error n. " + std::to_string(errorNumber);
        } else if (patientSize != 0) {
            text = "Incompatible patient size [" + std::to_string(*sizeClass) + "]";
        } else {
            text = "xray panoramic PC Driver: incompatible state";
        }
        ShowPollError(Tr(kPanoramicErrorTitle), text, true);
        return;
    }

    std::vector<Instruction> lines;
    if (m_TemplateMode) {
        lines = {{kResetDevice, kResetBmp},
                 {kPlacePatient, kPatientBmp},
                 {kSelectVolume, kTomoVolumeBmp},
                 {kPushTomosynthesis, kTomoStartBmp}};
    } else {
        // An acquired panoramic is there, so the device was reset and the patient positioned.
        lines = {{kSelectVolume, kTomoVolumeBmp}, {kPushTomosynthesis, kTomoStartBmp}};
    }
    StepContent content;
    content.Title = Tr(kSelectionStepTitle);
    for (size_t i = 0; i < lines.size(); ++i) {
        content.Lines[i] = std::to_string(i + 1) + ") " + Tr(lines[i].Tag);
        content.Bitmaps[i] = Picture(lines[i].Bitmap);
    }
    ShowStepWindow(content, false, 0);
}

bool Workflow::EnterSelectionStep() {
    if (m_Ports.Link != nullptr)
        m_Ports.Link->SetVolumeSelection(true);
    m_Ports.Window.SetWaitCursor(true);
    m_Ports.Info.HideInfo();
    m_Ports.Steps.HideStep();
    images::SelectionModes modes;
    modes.m_TemplateMode = m_TemplateMode;
    modes.m_CallerPanoramicMode = m_Caller.CallerPanoramicMode;
    modes.m_CallerPanoramicPath = m_Caller.PanoramicPath;
    modes.m_Acquisition = TemplateAcquisitionNow();
    const bool loaded = m_Loader->PreparePanoramicForSelection(modes);
    m_Ports.Window.SetWaitCursor(false);
    if (!loaded) {
        m_Ports.Viewer.HidePanoramic();
        return false;
    }
    m_Phase = 2;
    m_YAxisMovable = false;
    if (DriverFound())
        m_YAxisMovable = Query(platform::kQueryYAxisMovable).value_or(0) != 0;
    ShowPanoramic();
    ShowCurvePicture();
    ShowVolumeSelectionStep(true);
    m_Ports.Timers.SetTimer(TimerId::SelectionSteps, kPollPeriodMs);
    return true;
}

void Workflow::ShowPanoramic() {
    const images::PanoramicView* view = m_Loader->View();
    if (view == nullptr || view->m_Full.Empty()) {
        m_Ports.Viewer.HidePanoramic();
        return;
    }
    const images::GreyImage16& full = view->m_Full;
    // The viewer reads the samples in place; they live as long as the loaded panoramic.
    const viewer::ViewImage image = viewer::ViewImage::External(
        const_cast<uint16_t*>(full.m_Samples.data()), full.m_Width, full.m_Height, full.m_Bits);
    viewer::PanoramicBands bands;
    bands.cropLeftPercent = m_Loader->Info().CropShares.m_Left;
    bands.cropRightPercent = m_Loader->Info().CropShares.m_Right;
    bands.bandTop = m_Loader->Bands().m_Top;
    bands.bandBottom = m_Loader->Bands().m_Bottom;
    bands.bandLimit = m_Loader->Bands().m_Limit;
    bands.yAxisMovable = m_YAxisMovable;
    m_Ports.Viewer.ShowPanoramic(image, bands);
}

void Workflow::ShowCurvePicture() {
    images::PanoramicProjection* projection = m_Loader->Projection();
    viewer::DisplayBitmap bitmap;
    viewer::CrossPanoramic mapping;
    if (projection != nullptr) {
        if (projection->m_Lut)
            mapping.lut = projection->m_Lut->Projection();
        mapping.curveWidth = projection->m_CurveWidth;
        mapping.curveHeight = projection->m_CurveHeight;
        mapping.volumeDiameter = projection->m_VolumeDiameter;
        std::vector<uint32_t> pixels = projection->m_CurvePicture.ToBgra32TopFirst();
        const viewer::ViewImage picture = viewer::ViewImage::External(
            pixels.data(), projection->m_CurveWidth, projection->m_CurveHeight, 32);
        if (pixels.size() == static_cast<size_t>(projection->m_CurveWidth) *
                                 static_cast<size_t>(projection->m_CurveHeight))
            viewer::MakeDisplayBitmap(picture, bitmap);
    }
    m_Ports.Viewer.ShowCurvePicture(std::move(bitmap), mapping);
    const viewer::Rect frame = m_Ports.Viewer.CurvePictureFrame();
    const int rect[4] = {frame.left, frame.top, frame.right, frame.bottom};
    m_Loader->SetProjectionFrame(rect);
}

bool Workflow::EnterProjectionStep() {
    if (m_TemplateMode && DriverFound()) {
        const auto state = Query(platform::kQueryState);
        if (state && *state < platform::kPatientPositioned) {
            ShowVolumeSelectionStep(true);
            m_Ports.Timers.SetTimer(TimerId::SelectionSteps, kPollPeriodMs);
            return false;
        }
    }
    m_LastPollResult = PollDeviceState(true, false, true, true, true);
    if (m_LastPollResult == 1) {
        m_Ports.Timers.SetTimer(TimerId::DevicePoll, kPollPeriodMs);
        return false;
    }
    m_Ports.Timers.SetTimer(TimerId::ExposureWatch, kPollPeriodMs);
    if (m_TemplateMode) {
        m_Loader->BuildTemplateDescription(TemplateAcquisitionNow());
    }
    if (!ComputeAndSendTrajectory())
        return false;
    const std::chrono::milliseconds pause(kHandoffPauseMs);
    if (m_Ports.Pause) {
        m_Ports.Pause(pause);
    } else {
        std::this_thread::sleep_for(pause);
    }
    m_LastPollResult = PollDeviceState(true, true, true, true, false);
    return true;
}

bool Workflow::ComputeAndSendTrajectory() {
    const viewer::ViewerStateModel& model = m_Ports.Viewer.Model();
    const images::PanoramicInfo& info = m_Loader->Info();
    HandoffInput in;
    in.InstallDir = m_Settings.Images.m_InstallDir;
    in.VoiSelected = model.VolumeOfInterestPlaced();
    const viewer::Rect voi = model.VolumeOfInterestFrame().ImageRect();
    in.VoiLeft = voi.left;
    in.VoiRight = voi.right;
    in.MarginLeft = info.m_MarginLeft;
    images::PanoramicProjection* projection = m_Loader->Projection();
    in.Lut = projection != nullptr && projection->m_Lut ? projection->m_Lut->Projection() : nullptr;
    in.DriverRunning = [this] { return DriverFound(); };
    // The arch angle at the volume of interest's centre column, as the trajectory needs it.
    in.ArchAngle = 0.0;
    if (in.Lut != nullptr) {
        double angle = 0.0;
        const int centre =
            static_cast<int>((in.VoiLeft + in.MarginLeft + in.VoiRight + in.MarginLeft) * 0.5);
        if (in.Lut->GetAngle(centre, &angle) == 0)
            in.ArchAngle = angle;
    }
    in.VolumeDiameter = projection != nullptr ? projection->m_VolumeDiameter : 35.0;
    in.YValue = info.m_YValue;
    in.Kv0 = info.m_TubeVoltage;
    in.Ma0 = info.m_TubeCurrent;
    in.ExposureTimeMs = info.m_ExposureTimeMs;
    in.Orientation = info.m_PatientOrientation;
    in.TemplateMode = m_TemplateMode;
    in.YAxisMovable = m_YAxisMovable;
    const viewer::PanoramicGeometry& geometry = model.Panoramic();
    const viewer::Rect marker = model.VolumeOfInterestFrame().ScreenRect();
    in.Geometry.T = geometry.pane.top;
    in.Geometry.B = geometry.pane.bottom;
    in.Geometry.It = geometry.image.top;
    in.Geometry.Ib = geometry.image.bottom;
    in.Geometry.Vt = marker.top;
    in.Geometry.Vb = marker.bottom;
    in.Geometry.CTop = m_Loader->Bands().m_TopOverflow;
    in.Geometry.CBottom = m_Loader->Bands().m_BottomOverflow;
    in.Geometry.Scale = geometry.scale;

    const HandoffOutcome out = acquisition::ComputeAndSendTrajectory(in, m_Ports.Launch);
    if (!out.Reason.empty())
        m_Ports.Status.LogMessage(out.Reason, false, out.Ok ? 2 : 0, false);
    if (!out.Ok) {
        const std::string title = out.TranslateTexts ? Tr(out.Title) : out.Title;
        const std::string text = out.TranslateTexts ? Tr(out.Text) : out.Text;
        ShowWorkflowError(title, text, out.Restart);
        return false;
    }
    if (out.Collimator) {
        m_TopBlank = out.Collimator->TopBlank;
        m_BottomBlank = out.Collimator->BottomBlank;
    }
    m_Phase = 3;
    m_ExamArchived = false;
    m_Ports.Window.Invalidate();
    UpdateWorkFileCommands();
    return true;
}

images::TemplateAcquisition Workflow::TemplateAcquisitionNow() const {
    images::TemplateAcquisition acquisition;
    acquisition.m_YValue = static_cast<int>(m_Record.YValue);
    // Without a stored acquisition the template takes the technique set on the device.
    acquisition.m_TubeVoltage = m_Record.Kv > 0 ? m_Record.Kv : m_Snapshot.Kv;
    acquisition.m_TubeCurrent = m_Record.Ma > 0 ? m_Record.Ma : m_Snapshot.Ma;
    acquisition.m_ExposureTimeMs = m_Record.ExposureTimeMs;
    acquisition.m_PatientOrientation = m_Snapshot.Orientation;
    acquisition.m_ProjectionNumber = m_Snapshot.SizeClass;
    return acquisition;
}

void Workflow::UsePanoramic(bool templateMode) {
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    m_LastState = 0;
    m_TemplateMode = templateMode;
    m_Caller.CallerPanoramicMode = false;
    EnterWorkflowStep(2, true, false);
}

void Workflow::LoadLastPanoramic() {
    UsePanoramic(false);
}

void Workflow::LoadPhantomPanoramic() {
    UsePanoramic(true);
}

void Workflow::StartTomosynthesis() {
    if (!m_Ports.Viewer.PrepareStartTomosynthesis())
        return;
    if (m_Phase == 2 && m_Ports.Viewer.Model().VolumeOfInterestPlaced())
        EnterWorkflowStep(3, true, false);
}

void Workflow::OpenCallerPanoramic() {
    if (m_Caller.PanoramicPath.empty())
        return;
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    m_LastState = 0;
    m_TemplateMode = false;
    EnterWorkflowStep(2, true, false);
}

void Workflow::BackOrExit() {
    if (m_Phase == 1) {
        m_Ports.Window.Close();
        return;
    }
    if (m_Caller.CallerPanoramicMode) {
        m_Ports.Window.SetTitle(kWindowTitle);
        m_Caller.PatientName.clear();
        m_Caller.CallerPanoramicMode = false;
    }
    if (m_Phase == 3) {
        bool permitted = true;
        if (m_Ports.Link != nullptr && m_Ports.Link->IsConnected())
            permitted = m_Ports.Link->AbortAllowed();
        bool running = false;
        if (permitted) {
            // Without a driver to ask, the permission alone says an acquisition may be running.
            running = DriverFound() ? Query(platform::kQueryAcquiring).value_or(0) != 0 : true;
        }
        if (running) {
            StepContent abort;
            abort.Title = Tr(kAbortTitleTag);
            abort.Lines[0] = Tr(kAbortTextTag);
            abort.Bitmaps[0] = Picture(kExamTypeBitmap);
            ShowStepWindow(abort, true, 2);
            return;
        }
    }
    m_Ports.Status.LogMessage("", false, 3, false);
    m_Ports.Viewer.EndModes();
    m_Ports.Viewer.Model().ClearLayoutFlags();
    EnterWorkflowStep(1, true, true);
}

void Workflow::OnNewPanoramic(bool present) {
    if (m_Phase == 1) {
        m_Ports.Window.SetButtonVisible(CommandId::LoadLastPanoramic, present);
        if (present) {
            m_Ports.Status.LogMessage(Tr(kNewPanoramicTag), false, 1, false);
            m_Caller.CallerPanoramicMode = false;
            EnterWorkflowStep(2, true, false);
        }
    } else if (m_Phase == 2 || m_Phase == 3) {
        m_Ports.Status.LogMessage(kPanoramicChanged, false, 2, false);
        EnterWorkflowStep(1, true, true);
    }
}

void Workflow::OnReconstructionEnded(bool success) {
    if (m_Phase != 4)
        return;
    if (success) {
        EnterWorkflowStep(5, true, false);
    } else {
        ShowWorkflowError(kReconstructionErrorTitle, kReconstructionErrorText, true);
    }
}

void Workflow::OnTimer(TimerId id) {
    switch (id) {
        case TimerId::StepHide:
            m_Ports.Steps.HideStep();
            m_Ports.Timers.KillTimer(TimerId::StepHide);
            break;
        case TimerId::DevicePoll:
            if (m_Phase == 3 && DriverLost())
                break;
            if (m_Phase == 1) {
                const bool showErrors = m_FirstTimerTick;
                if (m_FirstTimerTick) {
                    m_FirstTimerTick = false;
                    m_Ports.Window.Invalidate();
                }
                m_LastPollResult = PollDeviceState(false, true, showErrors, false, true);
                if (m_LastPollResult == 2) {
                    m_Ports.Timers.KillTimer(TimerId::DevicePoll);
                    m_Ports.Timers.SetTimer(TimerId::ExposureWatch, kPollPeriodMs);
                    m_Ports.Status.LogMessage("", false, 3, false);
                    WaitForExposure();
                }
            } else {
                m_LastPollResult = PollDeviceState(false, false, false, false, true);
                if (m_LastPollResult == 2) {
                    m_Ports.Timers.KillTimer(TimerId::DevicePoll);
                    m_Ports.Timers.SetTimer(TimerId::ExposureWatch, kPollPeriodMs);
                    m_Ports.Status.LogMessage("", false, 3, false);
                }
            }
            break;
        case TimerId::ExposureWatch:
            if (m_Phase == 3 && DriverLost())
                break;
            m_LastPollResult = PollDeviceState(m_Phase >= 2, true, true, false, true);
            if (m_LastPollResult == 3) {
                m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
                m_Ports.Info.HideInfo();
                m_Ports.Steps.HideStep();
                m_Ports.Status.LogMessage("acquisition started", false, 1, false);
                // While the projections are acquired only the driver's answers move the
                // workflow on; timer 3 keeps checking that the driver is still there.
                if (m_Phase == 3)
                    m_Ports.Timers.SetTimer(TimerId::DevicePoll, kPollPeriodMs);
            }
            break;
        case TimerId::SelectionSteps:
            if (m_Phase == 2) {
                ShowVolumeSelectionStep(false);
            } else {
                m_Ports.Timers.KillTimer(TimerId::SelectionSteps);
            }
            break;
        default:
            break;
    }
}

bool Workflow::DriverLost() {
    if (DriverFound())
        return false;
    // Without the driver program no answer will ever come: the acquisition is over.
    m_Ports.Timers.KillTimer(TimerId::DevicePoll);
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    ShowWorkflowError(Tr(kProjectionErrorTitle), Tr(kDriverNotStarted), true);
    return true;
}

bool Workflow::ProcessDriverAnswer(const platform::CParser& answer) {
    return HandleDriverAnswer(answer);
}

bool Workflow::HandleDriverAnswer(const platform::CParser& answer) {
    std::string file;
    std::string folder;
    std::string code;
    std::string message;
    answer.FindValue("#FILE", file);
    answer.FindValue("#DIR", folder);
    answer.FindValue("#ERR", code);
    answer.FindValue("#MSG", message);
    std::erase_if(message, [](char c) { return c == '\r' || c == '\n'; });
    if (!message.empty())
        m_Ports.Status.LogMessage(message, false, 1, false);

    switch (platform::Atoi(code)) {
        case -51:
            if (!m_ExamArchived)
                ArchiveExam();
            m_ExamArchived = true;
            return true;
        case -52:
            m_Ports.Info.HideInfo();
            m_Ports.Steps.HideStep();
            return true;
        case -54:
            if (!m_ExamArchived) {
                m_Ports.Info.HideInfo();
                ShowWorkflowError(kParseErrorTitle, "Unexpected projections from device PC driver",
                                  true);
                return false;
            }
            if (!folder.empty() && !file.empty()) {
                m_ProjectionFolder = folder;
                m_ProjectionFile = file;
                EnterWorkflowStep(4, true, false);
                return true;
            }
            m_Ports.Info.HideInfo();
            ShowWorkflowError(kParseErrorTitle,
                              "Projections path not specified by device PC driver", true);
            return false;
        default:
            break;
    }
    bool acquiring = true;
    if (DriverFound())
        acquiring = Query(platform::kQueryAcquiring).value_or(1) != 0;
    if (!acquiring || EqualsIgnoringCase(message, Tr(kAbortedByUser)))
        EnterWorkflowStep(1, true, false);
    ShowWorkflowError(kParseErrorTitle, message.empty() ? "Unknown error" : message, false);
    return false;
}

void Workflow::ArchiveExam() {
    PanoramicSource source = PanoramicSource::Acquired;
    if (m_TemplateMode) {
        source = PanoramicSource::Template;
    } else if (m_Caller.CallerPanoramicMode) {
        source = PanoramicSource::Caller;
    }
    const ArchiveOutcome outcome = acquisition::ArchiveExam(WorkFolder(), source);
    if (outcome.Result != ArchiveResult::Done) {
        if (!outcome.Reason.empty())
            m_Ports.Status.LogMessage(outcome.Reason, false, 0, false);
        ShowWorkflowError(
            Tr(kInitScanErrorTitle),
            Tr(outcome.Result == ArchiveResult::SentTrajectoryCopyFailed ? kSentTrajectoryCopyError
                                                                         : kPanoramicCopyError),
            true);
        return;
    }
    m_LastPollResult = PollDeviceState(true, true, true, true, true);
    m_Ports.Timers.SetTimer(m_LastPollResult == 1 ? TimerId::DevicePoll : TimerId::ExposureWatch,
                            kPollPeriodMs);
    Workers().StartPreparation();
}

bool Workflow::CheckAcquisitionPrograms() {
    const char* missing = MissingAcquisitionProgram();
    if (missing == nullptr)
        return true;
    StepContent error;
    error.Title = Tr(kErrorTitle);
    error.Lines[0] = Tr(missing);
    error.Bitmaps[0] = Picture(kErrorBitmap);
    ShowStepWindow(error, true, 0);
    return false;
}

void Workflow::ShowWorkflowError(const std::string& title, const std::string& text, bool restart) {
    if (restart)
        EnterWorkflowStep(1, true, true);
    StepContent error;
    error.Title = title;
    error.Lines[0] = text;
    error.Bitmaps[0] = Picture(kErrorBitmap);
    ShowStepWindow(error, true, 0);
}

void Workflow::ShowStepWindow(const StepContent& content, bool logIt, int logLevel) {
    m_Ports.Info.HideInfo();
    m_Ports.Steps.HideStep();
    m_Ports.Steps.ShowStep(content);
    if (!logIt)
        return;
    m_Ports.Status.LogMessage(content.Lines[0] + " " + content.Lines[1] + " " + content.Lines[2],
                              false, logLevel, false);
    m_Ports.Timers.SetTimer(TimerId::StepHide, kStepHideMs);
}

}  // namespace zor::acquisition

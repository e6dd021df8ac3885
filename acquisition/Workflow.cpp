#include "acquisition/Workflow.h"

#include "acquisition/AcquisitionConstants.h"
#include "acquisition/DeviceLink.h"
#include "images/PanoramicLoader.h"
#include "platform/Paths.h"
#include "viewer/ViewerCommands.h"

namespace zor::acquisition {

Workflow::Workflow(WorkflowPorts ports, WorkflowSettings settings)
    : m_Ports(ports),
      m_Settings(std::move(settings)),
      m_TemplateMode(m_Settings.IsLastPanoramicPhantom) {
    images::PanoramicPorts loaderPorts;
    loaderPorts.m_Status = &m_Ports.Status;
    loaderPorts.m_Steps = this;
    loaderPorts.m_StepWindow = &m_Ports.Steps;
    if (m_Settings.Translate)
        loaderPorts.m_Translate = m_Settings.Translate;
    m_Loader = std::make_unique<images::PanoramicLoader>(m_Settings.Images, loaderPorts);
}

Workflow::~Workflow() = default;

std::string Workflow::Tr(const std::string& tag) const {
    return m_Settings.Translate ? m_Settings.Translate(tag) : images::UntranslatedTag(tag);
}

std::string Workflow::Picture(const char* file) const {
    return platform::InstallPath(m_Settings.Images.m_InstallDir,
                                 {"config_zor", "zor_manager", file})
        .string();
}

bool Workflow::EnterWorkflowStep(int step, bool invalidate, bool pollNow) {
    bool entered = false;
    switch (step) {
        case 1:
            entered = EnterPanoramicStep(pollNow);
            break;
        case 2:
            entered = EnterSelectionStep();
            break;
        default:
            // Projection acquisition and the volume steps need the device side and the
            // reconstruction workers, which this workflow does not drive.
            break;
    }
    // Whatever moved the phase (a forwarded panoramic, an error with restart, back), the column
    // shows the phase the workflow is in now.
    m_Ports.Window.ShowButtonsForPhase(m_Phase, m_LastPanoramic, m_LastTomosynthesis);
    if (invalidate)
        m_Ports.Window.Invalidate();
    return entered;
}

bool Workflow::EnterPanoramicStep(bool pollNow) {
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    if (m_Ports.Link != nullptr)
        m_Ports.Link->SetVolumeSelection(false);
    m_Phase = 1;
    m_TemplateMode = false;
    m_Ports.Viewer.HidePanoramic();
    if (pollNow)
        PollDevice();
    return true;
}

void Workflow::PollDevice() {
    // The first poll after start-up clears the status line, enters the panoramic step once more
    // (its own poll is then no longer the first) and opens the panoramic the caller gave.
    // Reading the device's state needs the driver's status channel, which is not polled here.
    if (m_FirstPollDone)
        return;
    m_FirstPollDone = true;
    m_Ports.Status.LogMessage("", false, 3, false);
    EnterWorkflowStep(1, true, true);
    if (m_Caller.CallerPanoramicMode)
        OpenCallerPanoramic();
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
    const bool loaded = m_Loader->PreparePanoramicForSelection(modes);
    m_Ports.Window.SetWaitCursor(false);
    if (!loaded) {
        m_Ports.Viewer.HidePanoramic();
        return false;
    }
    m_Phase = 2;
    ShowPanoramic();
    m_Ports.Timers.SetTimer(TimerId::SelectionSteps, 2000);
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
    // Only the device can say whether its Y axis moves; without its answer it does not.
    bands.yAxisMovable = false;
    m_Ports.Viewer.ShowPanoramic(image, bands);
}

void Workflow::UsePanoramic(bool templateMode) {
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
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

void Workflow::LoadLastTomosynthesis() {
    // Loading the last volume needs the volume steps; without them the command has no effect.
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
        // Without a device link the abort is permitted, and without a driver status channel that
        // permission alone says an acquisition may be running: the operator aborts it on the
        // device, and the driver's answer ends the phase.
        StepContent abort;
        abort.Title = Tr(kAbortTitleTag);
        abort.Lines[0] = Tr(kAbortTextTag);
        abort.Bitmaps[0] = Picture(kExamTypeBitmap);
        ShowStepWindow(abort, true, 2);
        return;
    }
    m_Ports.Status.LogMessage("", false, 3, false);
    m_Ports.Viewer.EndModes();
    m_Ports.Viewer.Model().ClearLayoutFlags();
    EnterWorkflowStep(1, true, true);
}

void Workflow::OnNewPanoramic(bool present) {
    if (m_Phase == 1) {
        m_LastPanoramic = present;
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
        case TimerId::SelectionSteps:
            // The instructions follow the device state; without a status channel they stay.
            if (m_Phase != 2)
                m_Ports.Timers.KillTimer(TimerId::SelectionSteps);
            break;
        default:
            // Device polling and exposure watching need the driver's status channel.
            m_Ports.Timers.KillTimer(id);
            break;
    }
}

bool Workflow::ProcessDriverAnswer(const platform::CParser& /*answer*/) {
    // Answers are only expected while projections are acquired, which this workflow never
    // starts; an answer now is refused.
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
    m_Ports.Steps.ShowStep(content);
    if (!logIt)
        return;
    m_Ports.Status.LogMessage(content.Lines[0] + " " + content.Lines[1] + " " + content.Lines[2],
                              false, logLevel, false);
    m_Ports.Timers.SetTimer(TimerId::StepHide, kStepHideMs);
}

}  // namespace zor::acquisition

// The volume steps of the workflow: step 4 computes the volume from the projections, step 5
// loads it with its panoramic and shows the crosses; the load-last-tomosynthesis command.
#include <cmath>
#include <cstring>

#include "acquisition/AcquisitionConstants.h"
#include "acquisition/DeviceLink.h"
#include "acquisition/Workflow.h"
#include "images/PanoramicLoader.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"
#include "viewer/CrossView.h"
#include "viewer/ViewerCommands.h"
#include "volume/ReconstructionWorkers.h"

namespace zor::acquisition {

namespace {

constexpr const char* kNavigationErrorTitle = "VOLUME NAVIGATION ERROR";
/// The crosses' default gamma, a single-precision value.
constexpr float kCrossGamma = 1.1f;

}  // namespace

CrossFit FitCrosses(int count, int position, int first, int last) {
    viewer::ViewerStateModel grouping;
    grouping.SetCrossCount(count);
    if (last - first + 1 < grouping.CrossCount())
        grouping.SetCrossCount(std::max(1, last - first + 1));
    const int half = grouping.CrossCount() / 2;
    if (position - half < first)
        position = first + half;
    if (position + half > last)
        position = last - half;
    return {grouping.CrossCount(), grouping.CrossGroupSize(), position};
}

bool CheckCollimator(int32_t lower, int32_t upper, float& a, float& b) {
    if (lower > 5600 || lower < 0 || upper >= 1 || upper <= -19750)
        return false;
    a = static_cast<float>(lower) / 19750.0f + 0.02f;
    b = static_cast<float>(-upper) / 19750.0f + 0.02f;
    return a >= 0.0f && a <= 0.4f && b >= 0.0f && b <= 0.9f;
}

void Workflow::StopWorkers() {
    if (!m_Workers)
        return;
    m_Workers->StartReconstruction(false);
    m_Workers->StopPreparation();
}

volume::ReconstructionWorkers& Workflow::Workers() {
    if (!m_Workers) {
        m_Workers = std::make_unique<volume::ReconstructionWorkers>(m_Settings.Images.m_InstallDir,
                                                                    *m_Volume, m_Ports.Workers);
    }
    return *m_Workers;
}

bool Workflow::EnterVolumeStep(int step) {
    // The acquisition is over: the device's return to its ready states must not bring the
    // exposure instructions back over the volume.
    m_Ports.Timers.KillTimer(TimerId::DevicePoll);
    m_Ports.Timers.KillTimer(TimerId::ExposureWatch);
    if (m_Ports.Link != nullptr)
        m_Ports.Link->SetVolumeSelection(false);
    if (step == 4) {
        m_Ports.Status.LogMessage(Tr("_[Computing volume]_"), false, 1, false);
        m_Ports.Info.HideInfo();
        m_Ports.Steps.HideStep();
        m_Phase = 4;
        Workers().StartReconstruction(true);
        return true;
    }
    return EnterNavigationStep();
}

bool Workflow::EnterNavigationStep() {
    struct WaitCursor {
        IMainWindow& Window;
        explicit WaitCursor(IMainWindow& w) : Window(w) { Window.SetWaitCursor(true); }
        ~WaitCursor() { Window.SetWaitCursor(false); }
    } wait(m_Ports.Window);
    m_Ports.Status.LogMessage(
        Tr(m_Phase == 4 ? "_[Volume computation completed]_" : "_[Loading volume]_"), false, 1,
        false);
    m_Ports.Info.HideInfo();
    m_Ports.Steps.HideStep();
    // A volume loaded from its file does not need the background preparation any more.
    if (m_Workers)
        m_Workers->StopPreparation();

    const std::string panoramic =
        (WorkFolder() / (m_TemplateMode ? "pano_template.tif" : "pano.tif")).string();
    bool described = false;
    if (m_TemplateMode) {
        described = m_Loader->BuildTemplateDescription(TemplateAcquisitionNow());
    } else {
        described =
            m_Loader->ReadCommaFormFile(panoramic) || m_Loader->LoadPanoramicMetadata(panoramic);
    }
    if (!described)
        return false;

    ReadAcquisitionRecord(WorkFolder(), m_Record);
    m_YAxisMovable = m_Record.YAxisMovable;
    if (m_Loader->LoadPanoramicImage(panoramic, false, m_TemplateMode) != 0) {
        ShowWorkflowError(kNavigationErrorTitle,
                          "Error on reading the panoramic associated to the volume", true);
        return false;
    }
    ShowPanoramic();
    if (m_Loader->LoadProjectionCurvePicture() != 0) {
        ShowWorkflowError(kNavigationErrorTitle, "Error on loading kestel", true);
        return false;
    }
    ShowCurvePicture();
    float a = 0.0f;
    float b = 0.0f;
    if (m_YAxisMovable &&
        !CheckCollimator(m_Record.CollimatorLower, m_Record.CollimatorUpper, a, b)) {
        ShowWorkflowError(kNavigationErrorTitle, "Error on loading collimator position", true);
        return false;
    }
    if (m_YAxisMovable) {
        m_CollimatorA = a;
        m_CollimatorB = b;
    }

    const int result = InitVolume((WorkFolder() / std::string(kVolumeFile)).string());
    if (result != 0) {
        ShowWorkflowError(kNavigationErrorTitle,
                          "The volume file cannot be read (error " + std::to_string(result) + ")",
                          true);
        return false;
    }

    // The crosses: their count in whole rows, the centre kept where all of them fit.
    viewer::ViewerStateModel& model = m_Ports.Viewer.Model();
    viewer::CrossView& crosses = *m_CrossView;
    int position = static_cast<int>(std::floor(m_SliceFraction * 50.0 + 0.5));
    crosses.SetCentre(position / 50.0);
    crosses.ComputeAllowedRange();
    const CrossFit fit =
        FitCrosses(m_Settings.CrossCount ? m_Settings.CrossCount() : model.CrossCount(), position,
                   crosses.FirstAllowed(), crosses.LastAllowed());
    model.SetCrossCount(fit.Count);
    m_SliceFraction = fit.Position / 50.0;
    crosses.SetCentre(m_SliceFraction);
    crosses.SetCrossCount(model.CrossCount(), model.CrossGroupSize());
    m_Ports.Viewer.Crosses().SetVisible(true);
    crosses.GenerateCrosses();
    crosses.UpdateCrossMarker();

    m_Phase = 5;
    if (m_Ports.SaveLastPanoramicPhantom)
        m_Ports.SaveLastPanoramicPhantom(m_TemplateMode);
    m_Ports.Status.LogMessage("Volume loading completed", false, 1, false);
    return true;
}

int Workflow::InitVolume(const std::string& path) {
    if (!m_CrossView) {
        m_CrossView = std::make_unique<viewer::CrossView>(
            m_Settings.Crosses, m_Ports.Viewer.Crosses(),
            [this](int, const uint16_t* raw, uint16_t* filtered, int width, int height) {
                m_CrossFilters.Apply(raw, filtered, width, height);
            });
    }
    // Every cross shows the automatic list: the configured one, else the default gamma.
    m_CrossFilters.Reset(plugins::AutomaticFilterList(
        platform::InstallPath(m_Settings.Images.m_InstallDir, {"config", "config.ini"}), 0.0, 1.0,
        static_cast<double>(kCrossGamma)));
    m_SliceFraction = 0.5;
    const int result = m_Volume->mInit(path.c_str());
    m_VolumeImageId = platform::FormatLocalTime("%Y-%m-%d_%H-%M-%S");
    m_CrossView->SetVolume(result == 0 ? m_Volume.get() : nullptr);
    m_CrossView->SetCollimatorFractions(m_CollimatorA, m_CollimatorB);
    images::PanoramicProjection* projection = m_Loader->Projection();
    const images::PanoramicView* view = m_Loader->View();
    viewer::CrossPanoramic panoramic;
    if (projection != nullptr && projection->m_Lut && view != nullptr) {
        panoramic.lut = projection->m_Lut->Projection();
        panoramic.imageWidth = view->m_Full.m_Width;
        panoramic.display = m_Ports.Viewer.Model().Panoramic().image;
        panoramic.curveWidth = projection->m_CurveWidth;
        panoramic.curveHeight = projection->m_CurveHeight;
        panoramic.curveDisplay = {projection->m_Frame[0], projection->m_Frame[1],
                                  projection->m_Frame[2], projection->m_Frame[3]};
        panoramic.volumeDiameter = projection->m_VolumeDiameter;
    }
    m_CrossView->SetPanoramic(panoramic);
    m_CrossView->SetCrossPane(m_Ports.Viewer.Model().Layout().crossPane);
    m_Ports.Viewer.SetCrossView(result == 0 ? m_CrossView.get() : nullptr);
    return result;
}

void Workflow::LoadLastTomosynthesis() {
    m_TemplateMode = m_Settings.IsLastPanoramicPhantom;
    const bool computed = std::filesystem::exists(WorkFolder() / std::string(kVolumeFile));
    EnterWorkflowStep(computed ? 5 : 4, true, false);
}

}  // namespace zor::acquisition

#pragma once
// The acquisition workflow: phases, wizard steps, device polling, the projection hand-off, the
// driver's answers, back and exit, and the panoramic it works on.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/AcquisitionRecord.h"
#include "acquisition/CrossFilterChains.h"
#include "acquisition/DriverParameters.h"
#include "acquisition/IWorkflow.h"
#include "images/DescriptionComposer.h"
#include "images/ImageSettings.h"
#include "plugins/FilterList.h"
#include "viewer/CrossView.h"
#include "volume/ReconstructionWorkers.h"

class VolumeClass;

namespace zor::images {
class PanoramicLoader;
}
namespace zor::platform {
class NamedObject;
}
namespace zor::viewer {
class ViewerCommands;
}

namespace zor::acquisition {

class IDeviceLink;
class IDriverStatus;
class WorkFolderWatcher;

/// Everything the workflow shows itself through; not owned, all outlive the workflow.
struct WorkflowPorts {
    IStatusSink& Status;
    ITimers& Timers;
    IStepWindow& Steps;
    IInfoWindow& Info;
    IMainWindow& Window;
    viewer::ViewerCommands& Viewer;
    /// The direct link to the device; null without one (the workflow then goes on without it).
    IDeviceLink* Link = nullptr;
    /// The driver program's status channel; null: the driver program never runs.
    IDriverStatus* Driver = nullptr;
    /// Posts WM_USER+1 to the main window; called on the work-folder watcher's thread. Null:
    /// the work folder is not watched.
    std::function<void(bool present)> PostNewPanoramic;
    /// Holds the name "3DTS_waiting_for_pano" while waiting for a panoramic exposure.
    bool NameWaitingWindow = false;
    /// Starts the driver program (ShellExecute-style result).
    ProgramLauncher Launch = platform::ShellExecuteOpen;
    /// The pause after a hand-off that lets the driver program take the parameter file; the
    /// main window keeps painting meanwhile. Null: the thread sleeps.
    std::function<void(std::chrono::milliseconds)> Pause;
    /// Settle time of the work-folder watcher after a change.
    std::chrono::milliseconds WatcherSettle{2000};
    /// Where the reconstruction workers report (posted to the main window).
    volume::WorkerPorts Workers;
    /// Stores the setting IsLastPanoramicPhantom; null: not stored.
    std::function<void(bool phantom)> SaveLastPanoramicPhantom;
};

/// The settings the workflow starts from.
struct WorkflowSettings {
    images::ImageSettings Images;  ///< InstallDir and the usable panoramic width
    bool IsLastPanoramicPhantom = false;
    images::Translate Translate;    ///< tag translation; empty: the tag's own text
    viewer::CrossSettings Crosses;  ///< cropping and angle limit of the crosses
    /// The number of crosses to show (the setting SliceVisualNumber as it is now).
    std::function<int()> CrossCount;
};

/// How many crosses are shown, in how many rows, around which position index: `count` in whole
/// rows (at most 48), fewer when the allowed range [first, last] holds fewer positions, and the
/// position moved so that all of them lie inside the range.
struct CrossFit {
    int Count = 1;
    int Rows = 1;
    int Position = 25;
};
CrossFit FitCrosses(int count, int position, int first, int last);

/// The collimator positions of an acquisition checked and turned into the blank fractions a
/// (bottom) and b (top) of the crosses; false when they are out of range.
bool CheckCollimator(int32_t lower, int32_t upper, float& a, float& b);

/// The device configuration read by a poll that asks for it.
struct DeviceSnapshot {
    int32_t Kv = 0;
    int32_t Ma = 0;
    int32_t Program = 0;
    int32_t SizeClass = 31;   ///< query 18 when in 6..31, else 31
    int32_t Orientation = 1;  ///< 1 when query 2 replies 0, else 2
};

/// The workflow of the main window; user-interface thread only.
class Workflow : public IWorkflow {
public:
    Workflow(WorkflowPorts ports, WorkflowSettings settings);
    ~Workflow() override;

    int32_t WorkflowPhase() const override { return m_Phase; }
    bool EnterWorkflowStep(int step, bool invalidate, bool pollNow) override;
    void StartTomosynthesis() override;
    void LoadLastPanoramic() override;
    void LoadLastTomosynthesis() override;
    void LoadPhantomPanoramic() override;
    void BackOrExit() override;
    void OnNewPanoramic(bool present) override;
    void OnReconstructionEnded(bool success) override;
    void OnTimer(TimerId id) override;
    CallerState& Caller() override { return m_Caller; }
    void OpenCallerPanoramic() override;
    bool ProcessDriverAnswer(const platform::CParser& answer) override;
    void ShowWorkflowError(const std::string& title, const std::string& text,
                           bool restart) override;

    /// Polls the driver program: 1 not ready, 2 ready (instructions shown when `showSteps`),
    /// 3 acquisition started. A state equal to the last one (and at least 1) returns the last
    /// result without showing anything unless `force`.
    int PollDeviceState(bool projectionMode, bool showSteps, bool showErrors, bool force,
                        bool readConfiguration);
    /// The instructions of the volume-selection step, redrawn when the device state changes.
    void ShowVolumeSelectionStep(bool force);
    /// Shows the step window; a logged display also goes to the activity log at `logLevel`
    /// (lines 1 to 3 joined by blanks) and hides itself after 5000 ms.
    void ShowStepWindow(const StepContent& content, bool logIt, int logLevel);
    /// The driver's answer of a projection acquisition (caller id 3, phase 3). True when it was
    /// progress, false when an error was reported.
    bool HandleDriverAnswer(const platform::CParser& answer);
    /// False when the driver program or the capture program is missing (the error is shown).
    bool CheckAcquisitionPrograms();

    bool TemplateMode() const { return m_TemplateMode; }
    bool WaitingForPanoramic() const { return m_WaitingWindow != nullptr; }
    bool ExamArchived() const { return m_ExamArchived; }
    const DeviceSnapshot& Snapshot() const { return m_Snapshot; }
    /// The blank fractions above and below the volume of interest, from the last hand-off with
    /// a movable Y axis.
    float TopBlankFraction() const { return m_TopBlank; }
    float BottomBlankFraction() const { return m_BottomBlank; }
    const std::string& ProjectionFolder() const { return m_ProjectionFolder; }
    const std::string& ProjectionFile() const { return m_ProjectionFile; }
    std::filesystem::path WorkFolder() const;
    /// The cross view of the loaded volume; null before the first volume.
    viewer::CrossView* Crosses() { return m_CrossView.get(); }
    /// What the export reads: the panoramic, the volume (never null), the crosses' collimator
    /// fractions (a bottom, b top), the last acquisition's record and its Y-axis flag.
    images::PanoramicLoader& Loader() { return *m_Loader; }
    VolumeClass& Volume() { return *m_Volume; }
    std::pair<float, float> CollimatorFractions() const { return {m_CollimatorA, m_CollimatorB}; }
    const AcquisitionRecord& Record() const { return m_Record; }
    bool YAxisMovable() const { return m_YAxisMovable; }
    /// The crosses' display filters (their list is the treatment an export records).
    const CrossFilterChains& CrossFilters() const { return m_CrossFilters; }
    const std::string& VolumeImageId() const { return m_VolumeImageId; }
    /// Loads the volume file and resets the crosses on it; 0 or the volume library's error.
    int InitVolume(const std::string& path);

private:
    bool EnterPanoramicStep(bool pollNow);
    bool EnterSelectionStep();
    bool EnterProjectionStep();
    bool EnterVolumeStep(int step);
    bool EnterNavigationStep();
    void StopWorkers();
    volume::ReconstructionWorkers& Workers();
    images::TemplateAcquisition TemplateAcquisitionNow() const;
    bool ComputeAndSendTrajectory();
    void ArchiveExam();
    void UsePanoramic(bool templateMode);
    void ShowPanoramic();
    /// Hands the loaded curve picture to the viewer and its drawing frame to the projection.
    void ShowCurvePicture();
    void UpdateWorkFileCommands();
    void StartWatcher();
    void WaitForExposure();
    bool DriverFound();
    /// In phase 3: true when the driver program has gone; the error is shown and the workflow
    /// is back at step 1.
    bool DriverLost();
    std::optional<int32_t> Query(int32_t code);
    int32_t LoadedSizeClass() const;
    void ShowPollError(const std::string& title, const std::string& text, bool showErrors);
    void ShowInstructions(const std::string& title, int32_t state, bool projectionMode);
    std::string Tr(const std::string& tag) const;
    std::string Picture(const char* file) const;

    WorkflowPorts m_Ports;
    WorkflowSettings m_Settings;
    std::unique_ptr<images::PanoramicLoader> m_Loader;
    std::unique_ptr<WorkFolderWatcher> m_Watcher;
    std::unique_ptr<platform::NamedObject> m_WaitingWindow;
    std::unique_ptr<VolumeClass> m_Volume;
    std::unique_ptr<volume::ReconstructionWorkers> m_Workers;
    std::unique_ptr<viewer::CrossView> m_CrossView;
    plugins::PluginDisplayFilter m_PanoramicFilter;  ///< the panoramic's treatment
    CrossFilterChains m_CrossFilters;                ///< the filter list the crosses show
    std::string m_VolumeImageId;
    double m_SliceFraction = 0.5;
    float m_CollimatorA = 0.0f;
    float m_CollimatorB = 0.0f;
    CallerState m_Caller;
    DeviceSnapshot m_Snapshot;
    AcquisitionRecord m_Record;
    int32_t m_Phase = 0;
    int32_t m_LastState = 0;       ///< last device state, 0: none known
    int32_t m_LastPollResult = 1;  ///< 1 not ready, 2 ready, 3 acquisition started
    bool m_TemplateMode = false;
    bool m_YAxisMovable = false;
    bool m_LastPanoramic = false;
    bool m_LastTomosynthesis = false;
    bool m_FirstPollDone = false;  ///< the first device poll after start-up has run
    bool m_FirstTimerTick = true;  ///< timer 3 shows errors on its first tick only
    bool m_ExamArchived = false;   ///< answer -51 archived the examination
    float m_TopBlank = 0.0f;
    float m_BottomBlank = 0.0f;
    std::string m_ProjectionFolder;  ///< "#DIR" of answer -54
    std::string m_ProjectionFile;    ///< "#FILE" of answer -54
};

}  // namespace zor::acquisition

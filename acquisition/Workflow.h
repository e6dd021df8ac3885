#pragma once
// The acquisition workflow: phases, wizard steps, back and exit, and the panoramic it works on.
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/IWorkflow.h"
#include "images/ImageSettings.h"

namespace zor::images {
class PanoramicLoader;
}
namespace zor::viewer {
class ViewerCommands;
}

namespace zor::acquisition {

class IDeviceLink;

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
};

/// The settings the workflow starts from.
struct WorkflowSettings {
    images::ImageSettings Images;  ///< InstallDir and the usable panoramic width
    bool IsLastPanoramicPhantom = false;
    images::Translate Translate;  ///< tag translation; empty: the tag's own text
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

    /// Shows the step window; a logged display also goes to the activity log at `logLevel`
    /// (lines 1 to 3 joined by blanks) and hides itself after 5000 ms.
    void ShowStepWindow(const StepContent& content, bool logIt, int logLevel);

    bool TemplateMode() const { return m_TemplateMode; }

private:
    bool EnterPanoramicStep(bool pollNow);
    void PollDevice();
    bool EnterSelectionStep();
    void UsePanoramic(bool templateMode);
    void ShowPanoramic();
    std::string Tr(const std::string& tag) const;
    std::string Picture(const char* file) const;

    WorkflowPorts m_Ports;
    WorkflowSettings m_Settings;
    std::unique_ptr<images::PanoramicLoader> m_Loader;
    CallerState m_Caller;
    int32_t m_Phase = 0;
    bool m_TemplateMode = false;
    bool m_LastPanoramic = false;
    bool m_LastTomosynthesis = false;
    bool m_FirstPollDone = false;  ///< the first device poll after start-up has run
};

}  // namespace zor::acquisition

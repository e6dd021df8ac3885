#pragma once
// The main window: the hub that owns the workflow, routes commands, timers and messages, and
// paints the viewer area.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "platform/UserInterfaces.h"
#include "shell/CallerParameters.h"

class QWindow;

namespace zor::acquisition {
class IWorkflow;
}
namespace zor::platform {
class CopyDataServer;
}
namespace zor::ui {
class CAboutDlg;
class CDlgMsg;
class CDlgMsgBmp;
class CDlgVolumeProgress;
}  // namespace zor::ui

namespace zor::shell {

class Czor_managerApp;
class StatusLine;
class TimerTable;
class ToolButtons;

/// Commands of the context menu.
enum MenuCommand : int { kMenuBackOrExit = 2000, kMenuAbout = 2001, kMenuQuickStart = 2002 };

/// The program's only top-level window (title "DTS"), embedded in the caller's window when
/// "#HANDLE" names one. Lives on the user-interface thread; other threads reach it only through
/// posted window messages and queued calls (copy-data records arrive that way).
class Czor_managerDlg : public QWidget, public IStatusSink, public IStepPresenter {
public:
    /// `parent`: the caller's window or nullptr; the dialog takes ownership of it.
    Czor_managerDlg(Czor_managerApp& app, QWindow* parent);
    ~Czor_managerDlg() override;

    /// Creates the window: embedding, the About box, the "ZorWindowClass" copy-data name, then
    /// the initialisation sequence. False when the caller parameters were refused.
    bool Create(const std::string& commandLine);

    /// Applies a parameter text; see shell/CallerParameters.h.
    bool ApplyCallerParameters(const std::string& text);
    /// A copy-data record: dwData 1 carries caller parameters; others are ignored.
    void OnCopyData(uint32_t dwData, const std::string& text);
    /// Runs a command (button, menu) by id.
    void OnCommand(int id);
    /// A timer tick by id (also what the timer table calls).
    void OnTimer(int id);
    /// The exit command: stops the device link and destroys the window; the event loop ends.
    void ExitCommand();

    // IStatusSink: the status line and the activity log.
    void LogMessage(const std::string& text, bool bold, int level, bool autoClear) override;
    // IStepPresenter
    void ShowWorkflowError(const std::string& title, const std::string& text,
                           bool restart) override;

    /// Places the button column for `phase`; then UpdateToolButtons shows the right ones.
    void LayoutToolButtons(int phase, bool lastPanoramic, bool lastTomosynthesis);
    void UpdateToolButtons(int phase, bool lastPanoramic, bool lastTomosynthesis);

    /// The context menu as it would be shown now: its entries' texts and command ids.
    std::vector<std::pair<QString, int>> ContextMenuEntries() const;

    const CallerState& Caller() const { return m_Caller; }
    acquisition::IWorkflow& Workflow() { return *m_Workflow; }
    TimerTable& Timers() { return *m_Timers; }
    ToolButtons& Buttons() { return *m_Buttons; }
    const StatusLine& Status() const { return *m_Status; }
    ui::CDlgMsgBmp& StepWindow() { return *m_StepWindow; }
    bool IsEmbedded() const { return m_ParentWindow != nullptr; }
    bool IsInitialised() const { return m_Initialised; }
    /// The four tool modes (zoom, brightness, contrast, gamma); at most one is set.
    bool IsModeActive(int buttonId) const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool OnInitDialog(const std::string& commandLine);
    void PlaceWindow();
    void StartCopyDataServer();
    void ToggleMode(int buttonId);
    void EndModes();
    void BackOrExit();
    void ShowAbout();
    void OpenQuickStartGuide();
    void OnReconstructionEnded(bool success);
    std::string PicturePath(const char* file) const;

    Czor_managerApp& m_App;
    QWindow* m_ParentWindow = nullptr;
    std::unique_ptr<acquisition::IWorkflow> m_Workflow;
    CallerState m_Caller;
    std::unique_ptr<TimerTable> m_Timers;
    std::unique_ptr<ToolButtons> m_Buttons;
    std::unique_ptr<StatusLine> m_Status;
    ui::CDlgMsg* m_InfoWindow = nullptr;  // child widgets, owned through Qt
    ui::CDlgMsgBmp* m_StepWindow = nullptr;
    ui::CDlgVolumeProgress* m_ProgressWindow = nullptr;
    ui::CAboutDlg* m_About = nullptr;
    QImage m_Background;
    QImage m_Panel;
    QRect m_Client;
    std::string m_ErrorPicture;
    bool m_ZoomMode = false;
    bool m_BrightnessMode = false;
    bool m_ContrastMode = false;
    bool m_GammaMode = false;
    bool m_LastPanoramic = false;
    bool m_LastTomosynthesis = false;
    std::unique_ptr<platform::CopyDataServer> m_CopyData;
    std::shared_ptr<std::atomic<bool>> m_Stopping;
    bool m_Initialised = false;
};

}  // namespace zor::shell

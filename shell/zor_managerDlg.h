#pragma once
// The main window: the hub that owns the components, routes commands, timers and messages to
// them through one table, and paints by delegating.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/UserInterfaces.h"
#include "shell/RouteTable.h"

class QWindow;

namespace zor::acquisition {
class DeviceLink;
class DriverStatusClient;
class IWorkflow;
struct WorkflowPorts;
}  // namespace zor::acquisition
namespace zor::platform {
class CopyDataServer;
}
namespace zor::ui {
class CAboutDlg;
}
namespace zor::viewer {
class ViewerCommands;
class ViewerPainter;
}  // namespace zor::viewer

namespace zor::shell {

class AuxiliaryWindows;
class Czor_managerApp;
class StatusLine;
class TimerTable;
class ToolButtons;
class WindowBackground;

/// Makes the workflow the main window drives, from the ports the window offers.
using WorkflowFactory =
    std::function<std::unique_ptr<acquisition::IWorkflow>(const acquisition::WorkflowPorts&)>;

/// The program's only top-level window (title "DTS"), embedded in the caller's window when
/// "#HANDLE" names one. Lives on the user-interface thread; other threads reach it only through
/// posted window messages and queued calls (copy-data records arrive that way).
class Czor_managerDlg : public QWidget,
                        public IStatusSink,
                        public IMainWindow,
                        private IShellCommands {
public:
    /// `parent`: the caller's window or nullptr; the dialog takes ownership of it. `factory`
    /// empty: the acquisition workflow.
    Czor_managerDlg(Czor_managerApp& app, QWindow* parent, WorkflowFactory factory = {});
    ~Czor_managerDlg() override;

    /// Creates the window: embedding, the About box, the "ZorWindowClass" copy-data name, then
    /// the initialisation sequence. False when the caller parameters were refused.
    bool Create(const std::string& commandLine);

    void OnCommand(CommandId id);
    void OnTimer(TimerId id);
    /// The exit command: hides the window and ends the event loop.
    void ExitCommand();
    const acquisition::IWorkflow& Workflow() const { return *m_Workflow; }

    // IStatusSink: the status line and the activity log.
    void LogMessage(const std::string& text, bool bold, int level, bool autoClear) override;
    void ShowStatusText(const std::string& text) override;
    // IMainWindow
    void ShowButtonsForPhase(int phase, bool lastPanoramic, bool lastTomosynthesis) override;
    void SetButtonVisible(CommandId button, bool visible) override;
    void MarkToolButton(std::optional<CommandId> button) override;
    void SetButtonBitmap(CommandId button, int bitmap) override;
    void SetCursor(CursorId cursor) override;
    void SetWaitCursor(bool busy) override;
    void SetTitle(const std::string& title) override;
    void Invalidate() override;
    void Close() override;

    /// The context menu as it would be shown now: its entries' texts and command ids (0 for the
    /// separator).
    std::vector<std::pair<QString, int>> ContextMenuEntries() const;

    /// Where export commands go; not owned, may be null.
    void SetExport(IExportCommands* exporter) { m_Export = exporter; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // IShellCommands
    void ShowAbout() override;
    void OpenQuickStartGuide() override;
    void HideInfoWindow() override;
    void ClearStatusLine() override;

    bool OnInitDialog(const std::string& commandLine);
    void CreateComponents();
    void PlaceWindow();
    void StartCopyDataServer();
    void Route(RouteKind kind, int id, intptr_t wParam);
    std::string PicturePath(const char* file) const;

    Czor_managerApp& m_App;
    QWindow* m_ParentWindow = nullptr;
    WorkflowFactory m_Factory;
    std::unique_ptr<TimerTable> m_Timers;
    std::unique_ptr<ToolButtons> m_Buttons;
    std::unique_ptr<StatusLine> m_Status;
    std::unique_ptr<WindowBackground> m_Background;
    std::unique_ptr<AuxiliaryWindows> m_Windows;
    std::unique_ptr<viewer::ViewerCommands> m_Viewer;
    std::unique_ptr<viewer::ViewerPainter> m_ViewerPainter;
    QImage m_ViewerImage;  ///< the off-screen picture of the viewer area, reused between paints
    std::optional<CursorId> m_CursorShown;  ///< the cursor last set on the window
    std::unique_ptr<acquisition::DeviceLink> m_DeviceLink;
    std::unique_ptr<acquisition::DriverStatusClient> m_DriverStatus;
    std::unique_ptr<acquisition::IWorkflow> m_Workflow;
    IExportCommands* m_Export = nullptr;
    /// The export on the acquisition workflow's data; none with a stand-in workflow.
    std::unique_ptr<IExportCommands> m_ExportCommands;
    ui::CAboutDlg* m_About = nullptr;  // child widget, owned through Qt
    std::unique_ptr<platform::CopyDataServer> m_CopyData;
    std::shared_ptr<std::atomic<bool>> m_Stopping;
};

}  // namespace zor::shell

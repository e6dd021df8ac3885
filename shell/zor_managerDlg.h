#pragma once
// The main window: the hub that owns the workflow, routes commands and messages, and paints.
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "shell/CallerParameters.h"

class QWindow;

namespace zor::acquisition {
class IWorkflow;
}
namespace zor::platform {
class CopyDataServer;
}

namespace zor::shell {

class Czor_managerApp;

/// The program's only top-level window (title "DTS"), embedded in the caller's window when
/// "#HANDLE" names one. Lives on the user-interface thread; other threads reach it only through
/// queued calls (copy-data records arrive that way).
class Czor_managerDlg : public QWidget {
public:
    /// `parent`: the caller's window or nullptr; the dialog takes ownership of it.
    Czor_managerDlg(Czor_managerApp& app, QWindow* parent);
    ~Czor_managerDlg() override;

    /// Creates the window: embedding, the "ZorWindowClass" copy-data name, then the
    /// initialisation sequence. False when the caller parameters were refused.
    bool Create(const std::string& commandLine);

    /// Applies a parameter text; see shell/CallerParameters.h.
    bool ApplyCallerParameters(const std::string& text);
    /// A copy-data record: dwData 1 carries caller parameters; others are ignored.
    void OnCopyData(uint32_t dwData, const std::string& text);
    /// The exit command: stops the device link and destroys the window; the event loop ends.
    void ExitCommand();

    const CallerState& Caller() const { return m_Caller; }
    acquisition::IWorkflow& Workflow() { return *m_Workflow; }
    bool IsEmbedded() const { return m_ParentWindow != nullptr; }
    bool IsInitialised() const { return m_Initialised; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool OnInitDialog(const std::string& commandLine);
    void PlaceWindow();

    Czor_managerApp& m_App;
    QWindow* m_ParentWindow = nullptr;
    std::unique_ptr<acquisition::IWorkflow> m_Workflow;
    CallerState m_Caller;
    std::unique_ptr<platform::CopyDataServer> m_CopyData;
    std::shared_ptr<std::atomic<bool>> m_Stopping;
    bool m_Initialised = false;
};

}  // namespace zor::shell

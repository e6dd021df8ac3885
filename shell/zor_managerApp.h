#pragma once
// The application object: single instance, settings, language, main window, exit.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/Settings.h"
#include "shell/zor_managerDlg.h"
#include "viewer/CrossPorts.h"

class QSocketNotifier;

namespace zor::platform {
class NamedObject;
}

namespace zor::shell {

/// Owns the settings and the main window for the life of the process; user-interface thread.
/// A QApplication must exist before InitInstance.
class Czor_managerApp : public viewer::ICrossCountSetting {
public:
    /// `arguments`: the program's arguments without the program name.
    explicit Czor_managerApp(std::vector<std::string> arguments);
    ~Czor_managerApp() override;

    /// The workflow the main window will drive (tests pass their own); call before InitInstance.
    void SetWorkflowFactory(WorkflowFactory factory) { m_WorkflowFactory = std::move(factory); }

    /// The start-up sequence. False ends the process without a main window: another instance
    /// runs (its window got this command line), the registry or InstallDir is unusable, or the
    /// caller parameters were refused.
    bool InitInstance();
    /// The exit sequence; returns the process exit code.
    int ExitInstance();

    bool SaveSliceVisualNumber();
    /// The number of crosses the operator chose; written to the registry at exit.
    void StoreSliceVisualNumber(int count) override { m_Settings.SliceVisualNumber = count; }
    bool SaveLastPanoramicPhantom(bool phantom);
    bool SaveMainWindowHandle(uint64_t handle);

    /// A blocking error of the start-up (tags are translated), shown in a message box.
    void ReportError(const std::string& titleTag, const std::string& textTag);

    AppSettings& Settings() { return m_Settings; }
    const std::string& CommandLine() const { return m_CommandLine; }
    Czor_managerDlg* MainWindow() const { return m_MainWindow.get(); }
    /// The registry file in use ($ZOR_REGISTRY or the default).
    const std::filesystem::path& RegistryFile() const { return m_RegistryFile; }
    /// Exit code when InitInstance returned false: 0 for a second instance, 1 for a failure.
    int StartExitCode() const { return m_StartExitCode; }

private:
    bool CheckSingleInstance();
    void WatchExitSignals();

    std::string m_CommandLine;
    std::string m_ParentHandle = "0";
    int m_StartExitCode = 1;
    std::filesystem::path m_RegistryFile;
    AppSettings m_Settings;
    std::unique_ptr<platform::NamedObject> m_Mutex;
    WorkflowFactory m_WorkflowFactory;
    std::unique_ptr<Czor_managerDlg> m_MainWindow;
    std::unique_ptr<QSocketNotifier> m_SignalNotifier;
};

/// Joins arguments with single spaces, as a process command line.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

}  // namespace zor::shell

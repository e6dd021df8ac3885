// Start-up and exit of the real program: single instance, settings, signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <filesystem>
#include <functional>
#include <tuple>

#include "ShellTestSupport.h"
#include "platform/NamedObject.h"
#include "shell/ShellConstants.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"

using namespace zor;
using zor::test::TempInstall;

namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(2000);
    }
    return true;
}

class ManagerProcess {
public:
    ManagerProcess(const TempInstall& t, const QStringList& args) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZOR_REGISTRY", QString::fromStdString(t.Registry().string()));
        env.insert("ZOR_SESSION", QString::fromStdString(t.Session()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(t.Runtime().string()));
        m_Process.setProcessEnvironment(env);
        m_Process.start(ZOR_MANAGER_PATH, args);
        EXPECT_TRUE(m_Process.waitForStarted(5000));
    }
    ~ManagerProcess() {
        if (m_Process.state() != QProcess::NotRunning) {
            m_Process.kill();
            m_Process.waitForFinished(5000);
        }
    }
    int Finish(int timeoutMs = 10000) {
        if (m_Process.state() != QProcess::NotRunning && !m_Process.waitForFinished(timeoutMs))
            return -1;
        return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -2;
    }
    void Signal(int sig) { ::kill(static_cast<pid_t>(m_Process.processId()), sig); }
    std::string Stderr() { return m_Process.readAllStandardError().toStdString(); }

private:
    QProcess m_Process;
};

}  // namespace

TEST(Startup, FirstStartCreatesSettingsAndSignalsEndItCleanly) {
    const std::tuple<const char*, int, uint32_t> cases[] = {
        {"", SIGTERM, 5},
        {"\"SliceVisualNumber\"=dword:fffffffd\n", SIGHUP, 5},
        {"\"SliceVisualNumber\"=dword:00000007\n", SIGINT, 7},
    };
    for (const auto& [stored, signal, expectedAtExit] : cases) {
        TempInstall t;
        t.WriteDefaultRegistry(stored);
        ManagerProcess manager(t, {});
        ASSERT_TRUE(WaitUntil([&] { return t.Value("3DTS_hWnd").has_value(); }))
            << manager.Stderr();
        EXPECT_TRUE(platform::NamedObjectExists(shell::kWindowClassName));
        manager.Signal(signal);
        EXPECT_EQ(manager.Finish(), 0);
        ASSERT_TRUE(t.Value("IsPanoramicLimited")) << "defaults created at start-up";
        EXPECT_EQ(t.Value("SliceVisualNumber")->dword, expectedAtExit) << stored;
        EXPECT_FALSE(platform::NamedObjectExists(shell::kMutexName));
    }
}

TEST(Startup, AnExitSignalDuringLoadingEndsTheProgramCleanly) {
    // A session manager may end the program while it is still loading its libraries.
    for (int delayUs : {2000, 20000}) {
        TempInstall t;
        t.WriteDefaultRegistry();
        ManagerProcess manager(t, {});
        usleep(static_cast<useconds_t>(delayUs));
        manager.Signal(SIGTERM);
        EXPECT_EQ(manager.Finish(), 0) << delayUs << " us " << manager.Stderr();
        EXPECT_FALSE(platform::NamedObjectExists(shell::kMutexName));
    }
}

TEST(Startup, UnusableInstallDirOrRuntimeFolderEndsWithoutAWindow) {
    for (int c = 1; c < 3; ++c) {
        TempInstall t;
        if (c == 1)
            t.WriteRegistry("\"InstallDir\"=dword:00000001");
        else {
            t.WriteDefaultRegistry();
            std::filesystem::create_directory(t.Runtime() / "vordal");
            std::filesystem::permissions(t.Runtime() / "vordal", std::filesystem::perms(0755));
        }
        ManagerProcess manager(t, {});
        EXPECT_EQ(manager.Finish(), 1);
        EXPECT_NE(manager.Stderr().find(c < 2 ? "Install dir not found"
                                              : "cannot take the name 3DTS_MUTEX: the runtime "
                                                "folder"),
                  std::string::npos)
            << manager.Stderr();
        EXPECT_FALSE(t.Value("3DTS_hWnd").has_value());
    }
}

TEST(Startup, SecondStartBeforeTheFirstHasAWindowEndsSilently) {
    TempInstall t;
    t.WriteDefaultRegistry();
    bool exists = false;
    auto mutex = platform::NamedObject::Create(shell::kMutexName, exists);
    ASSERT_TRUE(mutex);
    ManagerProcess second(t, {"#PATIENT_NAME", "lost"});
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_EQ(second.Stderr(), "");
    EXPECT_FALSE(t.Value("IsPanoramicLimited").has_value()) << "never got past the mutex";
}

TEST(Startup, SecondStartHandsItsCommandLineToTheRunningWindow) {
    TempInstall t;
    t.WriteDefaultRegistry();
    shell::Czor_managerApp app({"#PATIENT_NAME", "First", "#HANDLE", "4711"});
    test::RecordingWorkflow* workflow = nullptr;
    app.SetWorkflowFactory([&](const acquisition::WorkflowPorts&) {
        auto recorder = std::make_unique<test::RecordingWorkflow>();
        workflow = recorder.get();
        return recorder;
    });
    ASSERT_TRUE(app.InitInstance());
    auto* window = app.MainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(workflow, nullptr);
    EXPECT_EQ(workflow->CallerValues.PatientName, "First");

    ManagerProcess second(
        t, {"#PATIENT_NAME", "\"Maria", "", "Rossi\"", "#PANORAMIC_FILEPATH", "/tmp/p.tif"});
    ASSERT_TRUE(WaitUntil([&] { return second.Finish(0) >= 0; }));
    EXPECT_EQ(second.Finish(0), 0);
    EXPECT_EQ(second.Stderr(), "");
    EXPECT_EQ(workflow->CallerValues.PatientName, "Maria Rossi");
    EXPECT_EQ(workflow->CallerValues.PanoramicPath, "/tmp/p.tif");
    EXPECT_EQ(workflow->Calls.back(), "caller panoramic") << "opened in phase 1";
    // A command line too long for one record is not handed over, and the start says why.
    ManagerProcess tooLong(t, {"#PATIENT_NAME", QString(70000, 'x')});
    ASSERT_TRUE(WaitUntil([&] { return tooLong.Finish(0) >= 0; }));
    EXPECT_EQ(tooLong.Finish(0), 1);
    EXPECT_NE(tooLong.Stderr().find("too long"), std::string::npos) << tooLong.Stderr();

    window->ExitCommand();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(t.Value("SliceVisualNumber")->dword, 5u);
}

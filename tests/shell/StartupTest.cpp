// Start-up and exit of the real program: single instance, settings, signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ShellTestSupport.h"
#include "platform/CopyData.h"
#include "platform/NamedObject.h"
#include "platform/Registry.h"
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

std::optional<platform::RegValue> Value(const TempInstall& t, const char* name) {
    auto key = platform::RegistryKey::Open(shell::kSettingsKey, false, t.Registry());
    return key ? key->Query(name) : std::nullopt;
}

/// zor_manager in a child process, on the offscreen platform, in the installation's session.
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
    /// Exit code once finished, or -1 after the time-out.
    int Finish(int timeoutMs = 10000) {
        if (m_Process.state() != QProcess::NotRunning && !m_Process.waitForFinished(timeoutMs)) {
            return -1;
        }
        return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -2;
    }
    void Signal(int sig) { ::kill(static_cast<pid_t>(m_Process.processId()), sig); }
    std::string Stderr() { return m_Process.readAllStandardError().toStdString(); }

private:
    QProcess m_Process;
};

}  // namespace

TEST(Startup, FirstStartCreatesSettingsAndSignalsEndItCleanly) {
    struct Case {
        const char* stored;  // SliceVisualNumber line, or empty
        int signal;
        uint32_t expectedAtExit;
    };
    const Case cases[] = {
        {"", SIGTERM, 5},
        {"\"SliceVisualNumber\"=dword:00000000\n", SIGINT, 5},
        {"\"SliceVisualNumber\"=dword:fffffffd\n", SIGHUP, 5},
        {"\"SliceVisualNumber\"=dword:00000007\n", SIGTERM, 7},
    };
    for (const auto& c : cases) {
        TempInstall t;
        t.WriteDefaultRegistry(c.stored);
        ManagerProcess manager(t, {});
        ASSERT_TRUE(WaitUntil([&] { return Value(t, "3DTS_hWnd").has_value(); }))
            << manager.Stderr();
        EXPECT_TRUE(platform::NamedObjectExists(shell::kWindowClassName));
        manager.Signal(c.signal);
        EXPECT_EQ(manager.Finish(), 0);
        ASSERT_TRUE(Value(t, "IsPanoramicLimited")) << "defaults created at start-up";
        EXPECT_EQ(Value(t, "SliceVisualNumber")->dword, c.expectedAtExit) << c.stored;
        EXPECT_FALSE(platform::NamedObjectExists(shell::kMutexName));
    }
}

TEST(Startup, AnExitSignalDuringLoadingEndsTheProgramCleanly) {
    // A session manager may end the program while it is still loading its libraries: the
    // signal must wait for the handlers instead of killing the process.
    for (int delayUs : {2000, 5000, 20000}) {
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
    // Which InstallDir values are unusable is the settings test's; here the program's answer.
    for (int c = 0; c < 3; ++c) {
        TempInstall t;
        if (c == 1)
            t.WriteRegistry("\"InstallDir\"=dword:00000001");
        if (c == 2) {
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
        EXPECT_FALSE(Value(t, "3DTS_hWnd").has_value());
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
    EXPECT_FALSE(Value(t, "IsPanoramicLimited").has_value()) << "never got past the mutex";
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
    EXPECT_EQ(workflow->Calls, std::vector<std::string>{"step 1"});

    // A client that sends half a record and stays connected must not block the next one.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = platform::NamedObjectPath(shell::kWindowClassName);
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.data(), path.size());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const uint32_t header[2] = {1, 100};
    ASSERT_EQ(::write(fd, header, sizeof header), static_cast<ssize_t>(sizeof header));

    ManagerProcess second(
        t, {"#PATIENT_NAME", "\"Maria", "", "Rossi\"", "#PANORAMIC_FILEPATH", "/tmp/p.tif"});
    ASSERT_TRUE(WaitUntil([&] { return second.Finish(0) >= 0; }));
    EXPECT_EQ(second.Finish(0), 0);
    EXPECT_EQ(second.Stderr(), "");
    EXPECT_EQ(workflow->CallerValues.PatientName, "Maria Rossi");
    EXPECT_EQ(workflow->CallerValues.PanoramicPath, "/tmp/p.tif");
    EXPECT_EQ(workflow->Calls.back(), "caller panoramic") << "opened in phase 1";
    ::close(fd);
    // A command line too long for one record is not handed over, and the start says why.
    ManagerProcess tooLong(t, {"#PATIENT_NAME", QString(70000, 'x')});
    ASSERT_TRUE(WaitUntil([&] { return tooLong.Finish(0) >= 0; }));
    EXPECT_EQ(tooLong.Finish(0), 1);
    EXPECT_EQ(tooLong.Stderr(),
              "zor_manager: the command line (70014 bytes) is too long to hand to the running "
              "program (limit 65535)\n");
    EXPECT_EQ(workflow->CallerValues.PatientName, "Maria Rossi");

    window->ExitCommand();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(Value(t, "SliceVisualNumber")->dword, 5u);
}

// The driver program through --control, zor_tool status, second instances and the link; its
// answers reach a stand-in operator program that records them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "device_driver_host/DriverHost.h"
#include "platform/NamedObject.h"
#include "platform/StatusChannel.h"
#include "support/TempDir.h"
#include "talvern_connection/TalvernConnection.h"

namespace fs = std::filesystem;
using namespace zor::device;

namespace {

/// A private session per test, so names never meet those of other runs.
void NewSession() {
    static int count = 0;
    const std::string session =
        "ddh-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    setenv("ZOR_SESSION", session.c_str(), 1);
}

/// Runs a shell command; its exit code, and its standard output in `output`.
int RunShell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    std::string text;
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Control(const std::string& action, std::string* output = nullptr) {
    return RunShell(std::string(ZOR_DRIVER_HOST_PATH) + " --control '" + action + "'", output);
}

/// The reply zor_tool status prints for one query name; -1000 when it fails.
int Status(const std::string& query) {
    std::string out;
    char name[32] = {};
    int code = 0, reply = 0;
    return RunShell(std::string(ZOR_TOOL_PATH) + " status " + query, &out) == 0 &&
                   std::sscanf(out.c_str(), "%31s %d %d", name, &code, &reply) == 3
               ? reply
               : -1000;
}

template <typename Condition>
bool WaitFor(Condition condition) {
    // A guard against hangs, not a time limit (sanitizer builds are slow).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

/// An install folder whose operator program appends each answer's first line to "received.txt".
struct Install {
    zor::test::TempDir Dir{"zor-ddh"};
    Install() {
        Dir.Write("work/phantom_pano.tif", "panoramic");
        fs::permissions(Dir.Write("zor_manager", "#!/bin/sh\nhead -n 1 \"$2\" >> '" +
                                                     Dir.File("received.txt") + "'\n"),
                        fs::perms::owner_all);
    }
    std::string Received() const { return zor::test::ReadFile(Dir / "received.txt"); }
    bool WaitForAnswer(const std::string& text) const {
        return WaitFor([&] { return Received().find(text) != std::string::npos; });
    }
};

/// The driver program running headless in its own process for one test.
class HostProcess {
public:
    explicit HostProcess(const Install& install) : m_Pid(fork()) {
        if (m_Pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(ZOR_DRIVER_HOST_PATH, ZOR_DRIVER_HOST_PATH, "--headless", "--install-dir",
                  install.Dir.Path().c_str(), "--exposure-ms", "1500", "--link-port", "0",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        zor::platform::StatusQueryClient client(kStatusName);
        m_Ready = WaitFor([&] { return client.Find(); });
    }
    ~HostProcess() {
        if (m_Pid > 0 && kill(m_Pid, SIGTERM) == 0)
            waitpid(m_Pid, nullptr, 0);
    }
    bool Ready() const { return m_Ready; }
    bool Alive() const { return waitpid(m_Pid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_Pid;
    bool m_Ready = false;
};

/// The driver program started for one test in a session of its own.
struct DriverHostProgram : ::testing::Test {
    struct Session {
        Session() { NewSession(); }
    } session;
    Install install;
    HostProcess host{install};
    void SetUp() override { ASSERT_TRUE(host.Ready()); }
};

}  // namespace

TEST_F(DriverHostProgram, ScriptedPanoramicExamAndFaultsShowInStatus) {
    std::string reply;
    EXPECT_EQ(Control("xray", &reply), 1);
    EXPECT_NE(reply.find("refused"), std::string::npos) << reply;
    for (const char* action : {"reset", "position", "exam pano"})
        EXPECT_EQ(Control(action), 0) << action;
    EXPECT_EQ(Status("state"), kPanoramicReady);
    EXPECT_EQ(Status("size"), kSizeClassPanoramic);
    EXPECT_EQ(Control("xray", &reply), 0);
    EXPECT_NE(reply.find("state=5"), std::string::npos) << reply;
    EXPECT_EQ(Status("acquiring"), 1);
    EXPECT_TRUE(WaitFor([] { return Status("state") == kNeedsReset; }));
    // A fault reaches the queries; the model test covers each fault and what it blocks.
    EXPECT_EQ(Control("error 12"), 0);
    EXPECT_EQ(Status("error"), 12);
}

TEST_F(DriverHostProgram, SurvivesClientsThatLeaveMidQuery) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, zor::platform::NamedObjectPath(kStatusName).c_str(),
                 sizeof address.sun_path - 1);
    for (int i = 0; i < 50; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        // Half a query, a whole one never read, or nothing at all, then gone.
        const int32_t query[2] = {0, kQueryState};
        const size_t bytes = i % 3 == 0 ? 4 : i % 3 == 1 ? sizeof query : 0;
        EXPECT_EQ(send(fd, query, bytes, MSG_NOSIGNAL), static_cast<ssize_t>(bytes));
        close(fd);
    }
    EXPECT_TRUE(host.Alive());
    EXPECT_EQ(Status("state"), kNeedsReset);
    EXPECT_EQ(Control("reset"), 0);
    EXPECT_EQ(Status("state"), kNeedsPatient);
}

TEST_F(DriverHostProgram, ParameterFilesFromSecondInstancesGetAnswers) {
    const std::string driver = ZOR_DRIVER_HOST_PATH;

    // A malformed parameter file: an error answer, and the device keeps serving.
    const fs::path bad = install.Dir.Write("work/Param.txt", "no keys here\n");
    EXPECT_EQ(RunShell(driver + " '#FILEPARAM' " + bad.string()), 0);
    EXPECT_TRUE(install.WaitForAnswer("#CALLER 3 #ERR 1 #MSG "));
    EXPECT_TRUE(WaitFor([] { return Control("status") == 0; }));
    EXPECT_EQ(Status("state"), kNeedsReset);

    // Answers typed by a person reach the operator program as they are.
    EXPECT_EQ(Control("answer -52 acquisition started"), 0);
    EXPECT_TRUE(install.WaitForAnswer("#CALLER 3 #ERR -52 #MSG acquisition started"));
    EXPECT_TRUE(host.Alive());
    EXPECT_EQ(RunShell(driver + " --headless"), 0) << "a second start without a file just ends";
}

TEST(DriverHostControl, WithoutARunningDriverFails) {
    NewSession();
    std::string reply;
    EXPECT_EQ(Control("reset", &reply), 1);
    EXPECT_NE(reply.find("not reachable"), std::string::npos) << reply;
}

namespace {

/// Steps that succeed and record the state they ran in; with `hold` projections await a cancel.
struct RecordingSteps final : AcquisitionSteps {
    explicit RecordingSteps(bool hold = false) : Hold(hold) {}
    bool ReadParameterFile(const fs::path&, StepError&) override { return true; }
    bool WriteCurrentPanoramic(const fs::path&, StepError&) override {
        PanoramicState = Host ? Host->Model().State() : -1;
        return true;
    }
    bool AcquireProjections(const fs::path& installDir, const std::function<bool()>& cancelled,
                            ProjectionSet& out, StepError& error) override {
        Acquiring = true;
        while (Hold) {
            if (cancelled()) {
                error = {kAnswerAborted, kAbortedByUser};
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        out.Folder = (installDir / "work").string();
        out.Pattern = "3DTS_image_projection_*.tif";
        return true;
    }
    const bool Hold;
    DriverHost* Host = nullptr;
    std::atomic<int> PanoramicState{-1};
    std::atomic<bool> Acquiring{false};
};

std::unique_ptr<DriverHost> StartHost(const Install& install, RecordingSteps* steps) {
    bool other = true;
    std::string why;
    DriverHostOptions options;
    options.InstallDir = install.Dir.Path();
    options.PanoramicExposureMs = 300, options.LinkPort = 0;
    auto host = DriverHost::Start(options, std::unique_ptr<RecordingSteps>(steps), other, why);
    EXPECT_TRUE(host) << why;
    if (host)
        steps->Host = host.get();
    return host;
}

}  // namespace

TEST(DriverHost, AutomaticDeviceAnswersStartedArchiveThenProjectionsInOrder) {
    NewSession();
    const Install install;
    auto host = StartHost(install, new RecordingSteps);
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->Control("auto on").Accepted);
    // A second host in the same session is refused as another instance.
    bool second = false;
    std::string why;
    DriverHostOptions options;
    options.InstallDir = install.Dir.Path();
    EXPECT_FALSE(DriverHost::Start(options, std::make_unique<RecordingSteps>(), second, why));
    EXPECT_TRUE(second);

    ASSERT_TRUE(host->CommandLine("#FILEPARAM " + install.Dir.File("work/Param.txt")).Accepted);
    ASSERT_TRUE(install.WaitForAnswer("#ERR -54"));
    EXPECT_EQ(install.Received(),
              "#CALLER 3 #ERR -52 #MSG acquisition started\n"
              "#CALLER 3 #ERR -51 #MSG projections acquisition in progress\n"
              "#CALLER 3 #ERR -54 #DIR " +
                  install.Dir.File("work") +
                  " #FILE 3DTS_image_projection_*.tif #MSG projections ready\n");
    EXPECT_TRUE(WaitFor([&] { return !host->JobRunning(); }));
    // The automatic device is ready again by itself; the status channel tells so.
    zor::platform::StatusQueryClient client(kStatusName);
    int32_t state = -1;
    ASSERT_TRUE(client.Query(0, kQueryState, state));
    EXPECT_EQ(state, kPatientPositioned);
}

TEST(DriverHost, LinkReportsAndAbortsTheWaitingJobTheControlAbortsTheAcquiring) {
    NewSession();
    const Install install;
    auto* steps = new RecordingSteps(true);
    auto host = StartHost(install, steps);
    ASSERT_TRUE(host);
    const std::string param = "#FILEPARAM " + install.Dir.File("work/Param.txt");
    std::unique_ptr<ITalvernConnection, bool (*)(ITalvernConnection*)> link(
        CreateTalvernConnection(), DestroyTalvernConnection);
    link->Connect(("127.0.0.1:" + std::to_string(host->LinkPort())).c_str(), 0);
    ASSERT_TRUE(link->IsConnected()) << link->LastError();
    host->Control("alarm");
    link->RefreshStatus();
    EXPECT_EQ(link->LastStatus(), "alarm");
    host->Control("clear");
    link->SetVolumeSelection(true);
    EXPECT_TRUE(WaitFor([&] { return host->VolumeSelection(); }));
    link->SetVolumeSelection(false);
    EXPECT_TRUE(WaitFor([&] { return !host->VolumeSelection(); }));

    // Waiting for the X-ray button: the abort ends the job with no progress answers.
    ASSERT_TRUE(host->CommandLine(param).Accepted);
    ASSERT_TRUE(WaitFor([&] { return host->Model().View().ProjectionJob; }));
    EXPECT_FALSE(host->CommandLine(param).Accepted);  // one acquisition at a time
    EXPECT_TRUE(link->MayAbort());
    link->RequestAbort();
    ASSERT_TRUE(install.WaitForAnswer("#ERR 4 #MSG aborted by user"));
    EXPECT_EQ(install.Received().find("#ERR -52"), std::string::npos);
    EXPECT_NE(install.Received().find("#ERR 3 #MSG device busy"), std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return !host->JobRunning(); }));

    // During the projections: the operator prepares the device, presses X-ray, then aborts.
    ASSERT_TRUE(host->CommandLine(param).Accepted);
    ASSERT_TRUE(WaitFor([&] { return host->Model().View().ProjectionJob; }));
    for (const char* action : {"reset", "position", "xray"})
        ASSERT_TRUE(host->Control(action).Accepted) << action;
    ASSERT_TRUE(WaitFor([&] { return steps->Acquiring.load(); }));
    EXPECT_EQ(host->Model().Answer(kQueryAcquiring), 1);
    ASSERT_TRUE(host->Control("abort").Accepted);
    ASSERT_TRUE(WaitFor([&] { return !host->JobRunning(); }));
    const std::vector<std::string> answers = host->Answers();
    ASSERT_GE(answers.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(answers.end() - 3, answers.end()),
        (std::vector<std::string>{"-52 acquisition started",
                                  "-51 projections acquisition in progress", "4 aborted by user"}));
    EXPECT_EQ(host->Model().Answer(kQueryAcquiring), 0);
    EXPECT_EQ(host->Model().Answer(kQueryState), kNeedsReset);
}

TEST(DriverHost, PanoramicIsWrittenWhileTheDeviceReportsTheAcquisition) {
    NewSession();
    const Install install;
    auto* steps = new RecordingSteps;
    auto host = StartHost(install, steps);
    ASSERT_TRUE(host);
    for (const char* action : {"reset", "position", "exam pano", "xray"})
        ASSERT_TRUE(host->Control(action).Accepted) << action;
    EXPECT_FALSE(host->Control("xray").Accepted);  // one exposure at a time
    ASSERT_TRUE(WaitFor([&] { return !host->JobRunning(); }));
    EXPECT_EQ(steps->PanoramicState, kAcquiring);
    EXPECT_EQ(host->Model().Answer(kQueryState), kNeedsReset);
    EXPECT_TRUE(host->Answers().empty());  // a panoramic is announced by its file, not answered
}

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "PlatformTestSupport.h"
#include "platform/FolderWatcher.h"
#include "platform/Process.h"

using namespace zor::platform;
using zor::platform::test::ReadFile;
using zor::platform::test::TempDir;
namespace fs = std::filesystem;

namespace {

/// Kills a spawned child at scope exit (its new parent, init, reaps it).
struct KillOnExit {
    pid_t pid = -1;
    ~KillOnExit() {
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
};

/// Waits until /proc no longer lists `pid` as a process (it ended and was reaped).
bool WaitUntilReaped(pid_t pid, std::chrono::milliseconds limit) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};  // readable once the process has ended
        ::poll(&p, 1, static_cast<int>(limit.count()));
        ::close(pidfd);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (fs::exists("/proc/" + std::to_string(pid))) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        // Init reaps it in its own time.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string StatField(pid_t pid, int index) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::string rest = stat.substr(stat.rfind(')') + 2);  // fields from 3 on
    for (int i = 3; i < index; ++i)
        rest = rest.substr(rest.find(' ') + 1);
    return rest.substr(0, rest.find(' '));
}

}  // namespace

TEST(Process, SplitsParametersAtBlanks) {
    EXPECT_EQ(SplitParameters(""), std::vector<std::string>{});
    EXPECT_EQ(SplitParameters("   "), std::vector<std::string>{});
    EXPECT_EQ(SplitParameters("#FILEPARAM /w/Param.txt"),
              (std::vector<std::string>{"#FILEPARAM", "/w/Param.txt"}));
    EXPECT_EQ(SplitParameters("  a \t b  c "), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(Process, ExecutablePathIsThisTest) {
    const fs::path self = ExecutablePath();
    EXPECT_EQ(self.filename(), "platform_tests");
    EXPECT_TRUE(self.is_absolute());
    EXPECT_TRUE(IsProcessRunning("platform_tests"));
    EXPECT_FALSE(IsProcessRunning("platform_test"));
    EXPECT_FALSE(IsProcessRunning(""));
}

TEST(Process, DetachedChildInItsOwnSessionWithNothingInherited) {
    TempDir dir;
    // A long name, beyond the 15 characters of /proc/<pid>/comm.
    const fs::path program = dir / "DeviceDriverHostSim";
    fs::copy_file("/bin/sleep", program);
    fs::permissions(program, fs::perms::owner_all);
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec on purpose
    ASSERT_GE(leaked, 3);
    KillOnExit child;
    // A blocked and an ignored signal here must be neither in the child.
    sigset_t block;
    sigset_t saved;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    ::pthread_sigmask(SIG_BLOCK, &block, &saved);
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGUSR1, &ignore, &previous);
    const int code = SpawnDetached(program, {"30"}, dir.Path(), &child.pid);
    ::sigaction(SIGUSR1, &previous, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::close(leaked);
    ASSERT_EQ(code, kShellSuccess);
    ASSERT_GT(child.pid, 0);
    const std::string proc = "/proc/" + std::to_string(child.pid);
    // The parent resumes as soon as exec has begun; until the new argument block appears the
    // child may still hold the parent's close-on-exec descriptors, so look only after that.
    std::string cmdline;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((cmdline = ReadFile(proc + "/cmdline")).empty() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(cmdline, program.string() + '\0' + "30" + '\0');
    EXPECT_TRUE(IsProcessRunning("DeviceDriverHostSim"));
    EXPECT_FALSE(IsProcessRunning("DeviceDriverHos"));
    EXPECT_EQ(StatField(child.pid, 6), std::to_string(child.pid)) << "leads its own session";
    EXPECT_EQ(fs::read_symlink(proc + "/cwd"), dir.Path());
    const std::string status = ReadFile(proc + "/status");
    EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
    // Only the classic signals: glibc keeps its two internal real-time signals to itself.
    const size_t ign = status.find("SigIgn:\t");
    ASSERT_NE(ign, std::string::npos);
    EXPECT_EQ(std::stoull(status.substr(ign + 8, 16), nullptr, 16) & 0x7FFFFFFFull, 0u) << status;
    for (int fd = 0; fd < 3; ++fd) {
        EXPECT_EQ(fs::read_symlink(proc + "/fd/" + std::to_string(fd)), "/dev/null");
    }
    size_t fds = 0;
    for (const auto& e : fs::directory_iterator(proc + "/fd")) {
        (void)e;
        ++fds;
    }
    EXPECT_EQ(fds, 3u) << "only the standard streams";

    // A program replaced on disk while it runs still counts ("(deleted)" in /proc).
    fs::remove(program);
    EXPECT_TRUE(IsProcessRunning("DeviceDriverHostSim"));

    ::kill(child.pid, SIGKILL);
    EXPECT_TRUE(WaitUntilReaped(child.pid, std::chrono::seconds(5))) << "no zombie left";
    EXPECT_FALSE(IsProcessRunning("DeviceDriverHostSim"));
    child.pid = -1;
}

TEST(Process, ShellExecuteRunsInTheGivenFolderWithSplitParameters) {
    TempDir dir;
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    // touch creates both relative names inside the working folder.
    EXPECT_GT(ShellExecuteOpen("/usr/bin/touch", " first   second ", dir.Path()), 32);
    for (int i = 0; i < 50 && !(fs::exists(dir / "first") && fs::exists(dir / "second")); ++i) {
        ASSERT_EQ(watcher->Wait(5000), FolderWatcher::WaitResult::Changed);
    }
    EXPECT_TRUE(fs::exists(dir / "first"));
    EXPECT_TRUE(fs::exists(dir / "second"));
}

TEST(Process, ShellExecuteErrorCodes) {
    TempDir dir;
    const fs::path script = dir / "notexec.sh";
    std::ofstream(script) << "#!/bin/sh\n";
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path noInterpreter = dir / "bad.bin";
    std::ofstream(noInterpreter) << "\x7f"
                                    "ELF garbage";
    fs::permissions(noInterpreter, fs::perms::owner_all);
    struct Case {
        fs::path file;
        fs::path dir;
        int expected;
    } cases[] = {
        {dir / "missing", dir.Path(), kShellFileNotFound},
        {"", dir.Path(), kShellFileNotFound},
        {"/bin/true", dir / "no-such-folder", kShellPathNotFound},
        {dir.Path(), dir.Path(), kShellAccessDenied},
        {noInterpreter, dir.Path(), kShellAccessDenied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string() + " in " + c.dir.string());
        EXPECT_EQ(ShellExecuteOpen(c.file, "x", c.dir), c.expected);
    }
    if (::geteuid() != 0) {
        EXPECT_EQ(ShellExecuteOpen(script, "", dir.Path()), kShellAccessDenied);
    }
    EXPECT_EQ(OpenDocument(dir / "missing.pdf", dir.Path()), kShellFileNotFound);
}

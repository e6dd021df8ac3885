// Spawned processes and the folder watcher.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "platform/FolderWatcher.h"
#include "platform/Process.h"
#include "support/TempDir.h"

using namespace zor::platform;
using zor::test::ReadFile;
using zor::test::WriteFile;
namespace fs = std::filesystem;
using Result = FolderWatcher::WaitResult;

TEST(Process, FindsRunningProgramsByTheirWholeName) {
    EXPECT_TRUE(IsProcessRunning("platform_tests"));
    EXPECT_FALSE(IsProcessRunning("platform_test"));
    EXPECT_FALSE(IsProcessRunning(""));
}

TEST(Process, DetachedChildInItsOwnSessionWithNothingInherited) {
    zor::test::TempDir dir;
    // A long name, beyond the 15 characters of /proc/<pid>/comm.
    const fs::path program = dir / "DeviceDriverHostSim";
    fs::copy_file("/bin/sleep", program);
    const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec on purpose
    ASSERT_GE(leaked, 3);
    // A blocked and an ignored signal here must be neither in the child.
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    ::pthread_sigmask(SIG_BLOCK, &block, &saved);
    const auto previous = ::signal(SIGUSR1, SIG_IGN);
    pid_t pid = -1;
    const int code = SpawnDetached(program, {"30"}, dir.Path(), &pid);
    ::signal(SIGUSR1, previous);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ::close(leaked);
    ASSERT_EQ(code, kShellSuccess);
    ASSERT_GT(pid, 0);
    const std::string proc = "/proc/" + std::to_string(pid);
    // Wait until it sleeps (five seconds as a safety net): as exec begins it may still hold the
    // parent's close-on-exec descriptors, and sleep opens locale files as it starts.
    for (int i = 0; i < 5000 && ReadFile(proc + "/stat").find(") S ") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ReadFile(proc + "/cmdline"), program.string() + '\0' + "30" + '\0');
    EXPECT_TRUE(IsProcessRunning("DeviceDriverHostSim"));
    EXPECT_FALSE(IsProcessRunning("DeviceDriverHos"));
    EXPECT_EQ(::getsid(pid), pid) << "leads its own session";
    EXPECT_EQ(fs::read_symlink(proc + "/cwd"), dir.Path());
    const std::string status = ReadFile(proc + "/status");
    EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
    // Only the classic signals: glibc keeps its two internal real-time signals to itself.
    const size_t ign = status.find("SigIgn:\t");
    ASSERT_NE(ign, std::string::npos);
    EXPECT_EQ(std::stoull(status.substr(ign + 8, 16), nullptr, 16) & 0x7FFFFFFFull, 0u) << status;
    for (int fd = 0; fd < 3; ++fd)
        EXPECT_EQ(fs::read_symlink(proc + "/fd/" + std::to_string(fd)), "/dev/null");
    EXPECT_EQ(std::distance(fs::directory_iterator(proc + "/fd"), {}), 3)
        << "only the standard streams";
    // A program replaced on disk while it runs still counts ("(deleted)" in /proc).
    fs::remove(program);
    EXPECT_TRUE(IsProcessRunning("DeviceDriverHostSim"));
    ::kill(pid, SIGKILL);
    // Init reaps it in its own time; ten seconds are a safety net.
    for (int i = 0; i < 1000 && fs::exists(proc); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(proc)) << "no zombie left";
    EXPECT_FALSE(IsProcessRunning("DeviceDriverHostSim"));
}

TEST(Process, ShellExecuteRunsInTheGivenFolderOrGivesAnErrorCode) {
    zor::test::TempDir dir;
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    // The parameters split at blanks and tabs; touch creates both names inside the working folder.
    EXPECT_GT(ShellExecuteOpen("/usr/bin/touch", " first \t second ", dir.Path()), 32);
    for (int i = 0; i < 50 && !(fs::exists(dir / "first") && fs::exists(dir / "second")); ++i)
        ASSERT_EQ(watcher->Wait(5000), Result::Changed);
    EXPECT_TRUE(fs::exists(dir / "first") && fs::exists(dir / "second"));
    const fs::path script = dir.Write("notexec.sh", "#!/bin/sh\n");
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path noInterpreter = dir.Write("bad.bin", "\177ELF garbage");
    fs::permissions(noInterpreter, fs::perms::owner_all);
    const std::tuple<fs::path, fs::path, int> cases[] = {
        {dir / "missing", dir.Path(), kShellFileNotFound},
        {"", dir.Path(), kShellFileNotFound},
        {"/bin/true", dir / "no-such-folder", kShellPathNotFound},
        {dir.Path(), dir.Path(), kShellAccessDenied},
        {noInterpreter, dir.Path(), kShellAccessDenied}};
    for (const auto& [file, folder, expected] : cases)
        EXPECT_EQ(ShellExecuteOpen(file, "x", folder), expected) << file << " in " << folder;
    if (::geteuid() != 0) {
        EXPECT_EQ(ShellExecuteOpen(script, "", dir.Path()), kShellAccessDenied);
    }
    EXPECT_EQ(OpenDocument(dir / "missing.pdf", dir.Path()), kShellFileNotFound);
}

TEST(FolderWatcher, ReportsEachKindOfChangeAsOneBurstUntilStopped) {
    zor::test::TempDir dir;
    WriteFile(dir / "existing", "x");
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->Wait(0), Result::TimedOut);
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"create", [&] { WriteFile(dir / "cur_pano.tif", "data"); }},
        {"append", [&] { std::ofstream(dir / "cur_pano.tif", std::ios::app) << "more"; }},
        {"rename", [&] { fs::rename(dir / "cur_pano.tif", dir / "pano.tif"); }},
        {"chmod", [&] { ::chmod((dir / "pano.tif").c_str(), 0600); }},
        {"delete", [&] { fs::remove(dir / "pano.tif"); }},
        {"mkdir", [&] { fs::create_directory(dir / "sub"); }}};
    for (const auto& [name, act] : actions) {
        SCOPED_TRACE(name);
        act();
        EXPECT_EQ(watcher->Wait(5000), Result::Changed);
        EXPECT_EQ(watcher->Wait(0), Result::TimedOut) << "the burst was drained";
    }
    // Changes inside a sub-folder are not the folder's own.
    WriteFile(dir / "sub" / "inner", "x");
    EXPECT_EQ(watcher->Wait(0), Result::TimedOut);
    // Stop wakes a waiter on another thread, before or during its wait (a hang fails by timeout).
    auto waiting = std::async(std::launch::async, [&] { return watcher->Wait(-1); });
    watcher->Stop();
    EXPECT_EQ(waiting.get(), Result::Stopped);
    WriteFile(dir / "late", "x");
    EXPECT_EQ(watcher->Wait(-1), Result::Stopped) << "stopped for good";
}

TEST(FolderWatcher, QueueOverflowCountsAsAChange) {
    zor::test::TempDir dir;
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    int limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit > 100000)
        GTEST_SKIP() << "inotify queue too large to overflow quickly";
    for (int i = 0; i <= limit / 2 + 1; ++i)  // a create and a close_write event each
        ::close(::open(dir.File("f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(watcher->Wait(5000), Result::Changed);
    EXPECT_EQ(watcher->Wait(0), Result::TimedOut);
    WriteFile(dir / "after", "x");
    EXPECT_EQ(watcher->Wait(5000), Result::Changed) << "still watching after an overflow";
}

TEST(FolderWatcher, RefusesWhatIsNoFolderAndReportsItsDeletionAsAnError) {
    zor::test::TempDir dir;
    EXPECT_FALSE(FolderWatcher::Create(dir / "missing"));
    EXPECT_FALSE(FolderWatcher::Create(dir.Write("file", "x")));
    fs::create_directory(dir / "work");
    auto watcher = FolderWatcher::Create(dir / "work");
    ASSERT_TRUE(watcher);
    fs::remove(dir / "work");
    Result r = watcher->Wait(5000);
    if (r == Result::Changed)
        r = watcher->Wait(5000);
    EXPECT_EQ(r, Result::Error);
    EXPECT_EQ(watcher->Wait(0), Result::Error);
}

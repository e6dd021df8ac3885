#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>

#include "PlatformTestSupport.h"
#include "platform/FolderWatcher.h"

using namespace zor::platform;
using zor::platform::test::TempDir;
using zor::platform::test::WriteFile;
namespace fs = std::filesystem;
using Result = FolderWatcher::WaitResult;

TEST(FolderWatcher, RefusesWhatIsNoFolder) {
    TempDir dir;
    EXPECT_FALSE(FolderWatcher::Create(dir / "missing"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(FolderWatcher::Create(dir / "file"));
}

TEST(FolderWatcher, ReportsEachKindOfChangeAsOneBurst) {
    TempDir dir;
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
        {"mkdir", [&] { fs::create_directory(dir / "sub"); }},
    };
    for (const auto& [name, act] : actions) {
        SCOPED_TRACE(name);
        act();
        EXPECT_EQ(watcher->Wait(5000), Result::Changed);
        EXPECT_EQ(watcher->Wait(0), Result::TimedOut) << "the burst was drained";
    }
    // Changes inside a sub-folder are not the folder's own.
    WriteFile(dir / "sub" / "inner", "x");
    EXPECT_EQ(watcher->Wait(0), Result::TimedOut);
}

TEST(FolderWatcher, StopWakesAWaiterOnAnotherThread) {
    TempDir dir;
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    auto waiting = std::async(std::launch::async, [&] { return watcher->Wait(-1); });
    watcher->Stop();  // before or during the wait: either way it ends (a hang fails by timeout)
    EXPECT_EQ(waiting.get(), Result::Stopped);
    WriteFile(dir / "late", "x");
    EXPECT_EQ(watcher->Wait(-1), Result::Stopped) << "stopped for good";
}

TEST(FolderWatcher, QueueOverflowCountsAsAChange) {
    TempDir dir;
    auto watcher = FolderWatcher::Create(dir.Path());
    ASSERT_TRUE(watcher);
    int limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit > 100000)
        GTEST_SKIP() << "inotify queue too large to overflow quickly";
    for (int i = 0; i <= limit / 2 + 1; ++i) {
        const fs::path f = dir / ("f" + std::to_string(i));
        ::close(::open(f.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));  // create + close_write
    }
    EXPECT_EQ(watcher->Wait(5000), Result::Changed);
    EXPECT_EQ(watcher->Wait(0), Result::TimedOut);
    WriteFile(dir / "after", "x");
    EXPECT_EQ(watcher->Wait(5000), Result::Changed) << "still watching after an overflow";
}

TEST(FolderWatcher, DeletedFolderIsAnError) {
    TempDir dir;
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

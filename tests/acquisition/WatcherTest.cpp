#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "acquisition/AcquisitionRecord.h"
#include "acquisition/WorkFolderWatcher.h"
#include "support/TempDir.h"
#include "zor_r3d/ProjectionIo.h"

using zor::acquisition::AcquisitionRecord;
using zor::acquisition::WorkFolderWatcher;
using namespace std::chrono_literals;
using Posts = std::vector<bool>;

namespace {

// Polls `condition` until it holds or a hang guard far beyond any settle passes.
bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    return condition();
}

class WatcherTest : public ::testing::Test {
protected:
    WorkFolderWatcher::Post Recorder() {
        return [this](bool present) {
            std::lock_guard lock(m_Mutex);
            m_Posts.push_back(present);
        };
    }
    Posts Recorded() {
        std::lock_guard lock(m_Mutex);
        return m_Posts;
    }
    Posts WaitForPosts(std::size_t count) {
        WaitUntil([&] { return Recorded().size() >= count; });
        return Recorded();
    }

    zor::test::TempDir m_Dir{"zor-watcher"};
    const std::filesystem::path m_Pano = m_Dir / "cur_pano.tif";
    std::mutex m_Mutex;
    Posts m_Posts;
};

TEST_F(WatcherTest, PostsOncePerChangeOfThePanoramicOnly) {
    WorkFolderWatcher watcher(m_Dir.Path(), Recorder(), 200ms);
    ASSERT_TRUE(watcher.Start());
    m_Dir.Write("other.txt", "x");
    ASSERT_TRUE(WaitUntil([&] { return watcher.Counts().Checks > 0; }));
    EXPECT_EQ(Recorded(), Posts{});

    for (int i = 0; i < 5; ++i)  // all within one settle
        zor::test::WriteFile(m_Pano, "part " + std::to_string(i));
    EXPECT_EQ(WaitForPosts(1), Posts{true});
    // One more round: the notifications still queued from the burst must not post again.
    const std::uint64_t checks = watcher.Counts().Checks;
    m_Dir.Write("other.txt", "y");
    ASSERT_TRUE(WaitUntil([&] { return watcher.Counts().Checks > checks; }));
    EXPECT_EQ(Recorded(), Posts{true});

    zor::test::WriteFile(m_Pano, "rewritten");
    EXPECT_EQ(WaitForPosts(2), (Posts{true, true}));
    std::filesystem::remove(m_Pano);
    EXPECT_EQ(WaitForPosts(3), (Posts{true, true, false}));
}

TEST_F(WatcherTest, StopEndsTheThreadWhileSettling) {
    WorkFolderWatcher watcher(m_Dir.Path(), Recorder(), std::chrono::hours(1));
    ASSERT_TRUE(watcher.Start());
    zor::test::WriteFile(m_Pano, "pano");
    ASSERT_TRUE(WaitUntil([&] { return watcher.Counts().Wakeups > 0; }));
    watcher.Stop();  // inside the hour-long settle: a stop that waited for it would hang here
    EXPECT_EQ(std::tuple(watcher.Running(), watcher.Counts().Checks),
              std::tuple(false, std::uint64_t{0}));
}

TEST_F(WatcherTest, StartsAndRestartsKeepOneWorkingThread) {
    WorkFolderWatcher watcher(m_Dir.Path(), Recorder(), 50ms);
    watcher.Stop();                  // never started: nothing to do
    for (int i = 0; i < 200; ++i) {  // each stop while the thread waits or before
        ASSERT_TRUE(watcher.Start());
        watcher.Stop();
        ASSERT_FALSE(watcher.Running());
    }
    ASSERT_TRUE(watcher.Start());
    ASSERT_TRUE(watcher.Start());  // restart while running
    zor::test::WriteFile(m_Pano, "pano");
    EXPECT_EQ(WaitForPosts(1), Posts{true});
    // A restart starts from the panoramic as it is: only its removal posts.
    ASSERT_TRUE(watcher.Start());
    std::filesystem::remove(m_Pano);
    EXPECT_EQ(WaitForPosts(2), (Posts{true, false}));
}  // the destructor stops the running thread

TEST_F(WatcherTest, LostOrMissingFolderIsWatchedAgainOnceItExists) {
    const std::filesystem::path work = m_Dir / "work";
    zor::test::WriteFile(work / "cur_pano.tif", "pano");
    WorkFolderWatcher watcher(work, Recorder(), 50ms);
    ASSERT_TRUE(watcher.Start());
    std::filesystem::remove_all(work);
    EXPECT_EQ(WaitForPosts(1), Posts{false});
    zor::test::WriteFile(work / "cur_pano.tif", "new pano");
    EXPECT_EQ(WaitForPosts(2), (Posts{false, true}));

    watcher.Stop();
    std::filesystem::remove_all(work);
    EXPECT_FALSE(watcher.Start());
    EXPECT_TRUE(watcher.Running());  // retrying in the background
    zor::test::WriteFile(work / "cur_pano.tif", "third pano");
    EXPECT_EQ(WaitForPosts(3), (Posts{false, true, true}));
}

// A parameter line as sent to the driver (sub-image keys cut after the first).
std::string ParamLine(const std::string& collimator = " #COLLIM_POS_INF 1975 #COLLIM_POS_SUP -3950",
                      const std::string& removed = "") {
    std::string line =
        "#CALLER 2 #DIR /opt/zor/work/ #FILE /opt/zor/work/ConeBeam.csv #KV 70 #MA 8 "
        "#PRJGRPIDX 4 #PRJTYPEIDX 0 #PATORIENT 3 #YCANMOVE 1 #INITXPOS -12345 #INITYPOS 6789 "
        "#INITRPOS -1500 #COLSNUM 6160 #SUBIMGNUM 11 #Y_CORRECTION -4 #EXPOSURE_TIME 12000" +
        collimator + " #SUBIMG_1_COLSNUM 560 #SUBIMG_1_HORZMAGNIFACTOR 1436031";
    return removed.empty() ? line : line.erase(line.find(removed), removed.size());
}

// "ParamSent.txt" unless `line` is empty; projection `name` (if any), no TIFF if no `description`.
void WriteWork(const zor::test::TempDir& dir, const std::string& line, const char* name,
               const char* description) {
    if (!line.empty())
        dir.Write("ParamSent.txt", line);
    if (name != nullptr && description == nullptr) {
        dir.Write(name, "not a TIFF");
    } else if (name != nullptr) {
        ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(dir.File(name), 2, 1, {100, 200}, description));
    }
}

constexpr const char* kFirst = "3DTS_image_projection_1.tif";
constexpr const char* kDescription = "orvix=200,type=PROJ,tech_fact_s=12.5,DAP=31.25";

TEST(AcquisitionRecordTest, ReadsTheSentLineAndTheFirstProjection) {
    using Read = std::tuple<bool, int, int, int, float>;  // movable, lower, upper, ms, DAP
    const std::tuple<std::string, const char*, Read> cases[] = {
        {ParamLine() + "\r\n", kDescription, {true, 1975, -3950, 12500, 31.25f}},
        {ParamLine(""), kDescription, {false, 0, 0, 12500, 31.25f}},
        {ParamLine(" #COLLIM_POS_SUP -3950"), kDescription, {true, 0, -3950, 12500, 31.25f}},
        {ParamLine(), "orvix=200", {true, 1975, -3950, 12000, 0.0f}},  // the sent time stays
        {ParamLine(), "tech_fact_s", {true, 1975, -3950, 12000, 0.0f}},
    };
    for (const auto& [line, description, expected] : cases) {
        SCOPED_TRACE(line + " / " + description);
        zor::test::TempDir dir;
        WriteWork(dir, line, kFirst, description);
        // The first by name, whatever the folder order: "_1" before "_10" and "_2".
        WriteWork(dir, "", "3DTS_image_projection_2.tif", "tech_fact_s=1,DAP=2");
        WriteWork(dir, "", "3DTS_image_projection_10.tif", "tech_fact_s=3,DAP=4");
        AcquisitionRecord r;
        r.Dap = 9.0f, r.CollimatorLower = 9;
        ASSERT_TRUE(zor::acquisition::ReadAcquisitionRecord(dir.Path(), r));
        EXPECT_EQ(std::make_tuple(r.Kv, r.Ma, r.YValue), std::make_tuple(70, 8, -4.0));
        EXPECT_EQ(
            Read(r.YAxisMovable, r.CollimatorLower, r.CollimatorUpper, r.ExposureTimeMs, r.Dap),
            expected);
    }
}

TEST(AcquisitionRecordTest, FailsWithTheRecordUntouched) {
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"", kFirst, kDescription},  // no "ParamSent.txt"
        {ParamLine("", " #KV 70"), kFirst, kDescription},
        {ParamLine("", " #EXPOSURE_TIME 12000"), kFirst, kDescription},
        {"#CALLER 2\n" + ParamLine(), kFirst, kDescription},
        {ParamLine(), nullptr, nullptr},
        {ParamLine(), "3DTS_image_projection_1.tiff", kDescription},
        {ParamLine(), kFirst, ""},
        {ParamLine(), kFirst, nullptr},
    };
    for (const auto& [line, name, description] : cases) {
        SCOPED_TRACE(line + " / " + (name ? name : "-") + " / " +
                     (description ? description : "-"));
        zor::test::TempDir dir;
        WriteWork(dir, line, name, description);
        AcquisitionRecord r;
        r.Kv = 90, r.ExposureTimeMs = 7;
        EXPECT_FALSE(zor::acquisition::ReadAcquisitionRecord(dir.Path(), r));
        EXPECT_EQ(std::make_tuple(r.Kv, r.ExposureTimeMs), std::make_tuple(90, 7));
    }
}

}  // namespace

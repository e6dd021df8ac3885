#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "acquisition/ExamArchive.h"
#include "support/TempDir.h"

namespace zor::acquisition {
namespace {

namespace fs = std::filesystem;
using zor::test::ReadFile;
using Names = std::vector<std::string>;

constexpr time_t kSentTime = 1700000000;  // the previous hand-off
constexpr time_t kTrajectoryTime = kSentTime + 3600;

/// Bytes differing by file and offset, so that a mix-up or a short copy shows.
std::string ContentOf(const std::string& name) {
    static const std::map<std::string, std::size_t> kSizes = {
        {"cur_pano.tif", 512 << 10}, {"Volume.vol", 1 << 20}, {"ConeBeam.tra", 64 << 10}};
    std::string bytes(kSizes.contains(name) ? kSizes.at(name) : 48 << 10, '\0');
    std::mt19937 random(static_cast<uint32_t>(std::hash<std::string>{}(name)));
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

/// A finished examination of twenty files; the hand-off's five (kKept) stay.
const Names kKept = {"ConeBeam.csv", "ConeBeam.tra", "Param.txt", "Test.txt", "cur_pano.tif"};
const Names kMoved = [] {
    Names names = {"ConeBeamSent.tra", "ConeBeamSent.csv", "ParamSent.txt", "Volume.vol"};
    for (int i = 1; i <= 11; ++i)
        names.push_back(ProjectionFileName(i));
    return names;
}();

/// Whether `file` holds the bytes of `name` (compared quietly: a mismatch prints no megabytes).
bool Holds(const fs::path& file, const std::string& name) {
    return ReadFile(file) == ContentOf(name);
}

Names List(const fs::path& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExamArchiveTest : public ::testing::Test {
protected:
    void Put(const std::string& name, const std::string& bytes) const {
        zor::test::WriteFile(m_Work / name, bytes);
    }
    void PutExamination() const {
        for (const Names& group : {kKept, kMoved})
            for (const std::string& name : group)
                Put(name, ContentOf(name));
        const auto at = [](time_t t) {
            return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t));
        };
        fs::last_write_time(m_Work / "ConeBeamSent.tra", at(kSentTime));
        fs::last_write_time(m_Work / "ConeBeam.tra", at(kTrajectoryTime));
    }
    fs::path Archive() const { return ArchiveFolderFor(m_Work, kSentTime); }

    zor::test::TempDir m_Root{"zor-archive"};
    fs::path m_Work = m_Root / "work";
};

TEST_F(ExamArchiveTest, FirstAcquisitionMakesCopiesFromEachPanoramicSource) {
    Put("ConeBeam.tra", "trajectory");
    Put("Param.txt", "#KV 60");
    const std::pair<PanoramicSource, std::string> sources[] = {
        {PanoramicSource::Template, "pano_template.tif"},
        {PanoramicSource::Acquired, "cur_pano.tif"},
        {PanoramicSource::Caller, "pano_archive.tif"}};
    for (const auto& [source, file] : sources) {
        Put(file, file);
        const ArchiveOutcome o = ArchiveExam(m_Root.Slash() + "work/", source);
        EXPECT_EQ(std::tuple(o.Result, o.ArchiveFolder.empty(), ReadFile(m_Work / "pano.tif")),
                  std::tuple(ArchiveResult::Done, true, file));
    }
    EXPECT_EQ(List(m_Root.Path()), Names{"work"});
    EXPECT_EQ(ReadFile(m_Work / "ConeBeamSent.tra"), "trajectory");
    EXPECT_EQ(ReadFile(m_Work / "ParamSent.txt"), "#KV 60");
}

TEST_F(ExamArchiveTest, MovesPreviousExaminationExceptKeptFilesAndFolders) {
    PutExamination();
    Put("PARAM.TXT", "upper case");
    Put("notes.txt", "notes");
    Put("sub/inner.txt", "inner");
    Put("pano.tif", "p");
    EXPECT_TRUE(ReadWorkFileFlags(m_Work).LastAcquisitionComplete);

    const ArchiveOutcome outcome = ArchiveExam(m_Work, PanoramicSource::Acquired);
    ASSERT_EQ(std::tuple(outcome.Result, outcome.ArchiveFolder, outcome.Moved),
              std::tuple(ArchiveResult::Done, Archive(), 17));
    for (const std::string& name : kMoved)
        EXPECT_TRUE(Holds(Archive() / name, name)) << name;
    EXPECT_EQ(ReadFile(m_Work / "PARAM.TXT"), "upper case");
    EXPECT_EQ(ReadFile(m_Work / "sub/inner.txt"), "inner");
    EXPECT_TRUE(Holds(m_Work / "ConeBeamSent.csv", "ConeBeam.csv"));
    EXPECT_EQ(fs::last_write_time(m_Work / "ConeBeamSent.tra"),
              fs::last_write_time(m_Work / "ConeBeam.tra"))
        << "a copy keeps the time that names the next archive";

    const WorkFileFlags after = ReadWorkFileFlags(m_Work);
    EXPECT_TRUE(after.PanoramicAvailable && !after.VolumeAvailable);
    EXPECT_FALSE(after.LastAcquisitionComplete);
}

TEST_F(ExamArchiveTest, SentTrajectoryWithoutProjectionsIsOverwrittenNotArchived) {
    Put("ConeBeam.tra", "new");
    Put("ConeBeamSent.tra", "old");
    Put("Volume.vol", "volume");
    Put("cur_pano.tif", "pano");
    EXPECT_TRUE(ArchiveExam(m_Work, PanoramicSource::Acquired).ArchiveFolder.empty());
    EXPECT_EQ(ReadFile(m_Work / "ConeBeamSent.tra"), "new");
    EXPECT_FALSE(fs::exists(m_Work / "Volume.vol"));
    EXPECT_EQ(List(m_Root.Path()), Names{"work"});
}

TEST_F(ExamArchiveTest, SameSecondGoesIntoExistingFolderWithoutReplacing) {
    PutExamination();
    zor::test::WriteFile(Archive() / "Volume.vol", "earlier volume");
    EXPECT_EQ(ArchiveExam(m_Work, PanoramicSource::Acquired).Moved, 14);
    EXPECT_EQ(ReadFile(Archive() / "Volume.vol"), "earlier volume");
    EXPECT_TRUE(Holds(Archive() / "ConeBeamSent.tra", "ConeBeamSent.tra"));
}

TEST_F(ExamArchiveTest, InterruptedArchiveIsCompletedAndTemporariesDropped) {
    PutExamination();
    fs::create_directory(Archive());
    for (int i = 1; i <= 11; ++i)
        fs::rename(m_Work / ProjectionFileName(i), Archive() / ProjectionFileName(i));
    Put(".zor-copy.pano.tif", "half");
    EXPECT_EQ(ArchiveExam(m_Work, PanoramicSource::Acquired).ArchiveFolder, Archive());
    EXPECT_TRUE(Holds(Archive() / "ConeBeamSent.tra", "ConeBeamSent.tra"));
    EXPECT_EQ(List(Archive()).size(), kMoved.size());
    EXPECT_FALSE(fs::exists(m_Work / ".zor-copy.pano.tif"));
}

TEST_F(ExamArchiveTest, LastAcquisitionCompleteNeedsEveryProjection) {
    PutExamination();
    Put("pano.tif", "p");
    for (const std::string& name : Names{"pano.tif", ProjectionFileName(11), "ConeBeamSent.tra"}) {
        fs::rename(m_Work / name, m_Work / "aside");
        EXPECT_FALSE(ReadWorkFileFlags(m_Work).LastAcquisitionComplete) << name;
        fs::rename(m_Work / "aside", m_Work / name);
    }
}

TEST_F(ExamArchiveTest, FailedCopiesLeaveNoPartialFileAndLoseNothing) {
    // A file size limit fails the copies as a full disk does, also for root.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    for (const bool largeTrajectory : {true, false}) {
        fs::remove_all(m_Work), fs::remove_all(Archive()), PutExamination();
        Put(largeTrajectory ? "ConeBeam.tra" : "cur_pano.tif", std::string(256 << 10, 'x'));
        const rlimit limit{200 << 10, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const ArchiveOutcome outcome = ArchiveExam(m_Work, PanoramicSource::Acquired);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(outcome.Result, largeTrajectory ? ArchiveResult::SentTrajectoryCopyFailed
                                                  : ArchiveResult::PanoramicCopyFailed);
        EXPECT_NE(outcome.Reason.find("File too large"), std::string::npos) << outcome.Reason;
        EXPECT_EQ(List(m_Work).size(), largeTrajectory ? 5u : 9u) << "no temporary file left";
        EXPECT_TRUE(Holds(Archive() / "Volume.vol", "Volume.vol"));
    }
    ::signal(SIGXFSZ, previous);

    fs::remove(m_Work / "ConeBeam.tra");
    ASSERT_EQ(::mkfifo((m_Work / "ConeBeam.tra").c_str(), 0600), 0);
    const ArchiveOutcome outcome = ArchiveExam(m_Work, PanoramicSource::Acquired);
    EXPECT_EQ(outcome.Result, ArchiveResult::SentTrajectoryCopyFailed);
    EXPECT_NE(outcome.Reason.find("FIFO"), std::string::npos) << outcome.Reason;
}

/// Starts the archiving program on `work` and waits for its first byte, sent as it begins.
pid_t StartArchiver(const fs::path& work, int& output) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addclose(&actions, ends[0]);
    std::string program = ZOR_ARCHIVE_CRASH_CHILD, folder = work.string();
    char* argv[] = {program.data(), folder.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    char ready = 0;
    EXPECT_EQ(::read(ends[0], &ready, 1), 1);
    output = ends[0];
    return pid;
}

/// Kills see the page cache; in /dev/shm flushes do not wait for a disk, so 200 runs stay short.
class ExamArchiveKillTest : public ExamArchiveTest {
protected:
    static void SetUpTestSuite() {
        const char* tmp = std::getenv("TMPDIR");
        s_SavedTmp = tmp ? tmp : "";
        if (::access("/dev/shm", W_OK) == 0)
            ::setenv("TMPDIR", "/dev/shm", 1);
    }
    static void TearDownTestSuite() {
        s_SavedTmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", s_SavedTmp.c_str(), 1);
    }
    static inline std::string s_SavedTmp;

    /// After a kill: each file whole in one of the folders; only a sent copy or "pano.tif"
    /// may be new, and then complete.
    std::string ProblemAfterKill() const {
        const std::map<std::string, std::string> copies = {{"ConeBeamSent.tra", "ConeBeam.tra"},
                                                           {"ConeBeamSent.csv", "ConeBeam.csv"},
                                                           {"ParamSent.txt", "Param.txt"}};
        for (const Names& group : {kKept, kMoved}) {
            for (const std::string& name : group) {
                const bool archived = fs::exists(Archive() / name);
                if (!Holds((archived ? Archive() : m_Work) / name, name))
                    return name + " lost or torn";
                if (archived && fs::exists(m_Work / name) &&
                    (!copies.contains(name) || !Holds(m_Work / name, copies.at(name))))
                    return name + " in both folders or copied in part";
            }
        }
        if (fs::exists(m_Work / "pano.tif") && !Holds(m_Work / "pano.tif", "cur_pano.tif"))
            return "pano.tif copied in part";
        return {};
    }
};

TEST_F(ExamArchiveKillTest, KilledAtAnyMomentLosesNothing) {
    // The archive's duration, as the program measures it, spreads the kills over it.
    PutExamination();
    int output = -1;
    const pid_t calibration = StartArchiver(m_Work, output);
    char text[32] = {};
    ASSERT_GT(::read(output, text, sizeof text - 1), 0);
    ::close(output), ::waitpid(calibration, nullptr, 0);
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delay(0, std::atol(text) * 3 / 2);
    const Names finalWork = {
        "ConeBeam.csv",  "ConeBeam.tra", "ConeBeamSent.csv", "ConeBeamSent.tra", "Param.txt",
        "ParamSent.txt", "Test.txt",     "TestSent.txt",     "cur_pano.tif",     "pano.tif"};

    for (int run = 0; run < 200; ++run) {
        fs::remove_all(m_Work), fs::remove_all(Archive()), PutExamination();
        const pid_t pid = StartArchiver(m_Work, output);
        const long waited = delay(random);
        std::this_thread::sleep_for(std::chrono::microseconds(waited));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0), ::close(output);
        const std::string when = "killed after " + std::to_string(waited) + " us";
        ASSERT_EQ(ProblemAfterKill(), "") << when;

        ASSERT_EQ(ArchiveExam(m_Work, PanoramicSource::Acquired).Result, ArchiveResult::Done);
        for (const std::string& name : kMoved)
            ASSERT_TRUE(Holds(Archive() / name, name)) << name << ", " << when;
        ASSERT_EQ(List(m_Work), finalWork) << when;
        ASSERT_TRUE(Holds(m_Work / "ConeBeamSent.tra", "ConeBeam.tra")) << when;
    }
}

}  // namespace
}  // namespace zor::acquisition

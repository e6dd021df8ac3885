// The driver simulator's engine against the system's parameter files, readers and reconstruction.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "acquisition/DriverAnswerFile.h"
#include "acquisition/IWorkflow.h"
#include "driver_sim/DriverSim.h"
#include "images/ImageFileCheck.h"
#include "phantom/DemoData.h"
#include "phantom/Quality.h"
#include "platform/Parser.h"
#include "support/TempDir.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

using namespace zor::driver_sim;

namespace {

// The parameter line the way the system's writer composes it.
std::string ParameterLine(const std::string& dir, bool collimator, int cols = 560) {
    std::string line = "#CALLER 2 #DIR " + dir + " #FILE " + dir +
                       "ConeBeam.csv #KV 70 #MA 8 #PRJGRPIDX 4 #PRJTYPEIDX 0 #PATORIENT 3 "
                       "#YCANMOVE 1 #INITXPOS -12345 #INITYPOS 6789 #INITRPOS -1500 #COLSNUM " +
                       std::to_string(11 * cols) +
                       " #SUBIMGNUM 11 #Y_CORRECTION -4 #EXPOSURE_TIME 12000";
    if (collimator)
        line += " #COLLIM_POS_INF 1975 #COLLIM_POS_SUP -3950";
    for (int i = 1; i <= 11; ++i) {
        const std::string k = " #SUBIMG_" + std::to_string(i) + "_";
        line += k + "COLSNUM " + std::to_string(cols) + k + "HORZMAGNIFACTOR 1436031" + k +
                "VERTMAGNIFACTOR 1436031" + k + "MARGINLEFT 0" + k + "MARGINRIGHT 0" + k +
                "MARGINTOP 0" + k + "MARGINBOTTOM 0";
    }
    return line;
}

std::string Replaced(std::string line, const std::string& from, const std::string& to = "") {
    const std::size_t at = line.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

// The system's workflow seen from the answer file reader: keeps the pairs handed over.
class AnswerRecorder : public zor::acquisition::IWorkflow {
public:
    std::map<std::string, std::string> Pairs;

    bool ProcessDriverAnswer(const zor::platform::CParser& answer) override {
        for (const auto& [key, value] : answer.Pairs())
            Pairs[key] = value;
        return true;
    }
    int32_t WorkflowPhase() const override { return 3; }
    bool EnterWorkflowStep(int, bool, bool) override { return true; }
    void StartTomosynthesis() override {}
    void LoadLastPanoramic() override {}
    void LoadLastTomosynthesis() override {}
    void LoadPhantomPanoramic() override {}
    void BackOrExit() override {}
    void OnNewPanoramic(bool) override {}
    void OnReconstructionEnded(bool) override {}
    void OnTimer(zor::TimerId) override {}
    zor::acquisition::CallerState& Caller() override { return m_Caller; }
    void OpenCallerPanoramic() override {}
    void ShowWorkflowError(const std::string&, const std::string&, bool) override {}

private:
    zor::acquisition::CallerState m_Caller;
};

// The demo acquisition of the quality test: the volume of interest at the middle of the arch.
void DemoTrajectory(zor::phantom::PhantomKind kind, const std::string& dir) {
    constexpr double kMag = 1.436031331592689;
    constexpr int kDemoColumn = 1304;
    const zor::phantom::DentalPhantom phantom(kind);
    const auto lut = zor::phantom::MakeLut(phantom, "");
    const auto& e = lut.Entries[kDemoColumn + zor::phantom::PanoramicLayout::kMarginLeft];
    const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    int xs = 0, ys = 0, rs = 0, cols = 0, ok = 1;
    ASSERT_EQ(CreateTrajectory(0, e.X, e.Y, -M_PI - e.Angle, 35.0, 20.0, 11, order,
                               std::wstring(dir.begin(), dir.end()), 2.4, kMag, kMag, &xs, &ys, &rs,
                               &cols, &ok),
              0);
}

}  // namespace

TEST(DriverParameterFile, DamagedFilesAreRefusedWithAReason) {
    const std::string good = ParameterLine("/opt/zor/work/", true);
    const struct Case {
        const char* name;
        std::string text;    // the file's text, or for the files below its path
        const char* reason;  // part of the message
    } cases[] = {
        {"empty", "", "empty"},
        {"missing key", Replaced(good, " #KV 70"), "missing key #KV"},
        {"number with a plus", Replaced(good, "#MA 8", "#MA +8"), "#MA is not an integer"},
        {"beyond 32 bits", Replaced(good, "#INITXPOS -12345", "#INITXPOS 99999999999"),
         "#INITXPOS"},
        {"sub-image 0", Replaced(good, "#SUBIMG_1_", "#SUBIMG_0_"), "#SUBIMG_1_COLSNUM"},
        {"columns not 11 x", Replaced(good, "#COLSNUM 6160", "#COLSNUM 6161"), "not 11 x"},
        {"wrong caller", Replaced(good, "#CALLER 2", "#CALLER 3"), "#CALLER"},
        {"one collimator key", Replaced(good, " #COLLIM_POS_SUP -3950"), "only one of"},
        {"collimator too low", Replaced(good, "#COLLIM_POS_INF 1975", "#COLLIM_POS_INF 5601"),
         "#COLLIM_POS_INF"},
        {"key twice", good + " #KV 80", "#KV given twice"},
        {"unknown key", good + " #SPEED 3", "unknown key #SPEED"},
        {"key without value", Replaced(good, "#KV 70", "#KV"), "#KV has no value"},
        {"words before the keys", "hello " + good, "before the first key"},
        {"double space", Replaced(good, " #MA", "  #MA"), "empty token"},
        {"two lines", good + "\n" + good, "more than one line"},
        {"NUL byte", Replaced(good, "#KV 70", std::string("#KV 7\0", 6)), "NUL"},
        {"not UTF-8", Replaced(good, "/opt/zor/", "/opt/z\xf6r/"), "not UTF-8"},
        {"overlong UTF-8", Replaced(good, "/opt/zor/", "/opt/\xc0\xafzor/"), "not UTF-8"},
    };
    auto refused = [](const ParameterCheck& check, const Case& c) {
        EXPECT_FALSE(check.ok) << c.name;
        EXPECT_EQ(check.errorCode, kErrParameterFile) << c.name;
        EXPECT_NE(check.message.find(c.reason), std::string::npos)
            << c.name << ": " << check.message;
    };
    for (const auto& c : cases)
        refused(ParseParameterText(c.text), c);

    // What only the file reader meets: size, kind and absence of the file.
    const zor::test::TempDir dir;
    const auto junk = dir.Write("junk.txt", std::string(1 << 20, 'A'));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const Case files[] = {
        {"1 MB of junk", junk.string(), "larger than"},
        {"FIFO", dir.File("fifo"), "not a regular file"},
        {"missing", dir.File("none.txt"), "missing"},
    };
    for (const auto& f : files)
        refused(ReadParameterFile(f.text), f);  // the FIFO must not block
}

TEST(DriverParameterFile, SystemLineIsReadBackTyped) {
    const zor::test::TempDir dir;
    const std::string work = "/home/op/zor install/work/";  // spaces stay in the path values
    for (bool collimator : {true, false}) {
        const auto path = dir.Write("Param.txt", ParameterLine(work, collimator, 123));
        const ParameterCheck check = ReadParameterFile(path.string());
        ASSERT_TRUE(check.ok) << check.message;
        const ParameterSet& p = check.params;
        EXPECT_EQ(p.Dir, work);
        EXPECT_EQ(p.File, work + "ConeBeam.csv");
        EXPECT_EQ(std::vector<int>({p.Kv, p.Ma, p.PatientOrientation, p.YCanMove, p.InitX, p.InitY,
                                    p.InitR, p.Cols, p.YCorrection, p.ExposureTimeMs,
                                    p.HasCollimator, p.CollimatorLower, p.CollimatorUpper}),
                  std::vector<int>({70, 8, 3, 1, -12345, 6789, -1500, 11 * 123, -4, 12000,
                                    collimator, collimator ? 1975 : 0, collimator ? -3950 : 0}));
        for (const SubImage& s : p.SubImages)
            EXPECT_EQ(std::vector<int>({s.Cols, s.HorzMagnification, s.VertMagnification}),
                      std::vector<int>({123, 1436031, 1436031}));
    }
    // A line end added by an editor is forgiven.
    EXPECT_TRUE(ParseParameterText(ParameterLine(work, true) + "\r\n").ok);
}

TEST(DriverAnswerFile, EveryCodeRoundTripsThroughTheSystemReader) {
    const zor::test::TempDir dir;
    const struct {
        Answer answer;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {{kDriverCaller, kCodeArchive, "projections acquired", "", ""},
         {{"#CALLER", "3"}, {"#ERR", "-51"}, {"#MSG", "projections acquired"}}},
        {{kDriverCaller, kCodeProjectionsReady, "", "/home/op/zor install/work/",
          "3DTS_image_projection_*.tif"},
         {{"#CALLER", "3"},
          {"#ERR", "-54"},
          {"#DIR", "/home/op/zor install/work/"},
          {"#FILE", "3DTS_image_projection_*.tif"}}},
        // Line breaks would end the line the reader takes; a '#' word would open a key.
        {{kDriverCaller, kErrTrajectory, "trajectory\r\nunreadable  #7", "/ignored/", "x"},
         {{"#CALLER", "3"}, {"#ERR", "2"}, {"#MSG", "trajectory unreadable _7"}}},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("answer.txt");
        std::string error;
        ASSERT_TRUE(WriteAnswerFile(path, c.answer, &error)) << error;
        AnswerRecorder workflow;
        EXPECT_TRUE(zor::acquisition::ProcessDriverResponseFile(path, workflow));
        EXPECT_EQ(workflow.Pairs, c.expected) << FormatAnswer(c.answer);
    }
    EXPECT_EQ(dir.Count(), 1) << "no temporary file is left beside the answer";
}

TEST(DriverPanoramic, WrittenAtomicallyAndAcceptedByThePanoramicCheck) {
    const zor::test::TempDir dir;
    std::string error;
    ASSERT_TRUE(WriteCurrentPanoramic(dir.Slash(), zor::phantom::PhantomKind::Child, &error))
        << error;
    EXPECT_EQ(dir.Count(), 1) << "only cur_pano.tif, no temporary file";
    std::string reason;
    EXPECT_TRUE(zor::images::CheckTiffForLoad(dir.File("cur_pano.tif"), reason)) << reason;
    zor::images::TiffDescriptionTags tags;
    ASSERT_TRUE(zor::images::ReadTiffDescriptionTags(dir.File("cur_pano.tif"), tags));
    EXPECT_NE(tags.m_Description.find("type=PAN,"), std::string::npos) << tags.m_Description;

    EXPECT_FALSE(
        WriteCurrentPanoramic(dir.Slash() + "missing/", zor::phantom::PhantomKind::Child, &error));
    EXPECT_FALSE(error.empty());
}

TEST(DriverProjections, AcquiredAlongTheTrajectoryReconstructThePhantom) {
    const zor::test::TempDir dir;
    const std::string work = dir.Slash();
    DemoTrajectory(zor::phantom::PhantomKind::Adult, work);
    const ParameterCheck check = ParseParameterText(ParameterLine(work, false));
    ASSERT_TRUE(check.ok) << check.message;
    ProjectionRun run;
    run.params = check.params;
    run.trajectoryPath = check.params.File, run.outputFolder = work;
    std::vector<int> progress;
    run.progress = [&](int done, int total) {
        EXPECT_EQ(total, 11);
        progress.push_back(done);
    };
    const ProjectionResult result = AcquireProjections(run);
    ASSERT_EQ(result.code, kCodeProjectionsReady) << result.message;
    EXPECT_EQ(result.written, 11);
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(result.dir, work);
    EXPECT_EQ(dir.Count(), 5 + 11) << "the trajectory files and the projections";

    int w = 0, h = 0;
    std::vector<uint16_t> samples;
    std::string description;
    ASSERT_TRUE(
        zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(work, 6), w, h, samples, &description));
    EXPECT_NE(description.find(",tech_fact_kV=70,tech_fact_mA=8,"), std::string::npos)
        << description;

    void* h3d = R3DInit_2012();
    VolumeClass volume;
    ASSERT_TRUE(R3DPrepareVolume_2012(h3d, &volume, work.c_str(), "ConeBeam.tra", nullptr, nullptr,
                                      0.35, true));
    ASSERT_TRUE(
        R3DReconstructVolume_2012(h3d, &volume, (work + "Volume.vol").c_str(), nullptr, nullptr));
    R3DRelease_2012(h3d);
    const zor::phantom::DentalPhantom phantom(zor::phantom::PhantomKind::Adult);
    const auto cmp =
        zor::phantom::CompareWithTruth(phantom, volume, {0.1, 0.3, 0.5, 0.7, 0.9}, 1.0);
    ASSERT_EQ(cmp.size(), 5u);
    double mean = 0.0;
    for (const auto& s : cmp) {
        // The noiseless guard is 0.80 per cross-section; photon noise may cost a little.
        EXPECT_GE(s.Ncc, 0.75) << "position " << s.Position;
        mean += s.Ncc / 5.0;
    }
    EXPECT_GE(mean, 0.80);
    std::printf("reconstruction of the simulated projections: mean NCC %.3f\n", mean);
}

TEST(DriverProjections, CollimatorNoiseAndCancel) {
    const zor::test::TempDir dir;
    const std::string work = dir.Slash();
    DemoTrajectory(zor::phantom::PhantomKind::Child, work);
    ProjectionRun run;
    run.params = ParseParameterText(ParameterLine(work, true)).params;
    ASSERT_TRUE(run.params.HasCollimator);
    run.trajectoryPath = work + "ConeBeam.tra", run.outputFolder = work;

    // Cancelled after the third projection: the three written are removed again.
    int written = 0;
    run.progress = [&](int done, int) { written = done; };
    run.cancelled = [&] { return written >= 3; };
    ProjectionResult r = AcquireProjections(run);
    EXPECT_EQ(r.code, kErrAborted);
    EXPECT_EQ(r.message, kAbortedMessage);
    EXPECT_EQ(written, 3);
    EXPECT_EQ(dir.Count(), 5) << "the trajectory files only";  // tra, csv, P0.csv, P0.txt, Test

    run.cancelled = nullptr;
    r = AcquireProjections(run);
    ASSERT_EQ(r.code, kCodeProjectionsReady) << r.message;
    int w = 0, h = 0;
    std::vector<uint16_t> s;
    ASSERT_TRUE(zor_r3d::ReadGrey16Tiff(zor_r3d::ProjectionPath(work, 1), w, h, s));
    // Lower blade 1975 covers the bottom tenth of the rows, upper -3950 the top fifth.
    auto rowMean = [&](int row) {
        double sum = 0.0;
        for (int c = 0; c < w; ++c)
            sum += s[static_cast<std::size_t>(row * w + c)];
        return sum / w;
    };
    EXPECT_LT(rowMean(h / 5 - 2), 20.0) << "under the upper blade";
    EXPECT_LT(rowMean(h - h / 10 + 2), 20.0) << "under the lower blade";
    EXPECT_GT(rowMean(h / 5 + 2), 1000.0) << "open field";
    // Photon noise: neighbouring open-field samples of air differ.
    int differing = 0;
    for (int c = 0; c + 1 < 40; ++c)
        differing += s[static_cast<std::size_t>((h / 2) * w + c)] !=
                     s[static_cast<std::size_t>((h / 2) * w + c + 1)];
    EXPECT_GT(differing, 20);

    // A .csv that does not list the .tra's views is refused.
    zor::test::WriteFile(dir / "ConeBeam.csv", "index,view,beta\n1,0,0\n2,1,0\n");
    run.trajectoryPath = work + "ConeBeam.csv";
    r = AcquireProjections(run);
    EXPECT_EQ(r.code, kErrTrajectory);
    EXPECT_NE(r.message.find("does not list the views"), std::string::npos) << r.message;
    run.trajectoryPath = work + "Nothing.csv";
    EXPECT_EQ(AcquireProjections(run).code, kErrTrajectory);
}

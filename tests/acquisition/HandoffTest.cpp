// The hand-off to the driver: parameter file and launch, technique, collimator, failures.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "acquisition/DriverParameters.h"
#include "acquisition/TrajectoryHandoff.h"
#include "phantom/DemoData.h"
#include "support/TempDir.h"
#include "zor_r3d/R3D.h"

using namespace zor::acquisition;
namespace fs = std::filesystem;

namespace {

std::string SubImageKeys(int columns) {
    std::string s;
    for (int i = 1; i <= 11; ++i) {
        const std::string k = " #SUBIMG_" + std::to_string(i) + "_";
        s += k + "COLSNUM " + std::to_string(columns) + k + "HORZMAGNIFACTOR 1436031" + k +
             "VERTMAGNIFACTOR 1436031" + k + "MARGINLEFT 0" + k + "MARGINRIGHT 0" + k +
             "MARGINTOP 0" + k + "MARGINBOTTOM 0";
    }
    return s;
}

struct LaunchRecord {
    int Calls = 0, Result = 42;
    std::string Call;  // "file|parameters|folder" of the last call
    ProgramLauncher Launcher() {
        return [this](const fs::path& f, const std::string& p, const fs::path& d) {
            return ++Calls, Call = f.string() + "|" + p + "|" + d.string(), Result;
        };
    }
};

constexpr int kRawColumn = 1304 + 74;  // the demo's volume of interest, raw LUT index

// The adult phantom's LUT, factor 0.4 at kRawColumn, 1.3 at 8, no curve point at 9.
zor_vol_lut::LutTable TestLut() {
    auto t = zor::phantom::MakeLut(zor::phantom::DentalPhantom(zor::phantom::PhantomKind::Adult),
                                   "0.0.31.10");
    t.Entries[kRawColumn].Factor = 0.4;
    t.Entries[8].Factor = 1.3;
    t.Entries[9].Flag = 0;
    return t;
}

class Handoff : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = m_Dir.Slash();
        fs::create_directories(m_Dir / "work");
        ASSERT_TRUE(zor_vol_lut::WriteLutFile(folder + "0.0.31.10_X.LUT", m_Table));
        ASSERT_EQ(m_Lut.LoadLUT(L"0.0.31.10", 74, std::wstring(folder.begin(), folder.end())), 0);
        m_In.InstallDir = m_Dir.Path(), m_In.Lut = &m_Lut, m_In.YValue = -4.7;
        m_In.VoiSelected = true, m_In.VoiLeft = 1284, m_In.VoiRight = 1324;
        m_In.DriverRunning = [this] { return ++m_DriverAsked, true; };
        m_In.Kv0 = 70, m_In.Ma0 = 8, m_In.ExposureTimeMs = 12000, m_In.Orientation = 3;
    }
    zor::test::TempDir m_Dir{"zor-handoff"};
    zor_vol_lut::LutTable m_Table = TestLut();
    CLUTProjection m_Lut;
    HandoffInput m_In;
    int m_DriverAsked = 0;
    LaunchRecord m_Launch;
};

}  // namespace

TEST(DriverParameterFile, LineHoldsTheKeysInOrder) {
    DriverParameters p{-12345, 6789, -1500, 560, 70, 8, 3, -4, 12000, 1975, -3950};
    const std::string head =
        "#CALLER 2 #DIR /opt/zor dir//work/ #FILE /opt/zor dir//work/ConeBeam.csv #KV 70 #MA 8 "
        "#PRJGRPIDX 4 #PRJTYPEIDX 0 #PATORIENT 3 #YCANMOVE 0 #INITXPOS -12345 #INITYPOS 6789 "
        "#INITRPOS -1500 #COLSNUM 6160 #SUBIMGNUM 11 #Y_CORRECTION -4 #EXPOSURE_TIME 12000";
    EXPECT_EQ(DriverParameterText("/opt/zor dir/", p), head + SubImageKeys(560));

    p.YAxisMovable = p.TemplateMode = true, p.Columns = 97;
    std::string movable = head + " #COLLIM_POS_INF 1975 #COLLIM_POS_SUP -3950" + SubImageKeys(97);
    movable.replace(movable.find("#YCANMOVE 0"), 11, "#YCANMOVE 1");
    movable.replace(movable.find("#COLSNUM 6160"), 13, "#COLSNUM 1067");
    // Single spaces only, none at either end (the path's own space included).
    EXPECT_EQ(DriverParameterText("/opt/zor dir/", p), movable);
}

TEST(DriverParameterFile, WrittenWholeThenTheDriverStarted) {
    zor::test::TempDir dir;
    const DriverParameters p{1, 2, 3, 4, 70, 8};
    LaunchRecord launch;
    std::string why;
    // No work folder: nothing is started.
    EXPECT_FALSE(WriteDriverParameters(dir.Path(), p, launch.Launcher(), &why));
    EXPECT_EQ(std::tuple(launch.Calls, why.empty()), std::tuple(0, false));

    dir.Write("work/Param.txt", "an older, longer hand-off line\n");
    ASSERT_TRUE(WriteDriverParameters(dir.Path(), p, launch.Launcher(), &why)) << why;
    const std::string param = dir.Slash() + "work/Param.txt";
    EXPECT_EQ(zor::test::ReadFile(param), DriverParameterText(dir.Path(), p));
    EXPECT_EQ(std::tuple(launch.Calls, launch.Call),
              std::tuple(1, dir.Slash() + "DeviceDriverHost|  #FILEPARAM " + param + "|" +
                                dir.Path().string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work"), {}), 1);  // no temporary

    // A refused launch, and the real launcher without a driver program: the file stays.
    launch.Result = 2;
    EXPECT_FALSE(WriteDriverParameters(dir.Path(), p, launch.Launcher(), &why));
    EXPECT_FALSE(WriteDriverParameters(dir.Path(), p, zor::platform::ShellExecuteOpen, &why));
    EXPECT_NE(why.find("DeviceDriverHost"), std::string::npos) << why;
    EXPECT_TRUE(fs::exists(param));
}

TEST(DriverParameterFile, MissingDriverIsNamedFirst) {
    if (zor::platform::IsProcessRunning("DeviceDriverHost"))
        GTEST_SKIP() << "a driver program runs on this machine";
    EXPECT_STREQ(MissingAcquisitionProgram(), "_[xray panoramic PC Driver was not started]_");
}

TEST(ExposureTechnique, ClosestDoseWithinTheRanges) {
    const struct {
        double f;
        int kv0, ma0, kv, ma;
        double score;
    } cases[] = {
        {1.0, 70, 8, 70, 8, 0.0},         // the panoramic's own technique
        {0.75, 90, 8, 85, 8, 0.189179},   // kV capped at 85
        {0.95, 90, 8, 90, 8, -5.0},       // nothing in 60..85 beats the start
        {3.0, 70, 8, 85, 8, -11.999898},  // too little dose does not widen the search
        {1.04, 70, 12, 70, 12, 4.0},      // empty mA range, start within 5 %
        {1.1, 70, 12, 74, 10, 0.021754},  // passes 1, 2 empty; pass 3 mA 10
        {0.4, 70, 8, 60, 7, 1.207830},    // pass 2 (mA 7..9) below kV 60's dose
        {0.44, 70, 8, 61, 7, -0.065751},  // pass 2 picks another kV as well
        {0.3, 70, 8, 60, 6, 15.666092},   // pass 3 is the last, even above 5 %
        {1.3, 70, 0, 70, 0, 30.0},        // no target dose: the start is kept
    };
    for (const auto& c : cases) {
        const ExposureTechnique t = ChooseExposureTechnique(c.f, c.kv0, c.ma0);
        EXPECT_EQ(std::tuple(t.Kv, t.Ma), std::tuple(c.kv, c.ma)) << c.f << " " << c.kv0;
        EXPECT_NEAR(t.Score, c.score, 1e-5) << c.f << " " << c.kv0 << " " << c.ma0;
    }
}

TEST(Collimator, PositionsAndBlankFractions) {
    // T, B, It, Ib, Vt, Vb, cTop, cBottom, s
    const struct {
        CollimatorGeometry g;
        int lower, upper;
        float top, bottom;
    } cases[] = {
        {{0, 800, 100, 700, 300, 700, 0, 0, 1}, 0, -6583, 0.353333f, 0.02f},  // marker at bottom
        {{0, 800, 100, 700, 700, 750, 0, 0, 1}, 0, 0, 0.0f, 0.0f},  // upper -19750; blanks 0
        {{0, 800, 100, 700, 699, 650, 0, 0, 1}, 700, -19717, 0.0f, 0.103333f},
        {{10, 810, 100, 700, 150, 650, 0, 0, 0.5f}, 280, -1975, 0.12f, 0.12f},
        {{10, 810, 100, 700, 150, 650, -0.051f, -0.051f, 0.5f}, 560, -658, 0.12f, 0.12f},
        {{10, 810, 100, 700, 150, 650, -0.1f, 0.05f, 0.5f}, 280, 0, 0.12f, 0.12f},
        {{10, 810, 100, 700, 150, 300, 0, 0, 2}, 5600, -1975, 0.12f, 0.703333f},
        {{0, 800, 100, 100, 150, 300, -0.5f, -0.5f, 1}, 2800, 0, 0.0f, 0.0f},  // height 0
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const CollimatorResult r = ComputeCollimator(cases[i].g);
        EXPECT_EQ(std::tuple(r.Lower, r.Upper), std::tuple(cases[i].lower, cases[i].upper)) << i;
        EXPECT_NEAR(r.TopBlank, cases[i].top, 1e-6) << i;
        EXPECT_NEAR(r.BottomBlank, cases[i].bottom, 1e-6) << i;
    }
}

TEST_F(Handoff, FailuresInTheirOrder) {
    auto expect = [this](const char* title, const char* text, bool restart, int driverAsked) {
        const HandoffOutcome o = ComputeAndSendTrajectory(m_In, m_Launch.Launcher());
        EXPECT_EQ(std::tuple(o.Ok, o.Title, o.Text, o.TranslateTexts, o.Restart, m_DriverAsked),
                  std::tuple(false, title, text, title[0] == '_', restart, driverAsked));
        EXPECT_NE(o.Reason, "");
    };
    // Each case also breaks every later step.
    m_In.VoiSelected = false, m_In.Lut = nullptr, m_In.InstallDir = m_Dir / "nowhere";
    expect("_[WAIT ACQUISITION ERROR]_", "_[No data voi selected]_", false, 0);
    m_In.VoiSelected = true;
    expect("WAIT ACQUISITION ERROR", "Empty LUT", true, 0);
    const CLUTProjection empty;
    m_In.Lut = &empty;
    expect("WAIT ACQUISITION ERROR", "Empty LUT", true, 0);
    m_In.Lut = &m_Lut;
    m_In.VoiLeft = m_In.VoiRight = 9 - 74;  // no curve point there: asks the driver first
    m_In.DriverRunning = [this] { return ++m_DriverAsked, false; };
    expect("_[WAIT ACQUISITION ERROR]_", "_[device PC driver was not started]_", false, 1);
    m_In.DriverRunning = [this] { return ++m_DriverAsked, true; };
    expect("WAIT ACQUISITION ERROR", "Error on computing trajectory", true, 2);
    m_In.VoiLeft = m_In.VoiRight = 1304;
    expect("WAIT ACQUISITION ERROR", "Error on computing trajectory", true, 3);  // no work folder
    EXPECT_EQ(m_Launch.Calls, 0);
    m_In.InstallDir = m_Dir.Path(), m_Launch.Result = 31;
    const HandoffOutcome out = ComputeAndSendTrajectory(m_In, m_Launch.Launcher());
    EXPECT_EQ(std::tuple(out.Ok, out.Text, out.Restart, m_Launch.Calls),
              std::tuple(false, "Error on sending trajectory to device driver", true, 1));
    EXPECT_TRUE(fs::exists(m_Dir / "work/Param.txt"));
}

TEST_F(Handoff, SendsTheTrajectoryOfTheCentreColumn) {
    m_In.YAxisMovable = true;
    m_In.Geometry = {0, 800, 100, 700, 300, 700, 0, 0, 1};
    m_In.ArchAngle = m_Table.Entries[kRawColumn].Angle;
    const HandoffOutcome out = ComputeAndSendTrajectory(m_In, m_Launch.Launcher());
    ASSERT_TRUE(out.Ok) << out.Reason;
    const std::string work = m_Dir.File("work") + "/";
    EXPECT_EQ(m_Launch.Calls, 1);
    EXPECT_NE(m_Launch.Call.find("|  #FILEPARAM " + work + "Param.txt|"), std::string::npos);
    EXPECT_EQ(zor::test::ReadFile(work + "Param.txt"), DriverParameterText(m_Dir.Path(), out.Sent));
    for (const char* f : {"ConeBeam.tra", "ConeBeam.csv", "ConeBeam_P0.csv", "Test.txt"})
        EXPECT_TRUE(fs::exists(work + f)) << f;

    // The planning point is the raw column's curve point, lowered by the Y value.
    const auto& e = m_Table.Entries[kRawColumn];
    const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    int xs = 0, ys = 0, rs = 0, cols = 0, ok = 1;
    zor::test::TempDir other;
    const std::string o = other.Slash();
    ASSERT_EQ(CreateTrajectory(0, e.X, e.Y - 4.7, -std::numbers::pi - e.Angle, 35.0, 20.0, 11,
                               order, std::wstring(o.begin(), o.end()), 2.4, 1.436031331592689,
                               1.436031331592689, &xs, &ys, &rs, &cols, &ok),
              0);
    const DriverParameters& s = out.Sent;
    EXPECT_EQ(std::tuple(s.XPos, s.YPos, s.RotationPos, s.Columns), std::tuple(xs, ys, rs, cols));
    // The column's factor 0.4 chose the technique; Y truncated toward zero.
    EXPECT_EQ(std::tuple(s.Kv, s.Ma, s.YCorrection, s.CollimatorUpper, out.Collimator.has_value()),
              std::tuple(60, 7, -4, -6583, true));

    // Centre trunc((7 + 10) / 2) = 8 has a point; the technique column trunc(-131 / 2) + 74 = 9
    // has no factor, and factor 1.3 of column 8 must not be taken instead.
    m_In.VoiLeft = 7 - 74, m_In.VoiRight = 10 - 74, m_In.YAxisMovable = false;
    const HandoffOutcome edge = ComputeAndSendTrajectory(m_In, m_Launch.Launcher());
    ASSERT_TRUE(edge.Ok) << edge.Reason;
    EXPECT_EQ(std::tuple(edge.Sent.Kv, edge.Sent.Ma, edge.Collimator.has_value()),
              std::tuple(70, 8, false));
    EXPECT_NE(edge.Reason.find("no exposure factor"), std::string::npos) << edge.Reason;
}

// Trajectory planning: the files written, their round trip, and refusal of bad requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

#include "support/TempDir.h"
#include "zor_r3d/R3D.h"
#include "zor_r3d/Trajectory.h"

namespace {

constexpr double kMag = 1.436031331592689;
const int kOrder[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};

std::wstring Wide(const zor::test::TempDir& dir) {
    const std::string s = dir.Slash();
    return std::wstring(s.begin(), s.end());
}

}  // namespace

TEST(CreateTrajectory, WritesTheFilesAndTheStartOutputs) {
    zor::test::TempDir dir;
    int x = 0, y = 0, rot = 0, cols = 0, ok = 1;
    // Front of an arch: curve angle 0, so the caller passes -pi.
    ASSERT_EQ(CreateTrajectory(0, -2.0, -42.0, -M_PI, 35.0, 20.0, 11, kOrder, Wide(dir), 2.4, kMag,
                               kMag, &x, &y, &rot, &cols, &ok),
              0);
    EXPECT_EQ(std::tuple(ok, x, y, cols), std::tuple(1, -2000, -42000, 560));  // 2.4 × 35 / 0.15
    for (const char* f :
         {"ConeBeam.tra", "ConeBeam.csv", "ConeBeam_P0.csv", "ConeBeam_P0.txt", "Test.txt"})
        EXPECT_TRUE(std::filesystem::exists(dir / f)) << f;
    zor_r3d::Trajectory t;
    ASSERT_TRUE(zor_r3d::ReadTrajectoryFile(dir / "ConeBeam.tra", t));
    EXPECT_EQ(t.Order, std::vector<int>(kOrder, kOrder + 11));
    EXPECT_NEAR(std::cos(t.AxisAngleRad), -1.0, 1e-12);  // along the arch towards -x
    // The first acquisition is view 10: 100° from the middle view, which looks along -y.
    const zor_r3d::ViewGeometry g = zor_r3d::ViewOf(t, 10);
    EXPECT_NEAR(std::atan2(g.Dy, g.Dx) * 180.0 / M_PI * 100.0, rot, 1.0);
    const zor_r3d::ViewGeometry mid = zor_r3d::ViewOf(t, 5);
    EXPECT_NEAR(mid.Dy, -1.0, 1e-12);  // from the tongue side out through the lips
    EXPECT_NEAR(std::hypot(mid.Sx - t.CentreX, mid.Sy - t.CentreY), t.Sod, 1e-9);
    // One csv line per acquisition, in acquisition order.
    const std::string csv = zor::test::ReadFile(dir / "ConeBeam.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 12);
    EXPECT_NE(csv.find("\n1,10,100.000,"), std::string::npos);
    EXPECT_NE(zor::test::ReadFile(dir / "ConeBeam_P0.txt").find("COLS=560"), std::string::npos);
}

TEST(CreateTrajectory, BadRequestsFailWithTheirCodeAndClearTheFlag) {
    zor::test::TempDir dir;
    const int dup[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9};
    const struct {
        const char* name;
        int mode;
        double angle, diameter, step;
        int views;
        const int* order;
        int code;
    } cases[] = {
        {"mode", 1, -M_PI, 35, 20, 11, kOrder, 1},
        {"nan angle", 0, std::nan(""), 35, 20, 11, kOrder, 2},
        {"tiny diameter", 0, -M_PI, 1, 20, 11, kOrder, 2},
        {"arc over a circle", 0, -M_PI, 35, 40, 11, kOrder, 2},
        {"one view", 0, -M_PI, 35, 20, 1, kOrder, 2},
        {"no order", 0, -M_PI, 35, 20, 11, nullptr, 3},
        {"order not a permutation", 0, -M_PI, 35, 20, 11, dup, 3},
        {"missing folder", 0, -M_PI, 35, 20, 11, kOrder, 4},
    };
    for (const auto& c : cases) {
        int x, y, r, cols, ok = 1;
        const std::wstring folder = c.code == 4 ? L"/nonexistent/zor/" : Wide(dir);
        EXPECT_EQ(CreateTrajectory(c.mode, 0.0, -40.0, c.angle, c.diameter, c.step, c.views,
                                   c.order, folder, 2.4, kMag, kMag, &x, &y, &r, &cols, &ok),
                  c.code)
            << c.name;
        EXPECT_EQ(ok, 0) << c.name;
    }
}

TEST(TrajectoryFile, RoundTripAndDamagedTexts) {
    zor_r3d::Trajectory t{.Views = 4, .CentreX = 1.25, .AxisAngleRad = 0.3, .StepDeg = 30};
    t.Order = {3, 1, 0, 2};
    zor_r3d::Trajectory back;
    const std::string text = zor_r3d::FormatTrajectory(t);
    ASSERT_TRUE(zor_r3d::ParseTrajectory(text, back));
    EXPECT_EQ(std::tuple(back.Order, back.CentreX, back.AxisAngleRad),
              std::tuple(t.Order, t.CentreX, t.AxisAngleRad));
    EXPECT_EQ(zor_r3d::FormatTrajectory(back), text);
    auto edit = [&](const std::string& from, const std::string& to) {
        std::string s = text;
        return s.replace(s.find(from), from.size(), to);
    };
    const std::string damaged[] = {
        "",
        "ZORTRA 2\n",
        edit("views=4", "views=5"),
        edit("order=3,1,0,2", "order=3,1,1,2"),
        edit("order=3,1,0,2", "order=3,x"),
        edit("sod=500", "sod=nan"),
        edit("vol_nx=50", "vol_nx=500"),
        edit("det_cols=560", "det_cols=-3"),
        edit("diameter=35", "diameter"),
        text.substr(0, 40),
    };
    for (const auto& d : damaged)
        EXPECT_FALSE(zor_r3d::ParseTrajectory(d, back)) << d;
}

// The crosses along a synthetic volume and a straight panoramic curve of chosen angles.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "support/TempDir.h"
#include "viewer/CrossView.h"
#include "zor_vol/CLUTProjection.h"
#include "zor_vol/LutFile.h"
#include "zor_vol/VolumeClass.h"

namespace zor::viewer {
namespace {

constexpr int kMargin = 74;
constexpr int kLutColumns = 800;
constexpr double kCurveY = -40.1;  // 0.1 mm in front of the volume's axis
// The curve turns 0.095 degrees (with the device's 3.14) per raw column, 0.95 per position.
constexpr double kRamp = 0.095 * 3.14f / 180.0;

// The volume: 50 positions 0.7 mm apart along device x at y = -40; every voxel of plane i holds
// 1000 + 100 i, so a cross tells which plane it was cut from. The curve runs along the volume's
// axis, 10 raw columns per position: position s (s / 50) lies on display column 71 + 10 s (raw
// column 145 + 10 s).
struct Fixture {
    explicit Fixture(CrossSettings settings, const std::function<double(int)>& angle = {},
                     double rangeValue = 0.0, uint32_t columns = 40, uint32_t rows = 30)
        : view(settings, images) {
        const zor_vol_file::VolumeHeader h{
            .Nx = 50, .Ny = columns, .Nz = rows, .CentreY = -40.0, .RangeValue = rangeValue};
        std::vector<uint16_t> voxels(size_t{h.Nx} * h.Ny * h.Nz);
        for (size_t v = 0; v < voxels.size(); ++v)
            voxels[v] = static_cast<uint16_t>(1000 + 100 * (v / (size_t{h.Ny} * h.Nz)));
        EXPECT_TRUE(volume.mAttach(h, std::move(voxels)));
        zor_vol_lut::LutTable table{.Id = "0.0.31.10", .ColumnPitch = 0.07};
        for (int r = 0; r < kLutColumns; ++r)
            table.Entries.push_back({1, (r - 400) * 0.07, kCurveY, angle ? angle(r) : 0.0, 1.0});
        EXPECT_TRUE(zor_vol_lut::WriteLutFile(dir.Slash() + "0.0.31.10_X.LUT", table));
        const std::string folder = dir.Slash();
        EXPECT_EQ(lut.LoadLUT(L"0.0.31.10", kMargin, std::wstring(folder.begin(), folder.end())),
                  0);
        view.SetVolume(&volume);
        view.SetPanoramic({&lut, kLutColumns, {0, 0, 800, 400}, 568, 568, {0, 0, 568, 568}, 35.0});
        view.SetCrossPosition(25);  // builds the angle table
        view.ComputeAllowedRange();
    }
    std::pair<int, int> Range() const { return {view.FirstAllowed(), view.LastAllowed()}; }

    test::TempDir dir;
    VolumeClass volume;
    CLUTProjection lut;
    CrossImages images;
    CrossView view;
};

CrossSettings Limited(int degrees) {
    return {.IsCrossCropped = false, .IsCrossAngleLimited = true, .CrossAngleLimit = degrees};
}
const CrossSettings kUncropped{.IsCrossCropped = false};

// The angle table's entry s - 1 differs from the centre's by 0.95 (s - 25) degrees.
double SymmetricRamp(int raw) {
    return kRamp * (raw - 385);
}

TEST(CrossViewRange, AllowedPositionsFollowTheAngleLimit) {
    EXPECT_EQ(Fixture(kUncropped, SymmetricRamp).Range(), std::pair(1, 50));
    EXPECT_EQ(Fixture(Limited(10), [](int) { return 0.3; }).Range(), std::pair(2, 49));
    // 10 positions turn 9.5 degrees, 11 turn 10.45: the limit of 10 keeps 15 .. 35.
    EXPECT_EQ(Fixture(Limited(10), SymmetricRamp).Range(), std::pair(15, 35));
    // Flat towards the start, turning after the centre: only the end is cut.
    Fixture rising(Limited(10), [](int raw) { return raw < 395 ? 0.0 : kRamp * (raw - 395); });
    EXPECT_EQ(rising.Range(), std::pair(2, 36));
    // Angles below -pi/2 count lifted by pi: -pi/2 - 0.1 is the same line as pi/2 - 0.1.
    Fixture wrapped(Limited(10), [](int raw) { return raw < 385 ? -1.6707963 : 1.4707963; });
    EXPECT_EQ(wrapped.Range(), std::pair(2, 49));
}

TEST(CrossViewMove, StepsAndDragsStayInsideTheAllowedRange) {
    Fixture f(Limited(10), [](int) { return 0.2; });
    f.view.SetCrossCount(5, 1);
    for (int i = 0; i < 12; ++i)
        f.view.Step(+1);
    // The outer cross sits on position 49, display column 71 + 490.
    EXPECT_EQ(std::pair(f.view.CentreIndex(), f.view.Record(4).PanIndex), std::pair(47, 561));
    EXPECT_DOUBLE_EQ(f.view.Centre(), 0.94);
    for (int i = 0; i < 12; ++i)
        f.view.Step(-1);
    EXPECT_EQ(f.view.CentreIndex(), 4);

    // Dragging 200 px right over a 1000 px pane moves by 0.2, ten positions; a move outside
    // the pane only takes the new point as the drag's last one.
    f.view.SetCrossPane({0, 500, 1000, 900});
    f.view.BeginDrag({300, 600});
    for (Point p : {Point{500, 600}, Point{900, 100}, Point{1000, 600}}) {
        f.view.MoveCrosses(-1.0, &p);
        EXPECT_EQ(f.view.CentreIndex(), 14) << p.x;
    }
}

// The range was computed before the first extraction built the angle table, so it allows
// 2 .. 49; the angle check still refuses a centre turned more than 10 degrees.
TEST(CrossViewMove, StepPastTheAngleLimitChangesNothing) {
    Fixture f(Limited(10), SymmetricRamp);
    CrossView view(Limited(10), f.images);
    view.SetVolume(&f.volume);
    view.SetPanoramic({&f.lut, kLutColumns, {0, 0, 800, 400}, 568, 568, {0, 0, 568, 568}});
    view.ComputeAllowedRange();
    ASSERT_EQ(std::pair(view.FirstAllowed(), view.LastAllowed()), std::pair(2, 49));
    view.SetCrossCount(5, 1);
    view.SetCrossPosition(25);
    view.Step(+1);
    view.Step(+1);
    ASSERT_EQ(view.CentreIndex(), 35);
    const SliceInfo before = view.Record(4);
    const std::vector<uint16_t> slot = view.RawImage(4);
    const auto marker = view.Marker();
    view.Step(+1);  // 40: 15 x 0.95 degrees
    EXPECT_EQ(view.CentreIndex(), 35);
    EXPECT_DOUBLE_EQ(view.Centre(), 0.7);
    EXPECT_EQ(view.Record(4).CenterX, before.CenterX);
    EXPECT_EQ(view.RawImage(4), slot);
    EXPECT_EQ(view.Marker(), marker);
}

// The value at the middle of a slot's raw image: 1000 + 100 x the plane it was cut from.
int PlaneOfSlot(const CrossView& view, int slot) {
    const std::vector<uint16_t>& raw = view.RawImage(slot);
    const int middle = view.SliceHeight() / 2 * view.SliceWidth() + view.SliceWidth() / 2;
    return (raw.at(static_cast<size_t>(middle)) - 1000) / 100;
}

TEST(CrossViewMove, PositiveRangeValueReversesStepsAndSlots) {
    for (const double rangeValue : {0.0, 1.0}) {
        Fixture f(kUncropped, {}, rangeValue);
        f.view.SetCrossCount(3, 1);
        f.view.Step(+1);
        const bool reversed = rangeValue > 0.0;
        EXPECT_EQ(f.view.CentreIndex(), reversed ? 22 : 28);
        // Crosses sit on positions centre - 1 .. centre + 1, planes one lower.
        const int first = f.view.CentreIndex() - 2;
        for (int slot = 0; slot < 3; ++slot)
            EXPECT_EQ(PlaneOfSlot(f.view, slot), reversed ? first + 2 - slot : first + slot);
        ASSERT_NE(f.images.Bitmap(0), nullptr);  // shown as the 16-bit value's high byte
        EXPECT_EQ(f.images.Bitmap(0)->pixels[0] & 0xFF,
                  (1000u + 100u * PlaneOfSlot(f.view, 0)) >> 8);
    }
}

// Rows blanked at the top and bottom, columns at the left and right, counted along the middle.
using Blanked = std::array<int, 4>;
Blanked BlankedOf(const CrossView& view, int slot) {
    const std::vector<uint16_t>& raw = view.RawImage(slot);
    const int w = view.SliceWidth(), h = view.SliceHeight();
    const auto run = [&](int x, int y, int dx, int dy, int n) {
        int k = 0;
        while (k < n && raw.at(static_cast<size_t>((y + k * dy) * w + x + k * dx)) == 0)
            ++k;
        return k;
    };
    return {run(w / 2, 0, 0, 1, h), run(w / 2, h - 1, 0, -1, h), run(0, h / 2, 1, 0, w),
            run(w - 1, h / 2, -1, 0, w)};
}

TEST(CrossViewCrop, EqualLimitsBlankTheSameBorderEverywhere) {
    Fixture f({.LeftRightCrossColumnCroppedMinimum = 7, .LeftRightCrossColumnCroppedMaximum = 7},
              {}, 0.0, 40, 30);
    for (int centre : {3, 25, 47}) {
        f.view.SetCrossCount(5, 1);
        f.view.SetCrossPosition(centre);
        for (int slot = 0; slot < 5; ++slot)
            EXPECT_EQ(BlankedOf(f.view, slot), (Blanked{7, 7, 7, 7})) << centre << " " << slot;
    }
    // The collimator blanks 12 rows from the top (30 x 0.4) and 15 rows above the last one,
    // the middle row among them.
    f.view.SetCollimatorFractions(0.5f, 0.4f);
    f.view.SetCrossPosition(25);
    EXPECT_EQ(BlankedOf(f.view, 0), (Blanked{12, 16, 40, 40}));
}

TEST(CrossViewCrop, BorderGrowsTowardsTheArchEnds) {
    Fixture f({.LeftRightCrossColumnCroppedMinimum = 10, .LeftRightCrossColumnCroppedMaximum = 60},
              {}, 0.0, 130, 130);
    // Position s lies |s - 25| steps from the centre: k = 10 + 2 |s - 25|, the last step 60.
    const std::pair<int, int> expected[] = {{25, 10}, {40, 40}, {1, 58}, {50, 60}};
    for (const auto& [position, k] : expected) {
        f.view.SetCrossPosition(position);
        EXPECT_EQ(BlankedOf(f.view, 0), (Blanked{k, k, k, k})) << position;
    }
}

TEST(CrossViewPanoramic, ClickPicksTheNearestPositionAndTheLowestOnATie) {
    Fixture f(kUncropped);
    // Positions 10 and 11 lie on display columns 171 and 181.
    const std::pair<int, int> clicks[] = {{176, 10}, {177, 11}, {171, 10}, {0, 1}, {799, 50}};
    for (const auto& [x, position] : clicks) {
        Point p{x, 100};
        f.view.MoveCrosses(-2.0, &p);
        EXPECT_EQ(f.view.CentreIndex(), position) << x;
    }
}

TEST(CrossViewPanoramic, SpanAndMarkerCoverTheShownCrosses) {
    Fixture f(kUncropped);
    f.view.SetPanoramic({&f.lut, kLutColumns, {100, 0, 500, 200}, 568, 568, {10, 20, 294, 304}});
    f.view.SetCrossCount(5, 1);
    f.view.SetCrossPosition(25);
    f.view.UpdateCrossMarker();
    // Positions 23 .. 27: display columns 301 .. 341, half as wide on screen.
    const auto span = f.view.CrossSpan();
    ASSERT_TRUE(span);
    EXPECT_EQ(std::tuple(span->lowColumn, span->highColumn, span->leftX, span->rightX),
              std::tuple(301, 341, 251, 272));
    // Raw columns 375 .. 415 (x -1.75 .. 1.05 mm) lie on the mirrored curve picture at x 291 ..
    // 280, y 123; at half size from (10, 20): x 155 .. 150, middle 153, y 81. Upright: 2 either
    // side, 35 (half of 35 mm as 140 of 564 px, over 284 px) above and below.
    const auto marker = f.view.Marker();
    ASSERT_TRUE(marker);
    EXPECT_EQ(*marker, (CrossMarker{Point{155, 116}, {151, 116}, {151, 46}, {155, 46}}));

    // Without a panoramic there is neither span nor marker.
    f.view.SetPanoramic({});
    f.view.SetCrossPosition(25);
    f.view.UpdateCrossMarker();
    EXPECT_FALSE(f.view.CrossSpan());
    EXPECT_FALSE(f.view.Marker());
    EXPECT_EQ(f.view.Record(0).PanIndex, -1);
}

}  // namespace
}  // namespace zor::viewer

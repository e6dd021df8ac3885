// The coarse anatomy model: binning of the detector, and the OS-SART fit of a known object.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SmallTrajectory.h"
#include "zor_r3d/PriorModel.h"

// A linear view bins to its value at each centred binned pixel, whatever the detector's size.
TEST(PriorModel, BinningAveragesAroundTheCentredBinnedPixels) {
    zor_r3d::ProgressReporter progress(nullptr, nullptr);
    // u + 10 v at pixel i (mm from the detector's centre): a box average is the box centre's.
    auto linear = [](const zor_r3d::Trajectory& t, size_t i) {
        const double col = static_cast<double>(i % t.DetCols), row = i / t.DetCols;
        return (col - (t.DetCols - 1) * 0.5) * t.PitchU +
               10.0 * ((t.DetRows - 1) * 0.5 - row) * t.PitchV;
    };
    const struct {
        int cols, rows, binU, binV;
    } cases[] = {{64, 32, 2, 8}, {63, 30, 2, 8}, {65, 31, 3, 4}};
    for (const auto& c : cases) {
        const zor_r3d::Trajectory t = SmallTrajectory(c.cols, c.rows);
        zor_r3d::PriorGeometry g;
        ASSERT_TRUE(zor_r3d::BuildPriorGeometry(t, 1.0, 8.0, c.binU, c.binV, 11, g, progress, 0, 1))
            << c.cols << "x" << c.rows;
        const zor_r3d::Trajectory& b = g.Binned;
        EXPECT_EQ(std::pair(b.DetCols, b.DetRows), std::pair(c.cols / c.binU, c.rows / c.binV));
        std::vector<float> view(static_cast<size_t>(c.cols) * c.rows);
        for (size_t i = 0; i < view.size(); ++i)
            view[i] = static_cast<float>(linear(t, i));
        std::vector<float> binned(static_cast<size_t>(b.DetCols) * b.DetRows);
        zor_r3d::BinView(g, t, view.data(), binned.data());
        for (size_t i = 0; i < binned.size(); ++i)
            EXPECT_NEAR(binned[i], linear(b, i), 1e-3) << c.cols << "x" << c.rows << " at " << i;
    }
    const zor_r3d::Trajectory t = SmallTrajectory();
    zor_r3d::PriorGeometry g;
    EXPECT_FALSE(zor_r3d::BuildPriorGeometry(t, 0.0, 8.0, 2, 4, 11, g, progress, 0, 1)) << "pitch";
    EXPECT_FALSE(zor_r3d::BuildPriorGeometry(t, 1.0, 8.0, 0, 4, 11, g, progress, 0, 1)) << "bin";
}

// A block in air, projected by the model's own projector: two OS-SART passes bring back its
// attenuation, keep the air outside its shadow at exactly 0 (carving) and explain the data.
TEST(PriorModel, FitRecoversABlockAndKeepsAirEmpty) {
    const zor_r3d::Trajectory t = SmallTrajectory(64, 32);
    zor_r3d::PriorGeometry g;
    zor_r3d::ProgressReporter progress(nullptr, nullptr);
    ASSERT_TRUE(zor_r3d::BuildPriorGeometry(t, 1.0, 8.0, 2, 4, 11, g, progress, 0, 1));
    const zor_r3d::GridDesc& gd = g.Map.Grid;
    constexpr float kMu = 0.05f;
    std::vector<float> truth(static_cast<size_t>(gd.Nx) * gd.Ny * gd.Nz, 0.0f);
    std::vector<bool> block(truth.size()), farCorner(truth.size());
    for (size_t n = 0; n < truth.size(); ++n) {  // n = (i * Ny + j) * Nz + k
        const int i = static_cast<int>(n / gd.Nz / gd.Ny), j = static_cast<int>(n / gd.Nz % gd.Ny);
        const int k = static_cast<int>(n % gd.Nz);
        block[n] = std::fabs((i - (gd.Nx - 1) * 0.5) * gd.Dx) <= 2.5 &&
                   std::fabs((j - (gd.Ny - 1) * 0.5) * gd.Dy) <= 2.5 &&
                   std::fabs(((gd.Nz - 1) * 0.5 - k) * gd.Dz) <= 2.0;
        farCorner[n] = std::abs(i - gd.Nx / 2) > 5 && std::abs(j - gd.Ny / 2) > 5;
        truth[n] = block[n] ? kMu : 0.0f;
    }
    std::vector<std::vector<float>> full, fitted, binned(static_cast<size_t>(t.Views));
    ASSERT_TRUE(zor_r3d::ProjectModel(g, t, truth, full, progress, 0, 1));
    for (size_t v = 0; v < binned.size(); ++v) {
        binned[v].resize(static_cast<size_t>(g.Binned.DetCols) * g.Binned.DetRows);
        zor_r3d::BinView(g, t, full[v].data(), binned[v].data());
    }
    std::vector<float> model;
    ASSERT_TRUE(zor_r3d::SolveCoarse(g, binned, 2, model, progress, 0, 1));
    double inside = 0.0;
    int count = 0, air = 0;
    for (size_t n = 0; n < model.size(); ++n) {
        ASSERT_GE(model[n], 0.0f);
        inside += block[n] ? model[n] : 0.0;
        count += block[n];
        air += farCorner[n] && model[n] != 0.0f;
    }
    EXPECT_NEAR(inside / count, kMu, 0.2 * kMu);  // 0.044 today
    EXPECT_EQ(air, 0);
    ASSERT_TRUE(zor_r3d::ProjectModel(g, t, model, fitted, progress, 0, 1));
    double residual = 0.0, norm = 0.0;
    for (size_t v = 0; v < full.size(); ++v) {
        for (size_t p = 0; p < full[v].size(); ++p) {
            residual += std::pow(fitted[v][p] - full[v][p], 2);
            norm += std::pow(full[v][p], 2);
        }
    }
    ASSERT_GT(norm, 0.0);
    EXPECT_LT(std::sqrt(residual / norm), 0.2);  // 0.13 today
}

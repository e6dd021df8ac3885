// Total-variation smoothing: noise goes, edges stay, nothing turns negative.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "zor_r3d/Parallel.h"
#include "zor_r3d/TotalVariation.h"

namespace {

struct Stats {
    double mean = 0, sd = 0;
};

// Mean and spread of the voxels with j in [j0, j1).
Stats Region(const zor_r3d::Trajectory& t, const std::vector<float>& mu, int j0, int j1) {
    double s = 0, s2 = 0;
    int n = 0;
    for (int i = 0; i < t.Nx; ++i)
        for (int j = j0; j < j1; ++j)
            for (int k = 0; k < t.Nz; ++k) {
                const double v = mu[(static_cast<size_t>(i) * t.Ny + j) * t.Nz + k];
                s += v, s2 += v * v, ++n;
            }
    return {s / n, std::sqrt(s2 / n - (s / n) * (s / n))};
}

}  // namespace

TEST(TotalVariation, FlattensNoiseAndKeepsTheEdge) {
    zor_r3d::Trajectory t;
    t.Nx = 8, t.Ny = 40, t.Nz = 30;  // dentine (0.062) left of j = 20, pulp (0.021) right
    std::vector<float> mu(static_cast<size_t>(t.Nx) * t.Ny * t.Nz);
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.004f);
    for (size_t n = 0; n < mu.size(); ++n)
        mu[n] = std::max(0.0f, ((n / t.Nz) % t.Ny < 20 ? 0.062f : 0.021f) + noise(random));
    const Stats leftBefore = Region(t, mu, 2, 17), rightBefore = Region(t, mu, 23, 38);
    zor_r3d::ProgressReporter progress(nullptr, nullptr);
    ASSERT_TRUE(zor_r3d::SmoothTotalVariation(t, 10, 0.2f, 0.005f, mu, progress, 0.0, 1.0));
    const Stats left = Region(t, mu, 2, 17), right = Region(t, mu, 23, 38);
    EXPECT_LT(left.sd, 0.5 * leftBefore.sd);
    EXPECT_LT(right.sd, 0.5 * rightBefore.sd);
    EXPECT_NEAR(left.mean - right.mean, leftBefore.mean - rightBefore.mean, 0.002);
    // The voxels next to the edge keep most of the step (no blur over several voxels).
    const Stats edgeLeft = Region(t, mu, 18, 20), edgeRight = Region(t, mu, 20, 22);
    EXPECT_GT(edgeLeft.mean - edgeRight.mean, 0.7 * (0.062 - 0.021));
    for (float v : mu)
        ASSERT_GE(v, 0.0f);  // NaN fails too
}

// Noise constant over 2 x 2 voxels of the cross-section (the width of sparse-view streaks) is
// what the merged steps see; they flatten it and interpolate the change back without moving
// the edge. A remainder column (ny odd) is left as it was.
TEST(TotalVariation, MergedStepsFlattenBlockNoiseAndKeepTheEdgeInPlace) {
    zor_r3d::Trajectory t;
    t.Nx = 8, t.Ny = 41, t.Nz = 30;
    std::vector<float> mu(static_cast<size_t>(t.Nx) * t.Ny * t.Nz);
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.004f);
    std::vector<float> blocks(static_cast<size_t>(t.Nx) * 21 * 15);
    for (float& b : blocks)
        b = noise(random);
    for (size_t n = 0; n < mu.size(); ++n) {
        const size_t i = n / t.Nz / t.Ny, j = n / t.Nz % t.Ny, k = n % t.Nz;
        mu[n] = std::max(0.0f, (j < 20 ? 0.062f : 0.021f) + blocks[(i * 21 + j / 2) * 15 + k / 2]);
    }
    const std::vector<float> before = mu;
    const Stats leftBefore = Region(t, mu, 2, 18), rightBefore = Region(t, mu, 22, 38);
    zor_r3d::ProgressReporter progress(nullptr, nullptr);
    ASSERT_TRUE(
        zor_r3d::SmoothTotalVariationMerged(t, 2, 10, 0.2f, 0.005f, mu, progress, 0.0, 1.0));
    const Stats left = Region(t, mu, 2, 18), right = Region(t, mu, 22, 38);
    EXPECT_LT(left.sd, 0.65 * leftBefore.sd);
    EXPECT_LT(right.sd, 0.65 * rightBefore.sd);
    EXPECT_NEAR(left.mean - right.mean, leftBefore.mean - rightBefore.mean, 0.002);
    const Stats edgeLeft = Region(t, mu, 18, 20), edgeRight = Region(t, mu, 20, 22);
    EXPECT_GT(edgeLeft.mean - edgeRight.mean, 0.7 * (0.062 - 0.021));
    EXPECT_NEAR(Region(t, mu, 40, 41).mean, Region(t, before, 40, 41).mean, 0.004);
    for (float v : mu)
        ASSERT_GE(v, 0.0f);  // NaN fails too
    // A cross-section one voxel wide has nothing to merge.
    t.Ny = 1;
    std::vector<float> thin(static_cast<size_t>(t.Nx) * t.Nz, 0.05f);
    ASSERT_TRUE(
        zor_r3d::SmoothTotalVariationMerged(t, 2, 10, 0.2f, 0.005f, thin, progress, 0.0, 1.0));
    EXPECT_EQ(thin, std::vector<float>(thin.size(), 0.05f));
}

TEST(TotalVariation, StopsWhenCancelled) {
    zor_r3d::Trajectory t;
    t.Nx = 4, t.Ny = 8, t.Nz = 8;
    std::vector<float> mu(static_cast<size_t>(4) * 8 * 8, 0.05f);
    zor_r3d::ProgressReporter progress([](double, void*) { return -1; }, nullptr);
    EXPECT_FALSE(zor_r3d::SmoothTotalVariation(t, 5, 0.2f, 0.005f, mu, progress, 0.0, 1.0));
}

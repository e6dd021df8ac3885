// Metal: the voxels above the threshold are found, and the shadows they cast are bridged in
// a projection so that what lies beside them is all that remains.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SmallTrajectory.h"
#include "zor_r3d/FdkCore.h"
#include "zor_r3d/Metal.h"

TEST(Metal, ShadowsOfTheFoundMetalAreBridgedAndNothingElseChanges) {
    const zor_r3d::Trajectory t = SmallTrajectory();
    zor_r3d::FdkGeometry g;
    ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, g));
    for (int i = 0; i < t.Nx; ++i)
        zor_r3d::BuildMapSlab(t, g.Volume, i);
    // Dentine everywhere, a 2 × 3 × 4 voxel block of amalgam in the middle.
    const size_t n = static_cast<size_t>(t.Nx) * t.Ny * t.Nz;
    std::vector<float> mu(n, 0.062f);
    for (int i = 3; i < 5; ++i)
        for (int j = 10; j < 13; ++j)
            for (int k = 8; k < 12; ++k)
                mu[(static_cast<size_t>(i) * t.Ny + j) * t.Nz + k] = 0.6f;
    std::vector<unsigned char> mask;
    const std::vector<int> columns = zor_r3d::FindMetal(t, mu, 0.3f, mask);
    ASSERT_EQ(columns.size(), 6u);
    EXPECT_EQ(columns.front(), 3 * t.Ny + 10);
    size_t found = 0;
    for (unsigned char m : mask)
        found += m;
    EXPECT_EQ(found, 24u);
    // A view of smooth anatomy (linear along the rows) plus the metal's own line integrals:
    // bridging the shadow restores the smooth view exactly, the pixels beside it untouched.
    for (int v : {0, 5, 10}) {
        std::vector<float> smooth(static_cast<size_t>(t.DetCols) * t.DetRows), view;
        for (size_t p = 0; p < smooth.size(); ++p)
            smooth[p] = 0.5f + 0.01f * static_cast<float>(p % t.DetCols) +
                        0.002f * static_cast<float>(p / t.DetCols);
        view = smooth;
        for (int c : columns) {
            std::vector<float> block(mu.begin() + static_cast<long>(c) * t.Nz,
                                     mu.begin() + static_cast<long>(c + 1) * t.Nz);
            for (float& b : block)
                b = b > 0.3f ? b : 0.0f;
            zor_r3d::ProjectColumn(t, g.Volume, block.data(), c / t.Ny, c % t.Ny, v, view.data());
        }
        ASSERT_NE(view, smooth) << "view " << v << " sees the metal";
        zor_r3d::BridgeMetalShadow(t, g.Volume, mask, columns, v, view.data());
        for (size_t p = 0; p < view.size(); ++p)
            ASSERT_NEAR(view[p], smooth[p], 1e-4f) << "view " << v << ", pixel " << p;
    }
}

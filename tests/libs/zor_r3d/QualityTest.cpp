// The demo acquisition against both phantoms: thresholds are docs/reconstruction-quality.md less a
// margin; values within 20 %; mirrored, upside-down or misplaced cross-sections must fail.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "phantom/Quality.h"
#include "support/TempDir.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

using namespace zor::phantom;

namespace {

constexpr double kMag = 1.436031331592689;
constexpr int kDemoColumn = 1304;  // display column of the demo acquisition

// The reconstructed cross-section mirrored left to right, or upside down.
std::vector<float> Flipped(const SliceComparison& s, bool upsideDown) {
    std::vector<float> out(s.Reconstructed.size());
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t r = i / s.Width, c = i % s.Width;
        out[i] = s.Reconstructed[upsideDown ? (s.Height - 1 - r) * s.Width + c
                                            : r * s.Width + s.Width - 1 - c];
    }
    return out;
}

}  // namespace

TEST(ReconstructionQuality, DemoCrossSectionsMatchThePhantom) {
    const struct {
        const char* name;
        PhantomKind kind;
        double slabSigmaMm;  // 0: the thin truth
        double minNcc, minMean;
    } cases[] = {
        {"adult, slab truth", PhantomKind::Adult, 1.0, 0.80, 0.84},
        {"adult, thin truth", PhantomKind::Adult, 0.0, 0.70, 0.76},
        {"child, slab truth", PhantomKind::Child, 1.0, 0.86, 0.88},
        {"child, thin truth", PhantomKind::Child, 0.0, 0.79, 0.82},
    };
    for (PhantomKind kind : {PhantomKind::Adult, PhantomKind::Child}) {
        const zor::test::TempDir tmp;
        const std::string dir = tmp.Slash();
        const DentalPhantom phantom(kind);
        const auto lut = MakeLut(phantom, "");
        const auto& e = lut.Entries[kDemoColumn + PanoramicLayout::kMarginLeft];
        const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
        int xs, ys, rs, cols, ok = 1;
        ASSERT_EQ(CreateTrajectory(0, e.X, e.Y, -M_PI - e.Angle, 35.0, 20.0, 11, order,
                                   std::wstring(dir.begin(), dir.end()), 2.4, kMag, kMag, &xs, &ys,
                                   &rs, &cols, &ok),
                  0);
        std::string error;
        ASSERT_TRUE(ProjectTrajectoryFile(kind, dir + "ConeBeam.tra", dir, Exposure{}, &error))
            << error;
        void* h = R3DInit_2012();
        VolumeClass volume;
        ASSERT_TRUE(R3DPrepareVolume_2012(h, &volume, dir.c_str(), "ConeBeam.tra", nullptr, nullptr,
                                          0.35, true));
        ASSERT_TRUE(
            R3DReconstructVolume_2012(h, &volume, (dir + "Volume.vol").c_str(), nullptr, nullptr));
        R3DRelease_2012(h);
        for (const auto& c : cases) {
            if (c.kind != kind)
                continue;
            const auto cmp =
                CompareWithTruth(phantom, volume, {0.1, 0.3, 0.5, 0.7, 0.9}, c.slabSigmaMm);
            ASSERT_EQ(cmp.size(), 5u) << c.name;
            double mean = 0.0, mirrored = 0.0, upsideDown = 0.0, recon = 0.0, truth = 0.0;
            for (const auto& s : cmp) {
                EXPECT_GE(s.Ncc, c.minNcc) << c.name << ", position " << s.Position;  // NaN fails
                mean += s.Ncc / 5.0;
                mirrored += Ncc(s.Truth, Flipped(s, false)) / 5.0;
                upsideDown += Ncc(s.Truth, Flipped(s, true)) / 5.0;
                recon += std::accumulate(s.Reconstructed.begin(), s.Reconstructed.end(), 0.0);
                truth += std::accumulate(s.Truth.begin(), s.Truth.end(), 0.0);
            }
            std::printf("%s: mean NCC %.3f (mirrored %.3f, upside down %.3f), values x %.3f\n",
                        c.name, mean, mirrored, upsideDown, recon / truth);
            EXPECT_LT(mirrored, c.minMean) << c.name;
            EXPECT_LT(upsideDown, c.minMean) << c.name;
            EXPECT_GE(mean, c.minMean) << c.name;
            EXPECT_NEAR(recon / truth, 1.0, 0.2) << c.name;  // the values themselves: 1.01 today
        }
        const auto centre = CompareWithTruth(phantom, volume, {0.5});
        volume.Slice_Extract(0.7, 0.0, nullptr);
        const std::vector<float> other(volume.m_SliceBuffer,
                                       volume.m_SliceBuffer + volume.m_DimY * volume.m_DimZ);
        EXPECT_GT(centre[0].Ncc, Ncc(centre[0].Truth, other));
    }
}

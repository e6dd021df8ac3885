// Round trip at the real demo size: trajectory from the phantom's LUT, phantom projections,
// prepare + reconstruct, cross-sections against the phantom's truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "phantom/Quality.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;
using namespace zor::phantom;

namespace {

constexpr double kMag = 1.436031331592689;

struct Folder {
    Folder() {
        char tmpl[] = "/tmp/zor_roundtrip_XXXXXX";
        path = std::string(::mkdtemp(tmpl)) + "/";
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string path;
};

// The figures the reconstruction reaches on this phantom (docs/reconstruction-quality.md);
// a drop below them is a regression.
constexpr double kMinNcc = 0.65;
constexpr double kMinMeanNcc = 0.74;

}  // namespace

TEST(RoundTrip, CrossSectionsCorrelateWithThePhantom) {
    for (PhantomKind kind : {PhantomKind::Adult, PhantomKind::Child}) {
        Folder dir;
        const DentalPhantom phantom(kind);
        // As the system does: the volume of interest at the middle of the panoramic.
        const auto lut = MakeLut(phantom, "test");
        const auto& e = lut.Entries[PanoramicLayout::kRawCols / 2 + 150];
        const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
        int xs, ys, rs, cols, ok = 1;
        ASSERT_EQ(CreateTrajectory(0, e.X, e.Y, -M_PI - e.Angle, 35.0, 20.0, 11, order,
                                   std::wstring(dir.path.begin(), dir.path.end()), 2.4, kMag, kMag,
                                   &xs, &ys, &rs, &cols, &ok),
                  0);
        std::string error;
        ASSERT_TRUE(
            ProjectTrajectoryFile(kind, dir.path + "ConeBeam.tra", dir.path, Exposure{}, &error))
            << error;
        void* h = R3DInit_2012();
        VolumeClass volume;
        ASSERT_TRUE(R3DPrepareVolume_2012(h, &volume, dir.path.c_str(), "ConeBeam.tra", nullptr,
                                          nullptr, 0.35, true));
        ASSERT_TRUE(R3DReconstructVolume_2012(h, &volume, (dir.path + "Volume.vol").c_str(),
                                              nullptr, nullptr));
        R3DRelease_2012(h);
        const auto cmp = CompareWithTruth(phantom, volume, {0.1, 0.3, 0.5, 0.7, 0.9});
        ASSERT_EQ(cmp.size(), 5u);
        double mean = 0.0;
        for (const auto& c : cmp) {
            EXPECT_GE(c.Ncc, kMinNcc) << "position " << c.Position;  // NaN fails as well
            mean += c.Ncc / 5.0;
            std::printf("%s position %.2f NCC %.3f\n",
                        kind == PhantomKind::Adult ? "adult" : "child", c.Position, c.Ncc);
        }
        EXPECT_GE(mean, kMinMeanNcc);
        // The slice through the centre must also beat the same slice a few mm away.
        const auto shifted = CompareWithTruth(phantom, volume, {0.5});
        VolumeClass moved;
        ASSERT_EQ(moved.mInit((dir.path + "Volume.vol").c_str()), 0);
        moved.Slice_Extract(0.7, 0.0, nullptr);
        std::vector<float> other(moved.m_SliceBuffer,
                                 moved.m_SliceBuffer + moved.m_DimY * moved.m_DimZ);
        EXPECT_GT(shifted[0].Ncc, Ncc(shifted[0].Truth, other));
    }
}

// Reconstruction library: projector/backprojector adjointness, failure paths, cancel and
// the atomic output file. The phantom round trip lives with the phantom's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SmallTrajectory.h"
#include "support/TempDir.h"
#include "zor_r3d/FdkCore.h"
#include "zor_r3d/Parallel.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;
using zor::test::TempDir;

namespace {

// Writes `t` and flat projections (every sample `value`) of the given size into `dir`.
void WriteSet(const std::string& dir, const zor_r3d::Trajectory& t, int cols, int rows,
              uint16_t value = 30000) {
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(dir, t));
    for (int i = 1; i <= t.Views; ++i) {
        std::vector<uint16_t> s(static_cast<size_t>(cols) * rows, value);
        ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(zor_r3d::ProjectionPath(dir, i), cols, rows, s,
                                             "tech_fact_s=0.5,DAP=1.0"));
    }
}

// Records the reported fractions; returns -1 (cancel) from the first report at or above
// `cancelFrom`, noting how many work items had begun by then.
struct Recorder {
    std::vector<double> fractions;
    double cancelFrom = 2.0;
    int reportsAfterCancel = 0;
    long long itemsAtCancel = -1;
    static int Callback(double f, void* ctx) {
        auto* r = static_cast<Recorder*>(ctx);
        if (r->itemsAtCancel >= 0) {
            ++r->reportsAfterCancel;
        }
        r->fractions.push_back(f);
        if (f >= r->cancelFrom) {
            r->itemsAtCancel = zor_r3d::WorkItemsStarted();
            return -1;
        }
        return 0;
    }
};

}  // namespace

// <A x, y> = <x, A^T y> for the footprint projector and its transpose.
TEST(Projector, FootprintPairIsAdjoint) {
    const zor_r3d::Trajectory t = SmallTrajectory();
    zor_r3d::FdkGeometry g;
    ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, g));
    for (int i = 0; i < t.Nx; ++i) {
        zor_r3d::BuildMapSlab(t, g.Volume, i);
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const size_t nvox = static_cast<size_t>(t.Nx) * t.Ny * t.Nz;
    const size_t ndet = static_cast<size_t>(t.DetCols) * t.DetRows;
    std::vector<float> x(nvox), y(ndet * t.Views);
    for (auto& v : x)
        v = u(rng);
    for (auto& v : y)
        v = u(rng);
    double ax_y = 0.0, x_aty = 0.0;
    for (int v = 0; v < t.Views; ++v) {
        std::vector<float> ax(ndet, 0.0f);
        for (int i = 0; i < t.Nx; ++i) {
            for (int j = 0; j < t.Ny; ++j) {
                const size_t col = (static_cast<size_t>(i) * t.Ny + j) * t.Nz;
                zor_r3d::ProjectColumn(t, g.Volume, x.data() + col, i, j, v, ax.data());
                std::vector<float> aty(static_cast<size_t>(t.Nz), 0.0f);
                zor_r3d::BackprojectColumnFootprint(t, g.Volume, y.data() + v * ndet, i, j, v,
                                                    aty.data());
                for (int k = 0; k < t.Nz; ++k) {
                    x_aty += static_cast<double>(x[col + k]) * aty[static_cast<size_t>(k)];
                }
            }
        }
        for (size_t p = 0; p < ndet; ++p) {
            ax_y += static_cast<double>(ax[p]) * y[v * ndet + p];
        }
    }
    ASSERT_TRUE(std::isfinite(ax_y));
    EXPECT_GT(ax_y, 0.0);
    EXPECT_NEAR(ax_y / x_aty, 1.0, 1e-4);
}

// A uniform block projected with the footprint projector and reconstructed by filtered
// backprojection comes back with its attenuation in the middle of the block.
TEST(Reconstruction, RecoversTheValueOfAUniformBlock) {
    zor_r3d::Trajectory t = SmallTrajectory();
    TempDir dir;
    zor_r3d::FdkGeometry g;
    ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, g));
    for (int i = 0; i < t.Nx; ++i) {
        zor_r3d::BuildMapSlab(t, g.Volume, i);
    }
    const float mu = 0.05f;
    std::vector<float> column(static_cast<size_t>(t.Nz), mu);
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(dir.Slash(), t));
    for (int a = 0; a < t.Views; ++a) {
        const int v = t.Order[static_cast<size_t>(a)];
        std::vector<float> p(static_cast<size_t>(t.DetCols) * t.DetRows, 0.0f);
        for (int i = 0; i < t.Nx; ++i) {
            for (int j = 0; j < t.Ny; ++j) {
                zor_r3d::ProjectColumn(t, g.Volume, column.data(), i, j, v, p.data());
            }
        }
        std::vector<uint16_t> s(p.size());
        for (size_t q = 0; q < p.size(); ++q) {
            s[q] = static_cast<uint16_t>(std::lround(zor_r3d::kFlatValue * std::exp(-p[q])));
        }
        ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(zor_r3d::ProjectionPath(dir.Slash(), a + 1), t.DetCols,
                                             t.DetRows, s, ""));
    }
    void* h = R3DInit_2012();
    VolumeClass vol;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra", nullptr,
                                      nullptr, 0.35, true));
    ASSERT_TRUE(
        R3DReconstructVolume_2012(h, &vol, (dir.Slash() + "Volume.vol").c_str(), nullptr, nullptr));
    R3DRelease_2012(h);
    ASSERT_FALSE(vol.mIsNull());
    const auto& hd = vol.Header();
    const uint16_t centre =
        vol.Voxels()[((static_cast<size_t>(t.Nx / 2) * t.Ny) + t.Ny / 2) * t.Nz + t.Nz / 2];
    const double got = (centre - hd.ValueOffset) / hd.ValueScale;
    EXPECT_NEAR(got, mu, 0.25 * mu);  // sparse views: shape is approximate, scale is not
}

TEST(Reconstruction, BadInputFailsWithoutWritingAVolume) {
    const zor_r3d::Trajectory t = SmallTrajectory();
    struct Case {
        const char* name;
        std::function<void(const std::string&)> setup;
        bool prepares;
    };
    const Case cases[] = {
        {"no trajectory", [](const std::string&) {}, false},
        {"corrupt trajectory",
         [](const std::string& d) { std::ofstream(d + "ConeBeam.tra") << "ZORTRA 1\nviews=x\n"; },
         false},
        {"missing projection",
         [&](const std::string& d) {
             WriteSet(d, t, t.DetCols, t.DetRows);
             fs::remove(zor_r3d::ProjectionPath(d, 7));
         },
         true},
        {"wrong size", [&](const std::string& d) { WriteSet(d, t, t.DetCols - 1, t.DetRows); },
         true},
        {"not a tiff",
         [&](const std::string& d) {
             WriteSet(d, t, t.DetCols, t.DetRows);
             std::ofstream(zor_r3d::ProjectionPath(d, 3)) << "II*\0garbage";
         },
         true},
        {"truncated tiff",
         [&](const std::string& d) {
             WriteSet(d, t, t.DetCols, t.DetRows);
             fs::resize_file(zor_r3d::ProjectionPath(d, 11), 300);
         },
         true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.setup(dir.Slash());
        const int before = dir.Count();
        void* h = R3DInit_2012();
        VolumeClass vol;
        EXPECT_EQ(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra", nullptr,
                                        nullptr, 0.35, true),
                  c.prepares)
            << c.name;
        EXPECT_FALSE(R3DReconstructVolume_2012(h, &vol, (dir.Slash() + "Volume.vol").c_str(),
                                               nullptr, nullptr))
            << c.name;
        R3DRelease_2012(h);
        EXPECT_EQ(dir.Count(), before) << c.name;
        EXPECT_TRUE(vol.mIsNull()) << c.name;
    }
    VolumeClass vol;
    EXPECT_FALSE(R3DPrepareVolume_2012(nullptr, &vol, "/tmp/", "ConeBeam.tra", nullptr, nullptr,
                                       0.35, true));
    void* h = R3DInit_2012();
    EXPECT_FALSE(
        R3DPrepareVolume_2012(h, &vol, nullptr, "ConeBeam.tra", nullptr, nullptr, 0.35, true));
    EXPECT_FALSE(R3DReconstructVolume_2012(h, &vol, "/tmp/never.vol", nullptr, nullptr));
    R3DRelease_2012(h);
    R3DRelease_2012(nullptr);
}

TEST(Reconstruction, ProgressRunsFromZeroToOneAndTheFileIsComplete) {
    TempDir dir;
    const zor_r3d::Trajectory t = SmallTrajectory();
    WriteSet(dir.Slash(), t, t.DetCols, t.DetRows);
    void* h = R3DInit_2012();
    VolumeClass vol;
    Recorder prep, rec;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra",
                                      &Recorder::Callback, &prep, 0.35, true));
    ASSERT_TRUE(R3DReconstructVolume_2012(h, &vol, (dir.Slash() + "Volume.vol").c_str(),
                                          &Recorder::Callback, &rec));
    R3DRelease_2012(h);
    for (const Recorder* r : {&prep, &rec}) {
        ASSERT_FALSE(r->fractions.empty());
        EXPECT_EQ(r->fractions.front(), 0.0);
        EXPECT_EQ(r->fractions.back(), 1.0);
        const auto drop = std::is_sorted_until(r->fractions.begin(), r->fractions.end());
        EXPECT_TRUE(drop == r->fractions.end()) << "falls to " << *drop << " after " << *(drop - 1)
                                                << " at report " << (drop - r->fractions.begin());
    }
    VolumeClass loaded;
    ASSERT_EQ(loaded.mInit((dir.Slash() + "Volume.vol").c_str()), 0);
    EXPECT_EQ(loaded.m_DimX, t.Nx);
    EXPECT_TRUE(std::equal(loaded.Voxels(), loaded.Voxels() + t.Nx * t.Ny * t.Nz, vol.Voxels()));
}

// At the real size, cancelled inside the reconstruction's stages: it fails, the callback hears
// nothing more, no stage goes on to further work items (at most one per worker thread may
// already have checked the flag), and an older volume stays untouched. How quickly it stops is
// measured by bench/recon (BM_CancelLatency).
TEST(Reconstruction, CancelStartsNoFurtherWorkAndKeepsTheOldVolume) {
    TempDir dir;
    zor_r3d::Trajectory t;
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.CentreY = -40.0;
    t.AxisAngleRad = M_PI;
    WriteSet(dir.Slash(), t, t.DetCols, t.DetRows);
    zor::test::WriteFile(dir / "Volume.vol", "older volume");
    const long long workers = std::max(1u, std::thread::hardware_concurrency());
    void* h = R3DInit_2012();
    VolumeClass vol;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra", nullptr,
                                      nullptr, 0.35, true));
    // Reading, the anatomy model, its projection, the backprojection.
    for (double cancelFrom : {0.0, 0.05, 0.3, 0.42, 0.6}) {
        Recorder rec;
        rec.cancelFrom = cancelFrom;
        EXPECT_FALSE(R3DReconstructVolume_2012(h, &vol, dir.File("Volume.vol").c_str(),
                                               &Recorder::Callback, &rec));
        ASSERT_GE(rec.itemsAtCancel, 0) << cancelFrom;
        EXPECT_LE(zor_r3d::WorkItemsStarted() - rec.itemsAtCancel, workers) << cancelFrom;
        EXPECT_EQ(rec.reportsAfterCancel, 0) << cancelFrom;
        EXPECT_EQ(dir.Count(), 11 + 5 + 1) << cancelFrom;  // projections, trajectory, old volume
        EXPECT_EQ(zor::test::ReadFile(dir / "Volume.vol"), "older volume") << cancelFrom;
    }
    R3DRelease_2012(h);
    EXPECT_TRUE(vol.mIsNull());
}

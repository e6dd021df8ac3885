// Reconstruction library: projector/backprojector adjointness, failure paths, cancel and
// the atomic output file. The phantom round trip lives with the phantom's tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "zor_r3d/FdkCore.h"
#include "zor_r3d/ProjectionIo.h"
#include "zor_r3d/R3D.h"
#include "zor_r3d/Trajectory.h"
#include "zor_vol/VolumeClass.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Folder {
    Folder() {
        char tmpl[] = "/tmp/zor_rec_test_XXXXXX";
        path = ::mkdtemp(tmpl);
        path += "/";
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    int Count() const {
        return static_cast<int>(
            std::distance(fs::directory_iterator(path), fs::directory_iterator{}));
    }
    std::string path;
};

zor_r3d::Trajectory Small() {
    zor_r3d::Trajectory t;
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.CentreY = -40.0;
    t.AxisAngleRad = M_PI;
    t.Nx = 8;
    t.Ny = 24;
    t.Nz = 20;
    t.Dx = 0.7;
    t.Dy = t.Dz = 0.3;
    t.DetCols = 64;
    t.DetRows = 30;
    t.PitchU = t.PitchV = 0.3;
    return t;
}

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

struct Recorder {
    std::vector<double> fractions;
    double cancelFrom = 2.0;  // return -1 once a fraction reaches this
    Clock::time_point cancelledAt{};
    static int Callback(double f, void* ctx) {
        auto* r = static_cast<Recorder*>(ctx);
        r->fractions.push_back(f);
        if (f >= r->cancelFrom) {
            if (r->cancelledAt == Clock::time_point{}) {
                r->cancelledAt = Clock::now();
            }
            return -1;
        }
        return 0;
    }
};

}  // namespace

// <A x, y> = <x, A^T y> for the footprint projector and its transpose.
TEST(Projector, FootprintPairIsAdjoint) {
    const zor_r3d::Trajectory t = Small();
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
    zor_r3d::Trajectory t = Small();
    Folder dir;
    zor_r3d::FdkGeometry g;
    ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, g));
    for (int i = 0; i < t.Nx; ++i) {
        zor_r3d::BuildMapSlab(t, g.Volume, i);
    }
    const float mu = 0.05f;
    std::vector<float> column(static_cast<size_t>(t.Nz), mu);
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(dir.path, t));
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
        ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(zor_r3d::ProjectionPath(dir.path, a + 1), t.DetCols,
                                             t.DetRows, s, ""));
    }
    void* h = R3DInit_2012();
    VolumeClass vol;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.path.c_str(), "ConeBeam.tra", nullptr, nullptr,
                                      0.35, true));
    ASSERT_TRUE(
        R3DReconstructVolume_2012(h, &vol, (dir.path + "Volume.vol").c_str(), nullptr, nullptr));
    R3DRelease_2012(h);
    ASSERT_FALSE(vol.mIsNull());
    const auto& hd = vol.Header();
    const uint16_t centre =
        vol.Voxels()[((static_cast<size_t>(t.Nx / 2) * t.Ny) + t.Ny / 2) * t.Nz + t.Nz / 2];
    const double got = (centre - hd.ValueOffset) / hd.ValueScale;
    EXPECT_NEAR(got, mu, 0.25 * mu);  // sparse views: shape is approximate, scale is not
}

TEST(Reconstruction, BadInputFailsWithoutWritingAVolume) {
    const zor_r3d::Trajectory t = Small();
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
        Folder dir;
        c.setup(dir.path);
        const int before = dir.Count();
        void* h = R3DInit_2012();
        VolumeClass vol;
        EXPECT_EQ(R3DPrepareVolume_2012(h, &vol, dir.path.c_str(), "ConeBeam.tra", nullptr, nullptr,
                                        0.35, true),
                  c.prepares)
            << c.name;
        EXPECT_FALSE(
            R3DReconstructVolume_2012(h, &vol, (dir.path + "Volume.vol").c_str(), nullptr, nullptr))
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
    Folder dir;
    const zor_r3d::Trajectory t = Small();
    WriteSet(dir.path, t, t.DetCols, t.DetRows);
    void* h = R3DInit_2012();
    VolumeClass vol;
    Recorder prep, rec;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.path.c_str(), "ConeBeam.tra",
                                      &Recorder::Callback, &prep, 0.35, true));
    ASSERT_TRUE(R3DReconstructVolume_2012(h, &vol, (dir.path + "Volume.vol").c_str(),
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
    ASSERT_EQ(loaded.mInit((dir.path + "Volume.vol").c_str()), 0);
    EXPECT_EQ(loaded.m_DimX, t.Nx);
    EXPECT_TRUE(std::equal(loaded.Voxels(), loaded.Voxels() + t.Nx * t.Ny * t.Nz, vol.Voxels()));
}

// At the real size: the callback's -1 stops the reconstruction quickly, nothing is written
// and an older volume stays untouched.
TEST(Reconstruction, CancelStopsWithin100MsAndKeepsTheOldVolume) {
    Folder dir;
    zor_r3d::Trajectory t;
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.CentreY = -40.0;
    t.AxisAngleRad = M_PI;
    WriteSet(dir.path, t, t.DetCols, t.DetRows);
    std::ofstream(dir.path + "Volume.vol") << "older volume";
    for (double cancelFrom : {0.0, 0.3, 0.42, 0.6}) {
        void* h = R3DInit_2012();
        VolumeClass vol;
        ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.path.c_str(), "ConeBeam.tra", nullptr,
                                          nullptr, 0.35, true));
        Recorder rec;
        rec.cancelFrom = cancelFrom;
        EXPECT_FALSE(R3DReconstructVolume_2012(h, &vol, (dir.path + "Volume.vol").c_str(),
                                               &Recorder::Callback, &rec));
        const auto stoppedAfter = Clock::now() - rec.cancelledAt;
        R3DRelease_2012(h);
        ASSERT_NE(rec.cancelledAt, Clock::time_point{}) << cancelFrom;
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(stoppedAfter).count(), 100)
            << cancelFrom;
        EXPECT_EQ(dir.Count(), 11 + 5 + 1)
            << cancelFrom;  // projections, trajectory files, old volume
        std::ifstream old(dir.path + "Volume.vol");
        std::string text;
        std::getline(old, text);
        EXPECT_EQ(text, "older volume");
    }
}

// Reconstruction library: failures, cancel, progress, atomic output (values: QualityTest).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <numeric>
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
void WriteSet(const std::string& dir, const zor_r3d::Trajectory& t, int cols, int rows) {
    ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(dir, t));
    const std::vector<uint16_t> s(static_cast<size_t>(cols) * rows, 30000);
    for (int i = 1; i <= t.Views; ++i)
        ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(zor_r3d::ProjectionPath(dir, i), cols, rows, s,
                                             "tech_fact_s=0.5,DAP=1.0"));
}

// Records the fractions; cancels from `cancelFrom` on, noting the work items begun by then.
struct Recorder {
    std::vector<double> fractions;
    double cancelFrom = 2.0;
    int reportsAfterCancel = 0;
    long long itemsAtCancel = -1;
    static int Callback(double f, void* ctx) {
        auto* r = static_cast<Recorder*>(ctx);
        r->reportsAfterCancel += r->itemsAtCancel >= 0;
        r->fractions.push_back(f);
        if (f < r->cancelFrom)
            return 0;
        r->itemsAtCancel = zor_r3d::WorkItemsStarted();
        return -1;
    }
};

}  // namespace

// The footprint projector and its backprojector are each other's transpose: <Ax, y> = <x, Aᵀy>,
// for voxel rows about one detector row high (spread over at most three rows) and three high.
TEST(Projector, FootprintPairIsAdjoint) {
    for (double height : {1.0, 3.0}) {
        zor_r3d::Trajectory t = SmallTrajectory();
        t.Dz *= height;
        zor_r3d::FdkGeometry g;
        ASSERT_TRUE(zor_r3d::BuildFdkGeometry(t, 0.35, true, g));
        for (int i = 0; i < t.Nx; ++i)
            zor_r3d::BuildMapSlab(t, g.Volume, i);
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
                    for (int k = 0; k < t.Nz; ++k)
                        x_aty += static_cast<double>(x[col + k]) * aty[static_cast<size_t>(k)];
                }
            }
            for (size_t p = 0; p < ndet; ++p)
                ax_y += static_cast<double>(ax[p]) * y[v * ndet + p];
        }
        ASSERT_TRUE(std::isfinite(ax_y));
        EXPECT_GT(ax_y, 0.0);
        EXPECT_NEAR(ax_y / x_aty, 1.0, 1e-4) << "voxel height " << height;
    }
}

TEST(Reconstruction, BadInputFailsWithoutWritingAVolume) {
    const zor_r3d::Trajectory t = SmallTrajectory();
    // A full set with one projection damaged by `damage`.
    auto damaged = [&](int index, std::function<void(const std::string&)> damage) {
        return [=](const std::string& d) {
            WriteSet(d, t, t.DetCols, t.DetRows);
            damage(zor_r3d::ProjectionPath(d, index));
        };
    };
    const struct {
        const char* name;
        std::function<void(const std::string&)> setup;
        bool prepares;
    } cases[] = {
        {"no trajectory", [](const std::string&) {}, false},
        {"missing projection", damaged(7, [](const std::string& p) { fs::remove(p); }), true},
        {"wrong size", [&](const std::string& d) { WriteSet(d, t, t.DetCols - 1, t.DetRows); },
         true},
        {"not a tiff", damaged(3, [](const std::string& p) { std::ofstream(p) << "II*\0garbage"; }),
         true},
        {"truncated tiff", damaged(11, [](const std::string& p) { fs::resize_file(p, 300); }),
         true},
        {"FIFO", damaged(5, [](const std::string& p) { fs::remove(p), ::mkfifo(p.c_str(), 0600); }),
         true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        c.setup(dir.Slash());
        const int before = dir.Count();
        void* h = R3DInit_2012();
        VolumeClass vol;
        EXPECT_EQ(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra", nullptr,
                                        nullptr, 0.35, true),
                  c.prepares)
            << c.name;
        EXPECT_FALSE(
            R3DReconstructVolume_2012(h, &vol, dir.File("Volume.vol").c_str(), nullptr, nullptr))
            << c.name;
        EXPECT_NE(std::string(R3DLastError_2012(h)), "") << c.name;
        if (c.name == std::string("FIFO")) {
            EXPECT_NE(std::string(R3DLastError_2012(h)).find("FIFO"), std::string::npos);
        }
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

// Cancelled in each stage: no report or work item more (one per worker may have begun), the old
// volume kept. Not cancelled: progress rises from 0 to 1, the volume written is the one returned.
TEST(Reconstruction, CancelStartsNoFurtherWorkAndKeepsTheOldVolume) {
    TempDir dir;
    zor_r3d::Trajectory t;
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.CentreY = -40.0, t.AxisAngleRad = M_PI;
    WriteSet(dir.Slash(), t, t.DetCols, t.DetRows);
    zor::test::WriteFile(dir / "Volume.vol", "older volume");
    const long long workers = std::max(1u, std::thread::hardware_concurrency());
    void* h = R3DInit_2012();
    VolumeClass vol;
    Recorder prep, full;
    ASSERT_TRUE(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra",
                                      &Recorder::Callback, &prep, 0.35, true));
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
    EXPECT_TRUE(vol.mIsNull());
    ASSERT_TRUE(R3DReconstructVolume_2012(h, &vol, dir.File("Volume.vol").c_str(),
                                          &Recorder::Callback, &full));
    R3DRelease_2012(h);
    for (const Recorder* r : {&prep, &full}) {
        ASSERT_FALSE(r->fractions.empty());
        EXPECT_EQ(std::pair(r->fractions.front(), r->fractions.back()), std::pair(0.0, 1.0));
        const auto drop = std::is_sorted_until(r->fractions.begin(), r->fractions.end());
        EXPECT_TRUE(drop == r->fractions.end()) << "falls to " << *drop << " after " << *(drop - 1);
    }
    VolumeClass loaded;
    ASSERT_EQ(loaded.mInit(dir.File("Volume.vol").c_str()), 0);
    EXPECT_EQ(loaded.m_DimX, t.Nx);
    EXPECT_TRUE(std::equal(loaded.Voxels(), loaded.Voxels() + t.Nx * t.Ny * t.Nz, vol.Voxels()));
}

// Jobs too large for the machine are refused before any allocation (not refused: cancelled).
TEST(Reconstruction, JobsBeyondTheMemoryOrWorkBoundAreRefusedUpFront) {
    zor_r3d::Trajectory huge = SmallTrajectory(4096, 4096);  // 64 views: 8 GiB of projections
    zor_r3d::Trajectory deep = SmallTrajectory();            // 64 views of 52 M voxels
    for (zor_r3d::Trajectory* t : {&huge, &deep}) {
        t->Views = 64, t->StepDeg = 5.0;
        t->Order.resize(64);
        std::iota(t->Order.begin(), t->Order.end(), 0);
    }
    deep.Nx = 50;
    deep.Ny = deep.Nz = 1024;
    auto cancelLater = [](double f, void*) { return f > 0.0 ? -1 : 0; };
    for (const auto& [t, bound] : {std::pair(huge, "of memory"), std::pair(deep, "work units")}) {
        TempDir dir;
        ASSERT_TRUE(zor_r3d::WriteTrajectoryFiles(dir.Slash(), t));
        void* h = R3DInit_2012();
        VolumeClass vol;
        EXPECT_FALSE(R3DPrepareVolume_2012(h, &vol, dir.Slash().c_str(), "ConeBeam.tra",
                                           cancelLater, nullptr, 0.35, true));
        const std::string error = R3DLastError_2012(h);
        EXPECT_NE(error.find("refused"), std::string::npos) << error;
        EXPECT_NE(error.find(bound), std::string::npos) << error;
        R3DRelease_2012(h);
    }
}

// A projection shrunk while read gives an error, not SIGBUS (in a child that a signal fails).
[[noreturn]] void ReadShrinkingFile(const std::string& tif) {
    const std::string whole = zor::test::ReadFile(tif);
    int w = 0, h = 0;
    std::vector<uint16_t> s;
    std::atomic<bool> stop{false};
    // Whole for 2 ms, then cut to its first page and written again.
    std::thread shrink([&] {
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            (void)::truncate(tif.c_str(), 4096);
            zor::test::WriteFile(tif, whole);
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < end) {
        w = h = 0;
        zor_r3d::ReadGrey16Tiff(tif, w, h, s);
    }
    stop.store(true);
    shrink.join();
    std::_Exit(0);
}

TEST(ProjectionIo, AFileShrinkingWhileReadIsNoCrash) {
    TempDir dir;
    const std::string tif = dir.File("p.tif");
    const int side = 2048;
    ASSERT_TRUE(zor_r3d::WriteGrey16Tiff(tif, side, side,
                                         std::vector<uint16_t>(size_t{side} * side, 1000), ""));
    EXPECT_EXIT(ReadShrinkingFile(tif), ::testing::ExitedWithCode(0), "");
}

// Speed of the demo-size operations: 48 crosses from a 50 × 240 × 270 volume, prepare +
// reconstruct of the 11 demo projections and its cancel latency, forward projection of the
// phantom.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "phantom/DemoData.h"
#include "phantom/DentalPhantom.h"
#include "phantom/PhantomImaging.h"
#include "zor_r3d/R3D.h"
#include "zor_vol/VolumeClass.h"

namespace {

constexpr double kMag = 1.436031331592689;

// An acquisition of the adult phantom at raw panoramic column `column` (the demo's: the
// midline) and its 11 projections, written once per process into a temporary folder.
struct DemoSet {
    std::string folder;
    zor::phantom::DentalPhantom phantom{zor::phantom::PhantomKind::Adult};
    std::shared_ptr<const zor::phantom::PhantomGrid> grid;
    zor_r3d::Trajectory trajectory;

    explicit DemoSet(int column) {
        char tmpl[] = "/tmp/zor_bench_XXXXXX";
        folder = std::string(::mkdtemp(tmpl)) + "/";
        const auto lut = zor::phantom::MakeLut(phantom, "bench");
        const auto& e = lut.Entries[static_cast<size_t>(column)];
        const int order[11] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
        int xs, ys, rs, cols, ok = 1;
        CreateTrajectory(0, e.X, e.Y, -M_PI - e.Angle, 35.0, 20.0, 11, order,
                         std::wstring(folder.begin(), folder.end()), 2.4, kMag, kMag, &xs, &ys, &rs,
                         &cols, &ok);
        zor_r3d::ReadTrajectoryFile(folder + "ConeBeam.tra", trajectory);
        grid = zor::phantom::BuildGrid(phantom);
        zor::phantom::WriteProjections(*grid, trajectory, folder, zor::phantom::Exposure{},
                                       nullptr);
    }
    ~DemoSet() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

constexpr int kMidline = zor::phantom::PanoramicLayout::kRawCols / 2;
constexpr int kMolars = 1974;  // the left molars, with the amalgam filling

DemoSet& Demo(int column = kMidline) {
    static DemoSet midline(kMidline);
    if (column == kMolars) {
        static DemoSet molars(kMolars);
        return molars;
    }
    return midline;
}

void BM_SliceExtract48Crosses(benchmark::State& state) {
    zor_vol_file::VolumeHeader h;
    h.Nx = 50;
    h.Ny = 240;
    h.Nz = 270;
    h.AxisAngle = M_PI;
    h.CentreY = -40.0;
    std::vector<uint16_t> voxels(static_cast<size_t>(h.Nx) * h.Ny * h.Nz);
    std::mt19937 rng(1);
    for (auto& v : voxels) {
        v = static_cast<uint16_t>(rng() & 0xFFF);
    }
    VolumeClass volume;
    volume.mAttach(h, std::move(voxels));
    for (auto _ : state) {
        volume.Slice_Extract(0.5, 0.0, nullptr);
        for (int i = 0; i < 48; ++i) {
            SliceInfo info;
            const double pos = (i + 2) / 50.0;
            volume.Slice_Extract(pos, (i - 24) * 0.012, &info);  // crosses follow the arch
            benchmark::DoNotOptimize(volume.m_SliceBuffer[i]);
        }
    }
    state.counters["slices"] = 48;
}
BENCHMARK(BM_SliceExtract48Crosses)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Arg: the raw column; at the molars the metal's shadows are bridged and the detail
// backprojected a second time.
void BM_PrepareAndReconstruct(benchmark::State& state) {
    DemoSet& demo = Demo(static_cast<int>(state.range(0)));
    const std::string out = demo.folder + "Volume.vol";
    for (auto _ : state) {
        void* h = R3DInit_2012();
        VolumeClass volume;
        const bool ok = R3DPrepareVolume_2012(h, &volume, demo.folder.c_str(), "ConeBeam.tra",
                                              nullptr, nullptr, 0.35, true) &&
                        R3DReconstructVolume_2012(h, &volume, out.c_str(), nullptr, nullptr);
        R3DRelease_2012(h);
        if (!ok) {
            state.SkipWithError("reconstruction failed");
            break;
        }
    }
}
BENCHMARK(BM_PrepareAndReconstruct)
    ->Arg(kMidline)
    ->Arg(kMolars)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Time from the callback's -1 to the reconstruction's return, cancelled at state.range(0) %
// (30: the anatomy model, 42: its projection, 60: the backprojection). The tests only check
// that no further work starts; this is how long the work in flight takes to notice.
struct CancelClock {
    double from;
    std::chrono::steady_clock::time_point at{};
    static int Callback(double fraction, void* context) {
        auto* c = static_cast<CancelClock*>(context);
        if (fraction < c->from) {
            return 0;
        }
        if (c->at == std::chrono::steady_clock::time_point{}) {
            c->at = std::chrono::steady_clock::now();
        }
        return -1;
    }
};

void BM_CancelLatency(benchmark::State& state) {
    DemoSet& demo = Demo();
    const std::string out = demo.folder + "Cancelled.vol";
    void* h = R3DInit_2012();
    VolumeClass volume;
    if (!R3DPrepareVolume_2012(h, &volume, demo.folder.c_str(), "ConeBeam.tra", nullptr, nullptr,
                               0.35, true)) {
        state.SkipWithError("prepare failed");
    }
    for (auto _ : state) {
        CancelClock clock{static_cast<double>(state.range(0)) / 100.0};
        const bool finished =
            R3DReconstructVolume_2012(h, &volume, out.c_str(), &CancelClock::Callback, &clock);
        const auto end = std::chrono::steady_clock::now();
        if (finished || clock.at == std::chrono::steady_clock::time_point{}) {
            state.SkipWithError("the reconstruction was not cancelled");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - clock.at).count());
    }
    R3DRelease_2012(h);
}
BENCHMARK(BM_CancelLatency)
    ->Arg(30)
    ->Arg(42)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

void BM_ForwardProjection11Views(benchmark::State& state) {
    DemoSet& demo = Demo();
    for (auto _ : state) {
        auto views = zor::phantom::ProjectViews(*demo.grid, demo.trajectory);
        benchmark::DoNotOptimize(views[0][0]);
    }
}
BENCHMARK(BM_ForwardProjection11Views)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_PhantomVoxelisation(benchmark::State& state) {
    const zor::phantom::DentalPhantom phantom(zor::phantom::PhantomKind::Adult);
    for (auto _ : state) {
        auto grid = zor::phantom::BuildGrid(phantom);
        benchmark::DoNotOptimize(grid->Mu[0]);
    }
}
BENCHMARK(BM_PhantomVoxelisation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();

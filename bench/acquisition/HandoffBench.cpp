// The whole trajectory hand-off as the operator waits for it (without the fixed wait after it):
// LUT point, trajectory files, collimator, technique, "Param.txt" and a real program start.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "acquisition/TrajectoryHandoff.h"
#include "phantom/DemoData.h"

namespace fs = std::filesystem;

namespace {

void BM_ComputeAndSendTrajectory(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "zor-handoff-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const fs::path dir = pattern;
    fs::create_directories(dir / "work");
    // The driver program stand-in: a program that ends at once.
    fs::create_symlink("/bin/true", dir / "DeviceDriverHost");
    auto table = zor::phantom::MakeLut(
        zor::phantom::DentalPhantom(zor::phantom::PhantomKind::Adult), "0.0.31.10");
    const std::string folder = dir.string() + "/";
    CLUTProjection lut;
    if (!zor_vol_lut::WriteLutFile(folder + "0.0.31.10_X.LUT", table) ||
        lut.LoadLUT(L"0.0.31.10", 74, std::wstring(folder.begin(), folder.end())) != 0) {
        state.SkipWithError("no LUT");
        fs::remove_all(dir);
        return;
    }
    zor::acquisition::HandoffInput in;
    in.InstallDir = dir;
    in.VoiSelected = true;
    in.VoiLeft = 1284, in.VoiRight = 1324;
    in.Lut = &lut;
    in.DriverRunning = [] { return true; };
    in.ArchAngle = table.Entries[1304 + 74].Angle;
    in.Kv0 = 70, in.Ma0 = 8, in.ExposureTimeMs = 12000, in.Orientation = 3;
    in.YAxisMovable = true;
    in.Geometry = {0, 800, 100, 700, 300, 650, 0, 0, 1};
    for (auto _ : state) {
        const auto out = zor::acquisition::ComputeAndSendTrajectory(in);
        if (!out.Ok) {
            state.SkipWithError(out.Reason.c_str());
            break;
        }
    }
    fs::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_ComputeAndSendTrajectory)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

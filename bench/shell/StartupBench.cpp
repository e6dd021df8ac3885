// Start-up costs: reading the settings, and a whole process start to the first paint.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "shell/Settings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path BenchFolder() {
    const fs::path dir = fs::temp_directory_path() / ("zor-bench-shell-" + std::to_string(getpid()));
    fs::create_directories(dir / "install/config");
    return dir;
}

void WriteRegistry(const fs::path& file, const fs::path& installDir) {
    std::ofstream(file, std::ios::trunc)
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern]\n\"InstallDir\"=\""
        << installDir.string() << "/\"\n";
}

/// A registry with only InstallDir: all eleven values are created.
void BM_LoadSettingsCreatingDefaults(benchmark::State& state) {
    const fs::path dir = BenchFolder();
    const fs::path reg = dir / "registry.reg";
    for (auto _ : state) {
        state.PauseTiming();
        WriteRegistry(reg, dir / "install");
        state.ResumeTiming();
        zor::shell::AppSettings s;
        benchmark::DoNotOptimize(zor::shell::LoadSettings(s, reg));
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_LoadSettingsCreatingDefaults)->Unit(benchmark::kMillisecond)->Repetitions(5);

/// Every value present: reads only.
void BM_LoadSettingsExisting(benchmark::State& state) {
    const fs::path dir = BenchFolder();
    const fs::path reg = dir / "registry.reg";
    WriteRegistry(reg, dir / "install");
    zor::shell::AppSettings first;
    zor::shell::LoadSettings(first, reg);
    for (auto _ : state) {
        zor::shell::AppSettings s;
        benchmark::DoNotOptimize(zor::shell::LoadSettings(s, reg));
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_LoadSettingsExisting)->Unit(benchmark::kMillisecond)->Repetitions(5);

/// zor_manager on the offscreen platform from spawn to its first paint (it quits there; the
/// time includes its exit, so it bounds the start-up from above).
void BM_ProcessStartToFirstPaint(benchmark::State& state) {
    const fs::path dir = BenchFolder();
    const fs::path reg = dir / "registry.reg";
    WriteRegistry(reg, dir / "install");
    setenv("ZOR_REGISTRY", reg.c_str(), 1);
    setenv("ZOR_SESSION", ("bench-" + std::to_string(getpid())).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("ZOR_QUIT_AFTER_FIRST_PAINT", "1", 1);
    char path[] = ZOR_MANAGER_PATH;
    char* argv[] = {path, nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, path, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start zor_manager");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("zor_manager failed");
            break;
        }
    }
    unsetenv("ZOR_QUIT_AFTER_FIRST_PAINT");
    fs::remove_all(dir);
}
BENCHMARK(BM_ProcessStartToFirstPaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();

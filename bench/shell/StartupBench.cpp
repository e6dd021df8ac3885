// Start-up and painting costs of the main window.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "shell/Settings.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path BenchFolder() {
    const fs::path dir =
        fs::temp_directory_path() / ("zor-bench-shell-" + std::to_string(getpid()));
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
BENCHMARK(BM_ProcessStartToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Iterations(10);

/// A full repaint of the main window at 1920 x 1080 with the demo pictures, offscreen.
void BM_FullRepaint1920x1080(benchmark::State& state) {
    const fs::path dir = BenchFolder();
    const fs::path reg = dir / "registry.reg";
    const fs::path pictures = dir / "install/config_zor/zor_manager";
    fs::create_directories(pictures);
    std::error_code ec;
    for (const char* file : {"background.JPG", "panel.JPG"}) {
        fs::copy_file(fs::path(ZOR_BINARY_DIR) / "installdir-files/config_zor/zor_manager" / file,
                      pictures / file, ec);
    }
    WriteRegistry(reg, dir / "install");
    setenv("ZOR_REGISTRY", reg.c_str(), 1);
    setenv("ZOR_SESSION", ("bench-paint-" + std::to_string(getpid())).c_str(), 1);
    {
        zor::shell::Czor_managerApp app({"#WIDTH", "1920", "#HEIGHT", "1080"});
        if (!app.InitInstance()) {
            state.SkipWithError("the main window did not start");
            return;
        }
        auto* window = app.MainWindow();
        QApplication::processEvents();
        for (auto _ : state)
            window->repaint();
        window->ExitCommand();
        app.ExitInstance();
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_FullRepaint1920x1080)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

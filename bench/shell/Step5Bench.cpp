// Step 5 of an examination: from the end of the reconstruction (WM_USER+2, success) to the
// crosses on screen, with n = 5, beside the file reading that any step 5 has to do.
//
// The installation is the demo's, with the phantom panoramic (template mode) and a volume that
// zor_tool computes as a device examination would: the trajectory planned at the middle of the
// arch, the phantom's projections along it and the reconstruction library's volume. Only the
// device, its driver and the operator's clicks are left out; the volume has the size of a real
// examination's.
#include <FreeImagePlus.h>
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/IWorkflow.h"
#include "demo_setup/DemoInstall.h"
#include "platform/Registry.h"
#include "shell/ShellConstants.h"
#include "shell/WindowMessages.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"
#include "support/TempDir.h"
#include "zor_vol/VolumeClass.h"

namespace {

namespace fs = std::filesystem;
using zor::MessageId;

/// The demo installation with its computed volume, made once for all benchmarks.
struct Installation {
    zor::test::TempDir root{"zor-bench-step5"};
    fs::path registry;
    fs::path work;
    std::string error;

    Installation() {
        zor::tools::DemoInstallOptions options;
        options.Root = root.Path();
        options.SourceDir = ZOR_SOURCE_DIR;
        options.BuildDir = ZOR_BINARY_DIR;
        if (!zor::tools::CreateDemoInstall(options, error))
            return;
        registry = root.Path() / "registry.reg";
        work = root.Path() / "install/work";
        auto key = zor::platform::RegistryKey::Open(zor::shell::kSettingsKey, true, registry);
        if (!key || !key->SetDword("SliceVisualNumber", 5) ||
            !key->SetDword("IsLastPanoramicPhantom", 1)) {
            error = "cannot write the settings into " + registry.string();
            return;
        }
        // ConeBeam.tra, not ConeBeamSent.tra: the program's own reconstruction finds no
        // trajectory and fails at once, which the measurement relies on (see below).
        const std::string folder = work.string() + "/";
        for (const char* command : {"trajectory", "project", "reconstruct"}) {
            const std::string line =
                std::string(ZOR_TOOL_PATH) + " " + command + " " + folder + " >/dev/null 2>&1";
            if (std::system(line.c_str()) != 0) {
                error = std::string("zor_tool ") + command + " failed in " + folder;
                return;
            }
        }
        if (!fs::exists(work / "Volume.vol"))
            error = "no Volume.vol in " + work.string();
    }
};

Installation& Demo() {
    static Installation demo;
    return demo;
}

/// Holds back the reconstruction's result messages of the main window and counts them.
class ResultFilter : public QObject {
public:
    int held = 0;
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (static_cast<int>(event->type()) !=
            QEvent::User + zor::ToInt(MessageId::ReconstructionEnded))
            return false;
        ++held;
        return true;
    }
};

/// The anchor: the files step 5 reads, read plainly: the panoramic with FreeImage and the
/// volume with VolumeClass::mInit.
void BM_Step5FileReadingFloor(benchmark::State& state) {
    Installation& demo = Demo();
    if (!demo.error.empty()) {
        state.SkipWithError(demo.error.c_str());
        return;
    }
    const std::string panoramic = (demo.work / "pano_template.tif").string();
    const std::string volume = (demo.work / "Volume.vol").string();
    for (auto _ : state) {
        fipImage image;
        if (!image.load(panoramic.c_str())) {
            state.SkipWithError("the panoramic does not load");
            break;
        }
        VolumeClass loaded;
        if (loaded.mInit(volume.c_str()) != VolumeClass::kInitOk) {
            state.SkipWithError("the volume does not load");
            break;
        }
        benchmark::DoNotOptimize(image.accessPixels());
    }
}
BENCHMARK(BM_Step5FileReadingFloor)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

/// The main window at 1920 x 1080 in step 4; WM_USER+2 with wParam 1 is posted and the events
/// are processed until step 5 is entered, then the window is repainted with its crosses.
/// Each repetition first brings the window back into step 4 untimed: the volume is moved
/// aside, "load last tomosynthesis" enters step 4 and starts the program's reconstruction, whose
/// failure (no sent trajectory) is held back by a filter; the volume is then put back.
void BM_Step5FromReconstructionEndToCrosses(benchmark::State& state) {
    Installation& demo = Demo();
    if (!demo.error.empty()) {
        state.SkipWithError(demo.error.c_str());
        return;
    }
    setenv("ZOR_REGISTRY", demo.registry.c_str(), 1);
    setenv("ZOR_SESSION", ("bench-step5-" + std::to_string(getpid())).c_str(), 1);
    // The installation's filter plug-ins, as the demo runs them: the panoramic's treatment and
    // the crosses' automatic list are part of the step.
    setenv("CommonProgramFiles", (demo.root.Path() / "common").c_str(), 1);
    auto app = std::make_unique<zor::shell::Czor_managerApp>(
        std::vector<std::string>{"#WIDTH", "1920", "#HEIGHT", "1080"});
    if (!app->InitInstance()) {
        state.SkipWithError("the main window did not start");
        return;
    }
    zor::shell::Czor_managerDlg* window = app->MainWindow();
    QApplication::processEvents();
    const fs::path volume = demo.work / "Volume.vol";
    const fs::path aside = demo.work / "Volume.vol.aside";
    ResultFilter filter;

    for (auto _ : state) {
        fs::rename(volume, aside);
        window->installEventFilter(&filter);
        filter.held = 0;
        window->OnCommand(zor::CommandId::LoadLastTomosynthesis);
        // A guard against a hang, not a time limit.
        const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (filter.held == 0 && std::chrono::steady_clock::now() < guard)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        window->removeEventFilter(&filter);
        fs::rename(aside, volume);
        if (window->Workflow().WorkflowPhase() != 4 || filter.held == 0) {
            state.SkipWithError("the window did not reach step 4");
            break;
        }

        const auto start = std::chrono::steady_clock::now();
        zor::shell::PostWindowMessage(window, MessageId::ReconstructionEnded, 1);
        QCoreApplication::sendPostedEvents(window);
        window->repaint();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        if (window->Workflow().WorkflowPhase() != 5) {
            state.SkipWithError("the crosses were not shown");
            break;
        }
        QApplication::processEvents();
    }
    window->ExitCommand();
    app->ExitInstance();
}
BENCHMARK(BM_Step5FromReconstructionEndToCrosses)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace

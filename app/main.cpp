// zor_manager: the DTS operator program.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Signals.h"
#include "shell/zor_managerApp.h"

int main(int argc, char** argv) {
    // Handlers first; exit signals that the launcher held back are delivered then, so a SIGTERM
    // during start-up ends the program through its exit command (exit code 0).
    zor::platform::InstallExitSignalPipe();
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "zor_manager: no display; running on the offscreen platform\n");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    // Numbers in descriptions, filter strings and parameter files are always "C" formatted.
    std::setlocale(LC_NUMERIC, "C");

    std::vector<std::string> arguments(argv + 1, argv + argc);
    zor::shell::Czor_managerApp app(std::move(arguments));
    if (!app.InitInstance())
        return app.StartExitCode();
    QApplication::exec();
    return app.ExitInstance();
}

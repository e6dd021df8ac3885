// CaptureStation: the image-capturing program stand-in. It holds the name "Capture Station"
// while it runs, which is all the operator program checks; a small window shows it is there.

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QSocketNotifier>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "platform/Display.h"
#include "platform/ExitSignalWatch.h"
#include "platform/NamedObject.h"
#include "platform/Signals.h"

namespace {

constexpr const char* kCaptureStationName = "Capture Station";

}  // namespace

int main(int argc, char** argv) {
    // First thing, so that an exit signal during start-up is kept until the event loop runs.
    zor::platform::InstallExitSignalPipe();
    bool headless = !zor::platform::HasDisplay();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--headless") {
            headless = true;
        } else {
            std::cerr << "usage: CaptureStation [--headless]\n";
            return 2;
        }
    }
    bool alreadyExists = false;
    std::string why;
    const auto name = zor::platform::NamedObject::Create(kCaptureStationName, alreadyExists, &why);
    if (!name) {
        std::cerr << "CaptureStation: "
                  << (alreadyExists ? std::string("already running")
                                    : "cannot take the name: " + why)
                  << '\n';
        return alreadyExists ? 0 : 1;
    }
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    const std::unique_ptr<QSocketNotifier> exitSignals =
        zor::platform::WatchExitSignals([] { QCoreApplication::quit(); });
    std::unique_ptr<QLabel> window;
    if (!headless) {
        window = std::make_unique<QLabel>(
            "Capture Station is running.\n"
            "Close this window to end it.");
        window->setWindowTitle("Capture Station");
        window->setMargin(24);
        window->show();
    }
    std::cout << "CaptureStation: holding the name '" << kCaptureStationName << "'" << std::endl;
    const int code = app->exec();
    window.reset();
    return code;
}

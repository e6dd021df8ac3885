// DeviceDriverHost: the device PC driver simulator. One instance serves the device; a second
// start hands its "#FILEPARAM <file>" to it and ends; "--control <action>" drives the running
// one from scripts and prints its reply.

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "ControlClient.h"
#include "DevicePanel.h"
#include "DriverHost.h"
#include "platform/CopyData.h"
#include "platform/Display.h"
#include "platform/ExitSignalWatch.h"
#include "platform/Process.h"
#include "platform/Signals.h"
#include "platform/TextConvert.h"

namespace {

using zor::device::DriverHost;
using zor::device::DriverHostOptions;

struct Arguments {
    DriverHostOptions Options;
    bool Headless = false;
    bool Control = false;
    std::string Action;
    std::string CommandLine;  ///< the remaining arguments joined with single spaces
    bool Valid = true;
};

Arguments Parse(int argc, char** argv) {
    Arguments a;
    a.Options.InstallDir = zor::platform::ExecutablePath().parent_path();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--control" && hasValue) {
            a.Control = true;
            a.Action = argv[++i];
        } else if (arg == "--headless") {
            a.Headless = true;
        } else if (arg == "--install-dir" && hasValue) {
            a.Options.InstallDir = argv[++i];
        } else if (arg == "--manager" && hasValue) {
            a.Options.ManagerProgram = argv[++i];
        } else if (arg == "--link-port" && hasValue) {
            a.Options.LinkPort = zor::platform::Atoi(argv[++i]);
        } else if (arg == "--exposure-ms" && hasValue) {
            a.Options.PanoramicExposureMs = zor::platform::Atoi(argv[++i]);
        } else if (arg.rfind("--", 0) == 0) {
            a.Valid = false;
        } else {
            a.CommandLine += (a.CommandLine.empty() ? "" : " ") + arg;
        }
    }
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    // First thing, so that an exit signal during start-up is kept until the event loop runs.
    zor::platform::InstallExitSignalPipe();
    Arguments args = Parse(argc, argv);
    if (!args.Valid) {
        std::fprintf(stderr,
                     "usage: DeviceDriverHost [--headless] [--install-dir DIR] [--manager PATH]\n"
                     "                        [--exposure-ms N] [--link-port N|-1]\n"
                     "                        [#FILEPARAM <Param.txt>]\n"
                     "       DeviceDriverHost --control \"<action>\"\n");
        return 2;
    }
    if (args.Control) {
        const zor::device::ControlReply reply = zor::device::SendControl(args.Action);
        std::cout << reply.Text << std::endl;
        return reply.ExitCode;
    }

    bool otherInstance = false;
    std::string why;
    std::unique_ptr<DriverHost> host =
        DriverHost::Start(args.Options, zor::device::CreateAcquisitionSteps(), otherInstance, why);
    if (!host) {
        if (!otherInstance) {
            std::cerr << "DeviceDriverHost: cannot serve the device: " << why << '\n';
            return 1;
        }
        // The running driver program takes this start's command line.
        if (args.CommandLine.empty())
            return 0;
        const zor::platform::CopyDataSent sent = zor::platform::SendCopyData(
            zor::device::kProgramName, zor::device::kRecordCommandLine, args.CommandLine);
        if (!sent)
            std::cerr << "DeviceDriverHost: cannot reach the running driver: " << sent.reason
                      << '\n';
        return sent ? 0 : 1;
    }
    if (!args.CommandLine.empty())
        host->CommandLine(args.CommandLine);

    const bool window = !args.Headless && zor::platform::HasDisplay();
    std::unique_ptr<QCoreApplication> app;
    if (window)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const std::unique_ptr<QSocketNotifier> exitSignals =
        zor::platform::WatchExitSignals([] { QCoreApplication::quit(); });
    std::unique_ptr<zor::device::DevicePanel> panel;
    if (window) {
        panel = std::make_unique<zor::device::DevicePanel>(*host);
        panel->show();
    }
    std::cout << "DeviceDriverHost: serving " << zor::device::kStatusName << std::endl;
    const int code = app->exec();
    panel.reset();
    host.reset();
    return code;
}

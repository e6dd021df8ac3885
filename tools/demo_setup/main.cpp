// zor_demo_setup: creates a demo installation so the program runs without a device.
#include <cstdio>
#include <cstring>
#include <string>

#include "demo_setup/DemoInstall.h"
#include "platform/TextConvert.h"

int main(int argc, char** argv) {
    zor::tools::DemoInstallOptions options;
    options.SourceDir = ZOR_SOURCE_DIR;
    options.BuildDir = ZOR_BINARY_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--language" && hasValue) {
            options.Language = zor::platform::Atoi(argv[++i]);
        } else if (arg == "--refresh-phantom") {
            options.RefreshPhantom = true;
        } else if (arg == "--source" && hasValue) {
            options.SourceDir = argv[++i];
        } else if (arg == "--build" && hasValue) {
            options.BuildDir = argv[++i];
        } else if (arg[0] != '-' && options.Root.empty()) {
            options.Root = arg;
        } else {
            options.Root.clear();
            break;
        }
    }
    if (options.Root.empty()) {
        std::fprintf(stderr,
                     "usage: zor_demo_setup <folder> [--language N] [--refresh-phantom]\n"
                     "       [--source DIR] [--build DIR]\n"
                     "Creates <folder>/install (the InstallDir) and <folder>/registry.reg.\n");
        return 2;
    }
    options.Root = std::filesystem::absolute(options.Root);
    std::string error;
    if (!zor::tools::CreateDemoInstall(options, error)) {
        std::fprintf(stderr, "zor_demo_setup: %s\n", error.c_str());
        return 1;
    }
    std::printf("Demo installation: %s\nRegistry file:     %s\n",
                (options.Root / "install").c_str(), (options.Root / "registry.reg").c_str());
    return 0;
}

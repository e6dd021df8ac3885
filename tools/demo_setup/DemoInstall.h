#pragma once
// Builds a complete demo installation: the InstallDir tree, its files, and a registry file.
#include <filesystem>
#include <string>

namespace zor::tools {

struct DemoInstallOptions {
    std::filesystem::path Root;       ///< the demo folder; InstallDir is Root/"install"/
    std::filesystem::path SourceDir;  ///< the project's source tree (language files, docs)
    std::filesystem::path BuildDir;   ///< the build tree (rendered pictures, tools)
    int Language = 0;                 ///< INI "language" number
    bool RefreshPhantom = false;      ///< rewrite the phantom data even when it is there
};

/// Creates (or refreshes) the installation and writes Root/"registry.reg" pointing at it.
/// Existing work files are kept. On failure returns false and sets `error`.
bool CreateDemoInstall(const DemoInstallOptions& options, std::string& error);

}  // namespace zor::tools

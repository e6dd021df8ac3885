#include "ShellTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "shell/ShellConstants.h"

namespace zor::test {

TempInstall::TempInstall() {
    static std::atomic<int> counter{0};
    m_Session = "shelltest-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    for (const char* dir : {"install/config", "install/config_zor/zor_manager", "install/language",
                            "install/work", "install/docs"}) {
        std::filesystem::create_directories(m_Dir / dir);
    }
    // A private runtime folder of its own (Qt also warns on standard error without one).
    std::filesystem::create_directory(Runtime());
    std::filesystem::permissions(Runtime(), std::filesystem::perms::owner_all);
    setenv("ZOR_REGISTRY", Registry().c_str(), 1);
    setenv("ZOR_SESSION", m_Session.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", Runtime().c_str(), 1);
}

TempInstall::~TempInstall() {
    unsetenv("ZOR_REGISTRY");
    unsetenv("ZOR_SESSION");
    unsetenv("XDG_RUNTIME_DIR");
}

void TempInstall::WriteRegistry(const std::string& installDirLine, const std::string& extra) const {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern]\n";
    if (!installDirLine.empty())
        text += installDirLine + "\n";
    WriteFile(Registry(), text + extra);
}

void TempInstall::WriteDefaultRegistry(const std::string& extra) const {
    WriteRegistry("\"InstallDir\"=\"" + InstallDir() + "\"", extra);
}

void TempInstall::WriteIni(const std::string& text) const {
    WriteFile(m_Dir / "install/config/config.ini", text);
}

std::optional<platform::RegValue> TempInstall::Value(const char* name) const {
    auto key = platform::RegistryKey::Open(shell::kSettingsKey, false, Registry());
    return key ? key->Query(name) : std::nullopt;
}

}  // namespace zor::test

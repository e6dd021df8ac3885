#include "ShellTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zor::test {

TempInstall::TempInstall() {
    static std::atomic<int> counter{0};
    m_Session = "shelltest-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    m_Root = std::filesystem::temp_directory_path() / m_Session;
    std::filesystem::remove_all(m_Root);
    for (const char* dir : {"install/config", "install/config_zor/zor_manager", "install/language",
                            "install/work", "install/docs"}) {
        std::filesystem::create_directories(m_Root / dir);
    }
    setenv("ZOR_REGISTRY", Registry().c_str(), 1);
    setenv("ZOR_SESSION", m_Session.c_str(), 1);
}

TempInstall::~TempInstall() {
    std::error_code ec;
    std::filesystem::remove_all(m_Root, ec);
    unsetenv("ZOR_REGISTRY");
    unsetenv("ZOR_SESSION");
}

void TempInstall::WriteRegistry(const std::string& installDirLine, const std::string& extra) const {
    std::ofstream out(Registry(), std::ios::binary | std::ios::trunc);
    out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\vordal\\orvix\\talvern]\n";
    if (!installDirLine.empty())
        out << installDirLine << "\n";
    out << extra;
}

void TempInstall::WriteDefaultRegistry(const std::string& extra) const {
    WriteRegistry("\"InstallDir\"=\"" + InstallDir() + "\"", extra);
}

void TempInstall::WriteIni(const std::string& text) const {
    std::ofstream(m_Root / "install/config/config.ini", std::ios::binary | std::ios::trunc) << text;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace zor::test

#pragma once
// Temporary installations and registry files for the shell tests.
#include <filesystem>
#include <string>

namespace zor::test {

/// A temporary folder with an InstallDir tree and a registry file; removed at destruction.
/// Sets ZOR_REGISTRY and a unique ZOR_SESSION for this process while it lives.
class TempInstall {
public:
    TempInstall();
    ~TempInstall();
    const std::filesystem::path& Root() const { return m_Root; }
    std::filesystem::path Registry() const { return m_Root / "registry.reg"; }
    /// InstallDir as stored in the registry, ending with '/'.
    std::string InstallDir() const { return (m_Root / "install").string() + "/"; }
    const std::string& Session() const { return m_Session; }
    /// Writes a registry file holding the settings key with only `installDirLine` in it
    /// (e.g. "\"InstallDir\"=\"/x/\""); `extra` is appended verbatim.
    void WriteRegistry(const std::string& installDirLine, const std::string& extra = {}) const;
    /// The registry with a valid InstallDir line.
    void WriteDefaultRegistry(const std::string& extra = {}) const;
    void WriteIni(const std::string& text) const;

private:
    std::filesystem::path m_Root;
    std::string m_Session;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace zor::test

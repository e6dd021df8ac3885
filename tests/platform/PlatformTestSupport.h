#pragma once
// Helpers shared by the platform tests: temporary folders, files and child processes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace zor::platform::test {

/// A fresh folder under the temporary directory, removed with its contents at scope exit.
class TempDir {
public:
    TempDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "zor-platform-XXXXXX").string();
        if (::mkdtemp(tmpl.data()))
            m_Path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_Path; }
    std::filesystem::path operator/(const std::string& name) const { return m_Path / name; }

private:
    std::filesystem::path m_Path;
};

inline void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Runs `body` in a forked child and returns its exit status (its return value), or -1 when
/// it did not exit normally. Other threads of the test do not exist in the child, so the body
/// must not wait for anything they hold.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Gives the test its own named-object session, so parallel test processes never meet.
inline void UseOwnSession(const std::string& tag) {
    ::setenv("ZOR_SESSION", ("test-" + tag + "-" + std::to_string(::getpid())).c_str(), 1);
}

}  // namespace zor::platform::test

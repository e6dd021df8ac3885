#pragma once
// Shared test helpers: zor::test::TempDir, a fresh folder under
// std::filesystem::temp_directory_path() removed with everything in it at scope exit, and small
// whole-file read/write helpers. Link the test executable with zor_test_support and write
//
//     zor::test::TempDir dir;                         // e.g. /tmp/zor-test-Ab12Cd
//     zor::test::WriteFile(dir / "a.ini", "x=1\n");   // operator/ joins a name to the folder
//     dir.Write("sub/b.txt", "text");                 // the same, creating "sub", returns the path
//     std::string folder = dir.Slash();               // "/tmp/zor-test-Ab12Cd/" for folder texts
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zor::test {

/// Writes `bytes` as they are to `file` (replacing it), creating missing parent folders.
void WriteFile(const std::filesystem::path& file, std::string_view bytes);
void WriteFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
/// The whole content of `file`; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);

class TempDir {
public:
    /// `tag` starts the folder's name, which tells whose leftovers a folder holds.
    explicit TempDir(const std::string& tag = "zor-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_Path; }
    std::filesystem::path operator/(const std::string& name) const { return m_Path / name; }
    /// The full path of `name` inside the folder, as text.
    std::string File(const std::string& name) const { return (m_Path / name).string(); }
    /// The folder as text ending with '/', the form the libraries' folder arguments take.
    std::string Slash() const { return m_Path.string() + "/"; }
    /// Writes `bytes` to `name` inside the folder (see WriteFile) and returns its full path.
    std::filesystem::path Write(const std::string& name, std::string_view bytes) const;
    /// Number of entries directly inside the folder.
    int Count() const;

private:
    std::filesystem::path m_Path;
};

}  // namespace zor::test

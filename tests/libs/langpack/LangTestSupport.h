#pragma once
// Temporary folders and file helpers shared by the translation library tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace zor::langpack::test {

/// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        m_Path = std::filesystem::temp_directory_path() /
                 ("langpack_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(m_Path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_Path; }

    /// Writes `bytes` as they are into `name` and returns the full path.
    std::filesystem::path Write(const std::filesystem::path& name, std::string_view bytes) const {
        const auto path = m_Path / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path m_Path;
};

/// The source tree: from the test environment under ctest, else the configured folder.
inline std::filesystem::path SourceDir() {
    if (const char* dir = std::getenv("ZOR_TEST_SOURCE_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return ZOR_LANGPACK_SOURCE_DIR;
}

inline std::filesystem::path ShippedLanguageDir() {
    return SourceDir() / "resources" / "language";
}

}  // namespace zor::langpack::test

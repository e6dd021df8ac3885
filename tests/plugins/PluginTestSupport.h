#pragma once
// Shared by the plug-in tests: a plug-in folder with chosen libraries, a log recorder, and the
// libraries the process has mapped.
#include <gtest/gtest.h>
#include <link.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/UserInterfaces.h"
#include "plugins/FilterList.h"
#include "plugins/FilterPlugins.h"
#include "support/TempDir.h"

namespace zor::plugins::test {

struct RecordingLog : IStatusSink {
    std::vector<std::string> m_Lines;
    void LogMessage(const std::string& text, bool, int, bool) override { m_Lines.push_back(text); }
    bool Contains(const std::string& part) const {
        for (const auto& line : m_Lines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
};

/// Paths of the mapped objects whose path starts with `prefix`.
inline std::vector<std::string> MappedFrom(const std::string& prefix) {
    struct Search {
        std::string m_Prefix;
        std::vector<std::string> m_Found;
    } search{prefix, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name && std::string(info->dlpi_name).starts_with(s->m_Prefix))
                s->m_Found.emplace_back(info->dlpi_name);
            return 0;
        },
        &search);
    return search.m_Found;
}

/// Copies a built library into `folder` as `name`, readable and executable by all.
inline void Install(const std::filesystem::path& built, const std::filesystem::path& folder,
                    const std::string& name) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    fs::copy_file(built, folder / name, fs::copy_options::overwrite_existing);
    fs::permissions(folder / name, fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
}

/// Each test starts with nothing loaded and a folder of its own under a fresh temporary folder.
class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::permissions(m_Dir.Path(), std::filesystem::perms::owner_all);
        UnloadFilterPlugins();
    }
    void TearDown() override {
        UnloadFilterPlugins();
        ConfigureFilterPlugins(DefaultPluginFolder(), nullptr);
    }
    int LoadFrom(const std::filesystem::path& folder) {
        ConfigureFilterPlugins(folder, &m_Log);
        return LoadFilterPlugins();
    }
    zor::test::TempDir m_Dir{"zor-plugins"};
    RecordingLog m_Log;
};

/// A one-row image holding `values` (8-bit when `bits` is 8, else 16-bit samples).
inline FilterImage Row(const std::vector<int>& values, int bits, uint16_t maxValue = 0) {
    FilterImage image = FilterImage::Create(static_cast<int>(values.size()), 1, bits, maxValue);
    for (size_t x = 0; x < values.size(); ++x) {
        if (bits == 8)
            image.m_Data[x] = static_cast<uint8_t>(values[x]);
        else
            reinterpret_cast<uint16_t*>(image.m_Data.data())[x] = static_cast<uint16_t>(values[x]);
    }
    return image;
}

inline int Sample(const FilterImage& image, int x, int y = 0) {
    const uint8_t* row = image.Row(y);
    return image.m_BitsPerPixel == 8 ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
}

}  // namespace zor::plugins::test

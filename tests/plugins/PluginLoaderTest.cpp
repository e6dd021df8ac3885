#include <unistd.h>

#include <cstdlib>

#include "PluginTestSupport.h"

namespace zor::plugins::test {
namespace {

namespace fs = std::filesystem;

using PluginLoaderTest = PluginFixture;

TEST_F(PluginLoaderTest, FirstLoadedNameWinsTheTableStopsAtItsLimitAndParametersFollowTypes) {
    const fs::path folder = m_Dir / "Filters";
    Install(ZOR_PLUGIN_EXAMPLE, folder, "OrvixA.so");
    Install(ZOR_PLUGIN_SHADOW, folder, "OrvixB.so");
    Install(ZOR_PLUGIN_EXAMPLE, folder, "NotOrvix.so");  // wrong name: never loaded
    // Example: invert, offset. Shadow: invert, f001 .. f249, more than the table holds.
    EXPECT_EQ(LoadFrom(folder), kMaxFilterEntries);
    EXPECT_EQ(FilterPluginName(3), "f001");
    EXPECT_EQ(FilterPluginName(kMaxFilterEntries - 2), "f196");
    EXPECT_EQ(FilterPluginName(kMaxFilterEntries - 1), "#");

    FilterImage out;
    ApplyFilterString(Row({0, 10, 250}, 8), out, "invert");
    EXPECT_EQ(out.m_Data, (std::vector<uint8_t>{255, 245, 5}));  // the example's, not 7s

    // "offset" adds int32 + float + double parameters; missing ones are 0, extra ones ignored.
    const FilterImage ramp = Row({100, 200, 60000}, 16);
    const std::vector<std::pair<std::string, int>> cases = {
        {"offset 5", 5},       {"offset 5,2.5,1.5", 9}, {"offset 5,2.5,1.5,100,x", 9},
        {"  offset ,,-3", -3}, {"offset 5,,2", 7},      {"offset", 0}};
    for (const auto& [text, add] : cases) {
        ApplyFilterString(ramp, out, text);
        EXPECT_EQ(Sample(out, 0), 100 + add) << text;
        EXPECT_EQ(Sample(out, 2), 60000 + add) << text;
    }
    // Case matters and "#" names no filter: the image is copied unchanged.
    for (const char* text : {"Invert", "#", ""}) {
        FilterImage copy;
        ApplyFilterString(ramp, copy, text);
        EXPECT_EQ(copy.m_Data, ramp.m_Data) << text;
    }
}

TEST_F(PluginLoaderTest, LibraryWithoutTheExportsIsUnloadedAtOnce) {
    const fs::path folder = m_Dir / "Filters";
    Install(ZOR_PLUGIN_NOEXPORTS, folder, "OrvixEmpty.so");
    Install(ZOR_PLUGIN_EXAMPLE, folder, "OrvixExample.so");
    EXPECT_EQ(LoadFrom(folder), 3);
    EXPECT_TRUE(m_Log.Contains("OrvixEmpty.so ignored"));
    EXPECT_EQ(MappedFrom(m_Dir.Path().string()),
              (std::vector<std::string>{(folder / "OrvixExample.so").string()}));
    UnloadFilterPlugins();
    EXPECT_TRUE(MappedFrom(m_Dir.Path().string()).empty());
}

TEST_F(PluginLoaderTest, PlantedCopiesOutsideTheFolderAreNeverLoaded) {
    // Copies where a search by file name would look: working folder, home, /tmp-like folders,
    // the library path, and a relative "Filters" folder.
    const fs::path planted = m_Dir / "planted";
    for (const char* sub : {"", "home", "lib", "Filters"})
        Install(ZOR_PLUGIN_EXAMPLE, planted / sub, "OrvixExample.so");
    const fs::path cwd = fs::current_path();
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    fs::current_path(planted);
    setenv("HOME", (planted / "home").c_str(), 1);
    setenv("LD_LIBRARY_PATH", (planted / "lib").c_str(), 1);

    EXPECT_EQ(LoadFrom("Filters"), 1);  // a relative folder is refused
    EXPECT_TRUE(m_Log.Contains("not an absolute path"));
    EXPECT_EQ(LoadFrom(m_Dir / "missing"), 1);
    FilterImage out;
    ApplyFilterString(Row({1, 2}, 8), out, "invert");
    EXPECT_EQ(out.m_Data, (std::vector<uint8_t>{1, 2}));
    EXPECT_TRUE(MappedFrom(planted.string()).empty());
    EXPECT_TRUE(MappedFrom("OrvixExample").empty());

    fs::current_path(cwd);
    setenv("HOME", home.c_str(), 1);
    unsetenv("LD_LIBRARY_PATH");
}

TEST_F(PluginLoaderTest, WritableByOthersIsRefusedWithAReason) {
    const fs::path folder = m_Dir / "Filters";
    Install(ZOR_PLUGIN_EXAMPLE, folder, "OrvixExample.so");
    fs::permissions(folder, fs::perms::all);
    EXPECT_EQ(LoadFrom(folder), 1);
    EXPECT_TRUE(m_Log.Contains("the folder " + folder.string() + " is writable by every user"));

    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(folder / "OrvixExample.so", fs::perms::others_write, fs::perm_options::add);
    Install(ZOR_PLUGIN_SHADOW, folder, "OrvixShadow.so");
    EXPECT_EQ(LoadFrom(folder), kMaxFilterEntries);
    EXPECT_EQ(FilterPluginName(0), "invert");
    EXPECT_EQ(FilterPluginName(1), "f001");  // only the shadow library was accepted
    EXPECT_TRUE(m_Log.Contains("OrvixExample.so refused: it is writable by every user"));
    EXPECT_TRUE(MappedFrom((folder / "OrvixExample.so").string()).empty());
}

}  // namespace
}  // namespace zor::plugins::test

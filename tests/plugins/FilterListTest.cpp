#include <gtest/gtest.h>

#include "plugins/FilterList.h"
#include "plugins/PluginConstants.h"
#include "support/TempDir.h"

namespace zor::plugins {
namespace {

using Entries = std::vector<std::string>;

TEST(FilterListTest, AddReplacesInPlaceAndTheBareKeywordRemoves) {
    FilterList list;
    list.AddFilter("gamma 1.100000");
    list.AddFilter("linear 0.100000,0.200000");
    EXPECT_EQ(list.Entries(), (Entries{"gamma 1.100000", "linear 0.100000,0.200000"}));
    list.AddFilter("linear");
    EXPECT_EQ(list.Entries(), (Entries{"gamma 1.100000"}));

    list.AddFilter("linear 0.1,0.2");
    list.AddFilter("unsharp 1.6,14");
    list.AddFilter("  linear -0.5,0.3");  // leading blanks do not make another keyword
    EXPECT_EQ(list.Entries(), (Entries{"gamma 1.100000", "  linear -0.5,0.3", "unsharp 1.6,14"}));
    list.RemoveFilter("gamma 2.0");
    EXPECT_EQ(list.Find("gamma"), "");
    EXPECT_EQ(FilterList::Split(list.Join()).Entries(), list.Entries());
}

/// The unsharp toggle as the main window performs it on every cross list.
void ToggleUnsharp(FilterList& list) {
    const std::string gamma = list.Find("gamma"), linear = list.Find("linear");
    list.RemoveFilter("gamma");
    list.RemoveFilter("linear");
    list.AddFilter(kUnsharpBundle);
    list.AddFilter(gamma.empty() ? "gamma 1.000000" : gamma);
    list.AddFilter(linear.empty() ? "linear 0.000000,0.000000" : linear);
}

TEST(FilterListTest, UnsharpOnThenOffLeavesGammaAndLinearLastWithoutTheBundle) {
    FilterList list;
    list.AddFilter("linear 0.200000,0.100000");
    list.AddFilter("ShannonStretching 0.1,0.9,0,0,0,0");
    list.AddFilter("gamma 1.100000");
    ToggleUnsharp(list);
    EXPECT_EQ(list.Entries(), (Entries{"ShannonStretching 0.1,0.9,0,0,0,0", kUnsharpBundle,
                                       "gamma 1.100000", "linear 0.200000,0.100000"}));
    ToggleUnsharp(list);
    EXPECT_EQ(list.Entries(), (Entries{"ShannonStretching 0.1,0.9,0,0,0,0", "gamma 1.100000",
                                       "linear 0.200000,0.100000"}));
}

TEST(FilterListTest, AutomaticListFromTheIniFile) {
    zor::test::TempDir dir;
    // No file: the single gamma entry printed from the single-precision 1.1.
    EXPECT_EQ(AutomaticFilterList(dir / "none.ini", 0.0, 1.0, double(1.1f)),
              (Entries{"gamma 1.100000"}));
    EXPECT_EQ(AutomaticFilterList(dir / "none.ini", 0.25, 1.0, 2.0),
              (Entries{"ShannonStretching 0.250000,1.000000,0,0,0,0", "gamma 2.000000"}));
    const auto ini = dir.Write("config.ini",
                               "[filters_automatic_3d]\r\nMAX_ENTRIES=2\r\n"
                               "FILTER_02= unsharp 2.0,50 \r\nFILTER_03=gamma 3\r\n");
    EXPECT_EQ(AutomaticFilterList(ini, 0.25, 1.0, 1.1), (Entries{"unsharp 2.0,50"}));
}

}  // namespace
}  // namespace zor::plugins

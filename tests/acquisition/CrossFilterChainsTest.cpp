// The crosses' filter list as the operator changes it: level drags, unsharp toggle, reset.
#include <gtest/gtest.h>

#include "acquisition/CrossFilterChains.h"
#include "plugins/PluginConstants.h"
#include "support/UiRecorder.h"

using namespace zor;
using acquisition::CrossFilterChains;
using viewer::ToolMode;

namespace {

class CrossFilterChainsTest : public ::testing::Test {
protected:
    using Entries = std::vector<std::string>;
    test::UiRecorder m_Ui;
    int m_Refilters = 0;
    CrossFilterChains m_Chains{{m_Ui, m_Ui, [this] { ++m_Refilters; }}};
};

TEST_F(CrossFilterChainsTest, UnsharpGoesBeforeTheLevelsAndComesOutAgain) {
    m_Chains.Reset({"gamma 1.100000", "linear 0.200000,-0.100000"});
    m_Chains.ToggleUnsharp();
    EXPECT_EQ(m_Chains.Entries(),
              (Entries{plugins::kUnsharpBundle, "gamma 1.100000", "linear 0.200000,-0.100000"}));
    EXPECT_EQ(m_Ui.Bitmaps[CommandId::Unsharp], 172);
    EXPECT_EQ(m_Ui.Status, "Unsharp filter on");
    m_Chains.ToggleUnsharp();
    EXPECT_EQ(m_Chains.Entries(), (Entries{"gamma 1.100000", "linear 0.200000,-0.100000"}));
    EXPECT_EQ(m_Ui.Bitmaps[CommandId::Unsharp], 166);
    EXPECT_EQ(m_Ui.Status, "Unsharp filter off");
    EXPECT_EQ(m_Refilters, 2);

    // A new volume's list follows the button, which stays on.
    m_Chains.ToggleUnsharp();
    m_Chains.Reset({"gamma 1.100000"});
    EXPECT_EQ(m_Chains.Entries(),
              (Entries{plugins::kUnsharpBundle, "gamma 1.100000", "linear 0.000000,0.000000"}));
}

TEST_F(CrossFilterChainsTest, DragsPreviewWithoutChangingAndClampAtTheLimits) {
    m_Chains.Reset({"gamma 1.100000"});
    // Pane 600 wide: a 150 px drag right is a quarter; brightness falls by 0.5.
    m_Chains.PreviewLevel(ToolMode::Brightness, 150, 0, 600);
    EXPECT_EQ(m_Ui.Status, "Brightness = 75%");
    EXPECT_EQ(m_Chains.Entries(), Entries{"gamma 1.100000"});
    EXPECT_EQ(m_Refilters, 0);

    m_Chains.ApplyLevel(ToolMode::Brightness, 150, 0, 600);
    EXPECT_EQ(m_Chains.Entries(), (Entries{"gamma 1.100000", "linear -0.500000,0.000000"}));
    m_Chains.ApplyLevel(ToolMode::Brightness, 900, -300, 600);  // far past -1
    EXPECT_EQ(m_Chains.Entries()[1], "linear -1.000000,0.000000");
    m_Chains.PreviewLevel(ToolMode::Brightness, 10, 0, 600);
    EXPECT_EQ(m_Ui.Status, "Brightness = 100%");
    m_Chains.ApplyLevel(ToolMode::Contrast, 0, -450, 600);  // dx - dy = 450: +1.5
    EXPECT_EQ(m_Chains.Entries()[1], "linear -1.000000,1.000000");

    m_Chains.ApplyLevel(ToolMode::Gamma, -600, 0, 600);  // +4: stops at 4
    EXPECT_EQ(m_Chains.Entries()[0], "gamma 4.000000");
    m_Chains.PreviewLevel(ToolMode::Gamma, 0, 0, 600);
    EXPECT_EQ(m_Ui.Status, "Gamma = 100%");
    m_Chains.ApplyLevel(ToolMode::Gamma, 300, 600, 600);  // -6: stops at 0
    m_Chains.PreviewLevel(ToolMode::Gamma, 0, 0, 600);
    EXPECT_EQ(m_Ui.Status, "Gamma = 0%");
    EXPECT_EQ(m_Refilters, 5);
}

TEST_F(CrossFilterChainsTest, ResetReturnsToTheLevelsBeforeTheFirstDragAndEndsUnsharp) {
    m_Chains.Reset({"gamma 1.100000"});
    m_Chains.ResetFilters();  // nothing adjusted yet: the list stays
    EXPECT_EQ(m_Chains.Entries(), Entries{"gamma 1.100000"});
    EXPECT_EQ(m_Refilters, 0);

    m_Chains.ToggleUnsharp();
    m_Chains.ResetFilters();  // still removes the bundle, silently
    EXPECT_EQ(m_Chains.Entries(), (Entries{"gamma 1.100000", "linear 0.000000,0.000000"}));
    EXPECT_FALSE(m_Chains.UnsharpOn());
    EXPECT_EQ(m_Ui.Bitmaps[CommandId::Unsharp], 166);
    EXPECT_EQ(m_Ui.Status, "Unsharp filter on");

    m_Chains.ApplyLevel(ToolMode::Gamma, -150, 0, 600);
    m_Chains.ApplyLevel(ToolMode::Contrast, 60, 0, 600);
    m_Chains.ResetFilters();
    EXPECT_EQ(m_Chains.Entries(), (Entries{"gamma 1.100000", "linear 0.000000,0.000000"}));
}

}  // namespace

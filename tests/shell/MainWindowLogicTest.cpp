#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ShellTestSupport.h"
#include "shell/ActivityLog.h"
#include "shell/ToolButtonLayout.h"
#include "viewer/ViewerGeometry.h"

using namespace zor;
using namespace zor::shell;

namespace {
using V = std::vector<CommandId>;

V Ids(const std::vector<ButtonPlace>& places) {
    V ids;
    for (const auto& p : places)
        ids.push_back(p.id);
    return ids;
}
}  // namespace

TEST(ToolButtonLayout, ColumnAndVisibilityByPhase) {
    const QRect client(0, 0, 1297, 691);
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, false, false)),
              (V{CommandId::LoadPhantomPanoramic, CommandId::ExportSelected, CommandId::ExportAll,
                 CommandId::BackOrExit}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, true, true)),
              (V{CommandId::LoadPhantomPanoramic, CommandId::LoadLastPanoramic,
                 CommandId::LoadLastTomosynthesis, CommandId::ExportSelected, CommandId::ExportAll,
                 CommandId::BackOrExit}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 2, true, true)),
              (V{CommandId::StartTomosynthesis, CommandId::Scrolling, CommandId::Zoom,
                 CommandId::ExportSelected, CommandId::ExportAll, CommandId::BackOrExit}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 3, true, true)),
              (V{CommandId::ExportSelected, CommandId::ExportAll, CommandId::BackOrExit}));

    V visible;
    for (CommandId id : kButtonOrder) {
        if (IsToolButtonVisible(id, 5, 5, true, true))
            visible.push_back(id);
    }
    EXPECT_EQ(visible, (V{CommandId::Scrolling, CommandId::Brightness, CommandId::Contrast,
                          CommandId::Gamma, CommandId::Unsharp, CommandId::FiltersReset,
                          CommandId::Zoom, CommandId::ExportSelected, CommandId::ExportAll,
                          CommandId::BackOrExit, CommandId::Previous, CommandId::Following}));
    EXPECT_TRUE(IsToolButtonVisible(CommandId::StartTomosynthesis, 2, 1, false, false))
        << "follows the window's phase";
    EXPECT_FALSE(IsToolButtonVisible(CommandId::StartTomosynthesis, 1, 2, false, false));
    EXPECT_FALSE(IsToolButtonVisible(CommandId::Hidden, 5, 5, true, true));
}

TEST(ToolButtonLayout, StepButtonsAtTheEndsOfTheCrossPane) {
    const QRect client(0, 0, 1920, 1080);
    const viewer::Rect pane =
        viewer::ComputeViewerLayout({0, 0, 1920, 1080}, false, false).crossPane;
    const auto steps =
        LayoutStepButtons(client, QRect(pane.left, pane.top, pane.Width(), pane.Height()));
    // s = 66 at this height: 80% of it, Previous at the left end, Following ending at xr = 1728.
    EXPECT_EQ(steps[0].id, CommandId::Previous);
    EXPECT_EQ(steps[0].rect, QRect(0, 769, 52, 52));
    EXPECT_EQ(steps[1].id, CommandId::Following);
    EXPECT_EQ(steps[1].rect, QRect(1676, 769, 52, 52));
    EXPECT_LT(steps[1].rect.right(), LayoutToolButtons(client, 5, false, false)[0].rect.left());

    // Crosses over the panoramic: the pane starts at the top and the buttons follow it.
    const viewer::Rect over =
        viewer::ComputeViewerLayout({0, 0, 1920, 1080}, false, true).crossPane;
    const auto moved =
        LayoutStepButtons(client, QRect(over.left, over.top, over.Width(), over.Height()));
    EXPECT_EQ(moved[0].rect.top(), (1050 - 52) / 2);
}

TEST(ActivityLog, LineFormatAndBreaks) {
    std::tm t{};
    t.tm_year = 2013 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 4;
    t.tm_sec = 31;
    EXPECT_EQ(FormatLogLine(t, "acquisition started"),
              "2013/05/07 - 09:04:31 - acquisition started");
    t.tm_year = 99 - 1900;
    t.tm_hour = 0;
    EXPECT_EQ(FormatLogLine(t, "x"), "0099/05/07 - 00:04:31 - x");
    EXPECT_EQ(RemoveLineBreaks("one\r\ntwo\nthree\r"), "onetwothree");
}

TEST(ActivityLog, WithoutItsFolderNothingIsWrittenAndAFifoIsNotWaitedFor) {
    zor::test::TempInstall t;
    // A FIFO without a reader in place of the log: appending returns at once.
    ASSERT_EQ(::mkfifo(ActivityLogPath(t.InstallDir()).c_str(), 0600), 0);
    AppendToActivityLog(t.InstallDir(), "not waiting");
    std::filesystem::remove_all(t.Root() / "install/config_zor");
    AppendToActivityLog(t.InstallDir(), "nowhere");
    EXPECT_FALSE(std::filesystem::exists(ActivityLogPath(t.InstallDir())));
}

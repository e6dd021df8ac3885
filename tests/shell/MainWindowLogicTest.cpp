#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "ShellTestSupport.h"
#include "shell/ActivityLog.h"
#include "shell/TimerTable.h"
#include "shell/ToolButtonLayout.h"

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
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, false, true)),
              (V{CommandId::LoadPhantomPanoramic, CommandId::LoadLastTomosynthesis,
                 CommandId::ExportSelected, CommandId::ExportAll, CommandId::BackOrExit}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 2, true, true)),
              (V{CommandId::StartTomosynthesis, CommandId::Scrolling, CommandId::Zoom,
                 CommandId::ExportSelected, CommandId::ExportAll, CommandId::BackOrExit}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 3, true, true)),
              (V{CommandId::ExportSelected, CommandId::ExportAll, CommandId::BackOrExit}));

    // Phase 1 without a last examination shows only the phantom button and the exit button.
    V visible;
    for (CommandId id : kButtonOrder) {
        if (IsToolButtonVisible(id, 1, 1, false, false))
            visible.push_back(id);
    }
    EXPECT_EQ(visible, (V{CommandId::LoadPhantomPanoramic, CommandId::BackOrExit}));
    visible.clear();
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

TEST(ActivityLog, AppendsLinesAndFailsSilently) {
    zor::test::TempInstall t;
    AppendToActivityLog(t.InstallDir(), "first");
    AppendToActivityLog(t.InstallDir(), "");
    AppendToActivityLog(t.InstallDir(), "second");
    const std::string path = ActivityLogPath(t.InstallDir());
    EXPECT_EQ(std::filesystem::path(path),
              std::filesystem::path(t.InstallDir()) / "config_zor" / "log.txt");
    const std::string text = zor::test::ReadFile(path);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.find(" - first\n"), std::string::npos);
    EXPECT_NE(text.find(" - second\n"), std::string::npos);
    std::filesystem::remove_all(t.Root() / "install/config_zor");
    AppendToActivityLog(t.InstallDir(), "nowhere");  // no folder: nothing happens
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TimerTable, SetTimerRestartsAndKillStops) {
    std::vector<int> ticks;
    TimerTable timers([&](TimerId id) { ticks.push_back(ToInt(id)); });
    timers.SetTimer(TimerId::StatusClear, 3000);
    timers.SetTimer(TimerId::StatusClear, 20);
    EXPECT_EQ(timers.Period(TimerId::StatusClear), 20) << "a second SetTimer restarts";
    QElapsedTimer clock;
    clock.start();
    while (ticks.empty() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(ticks, std::vector<int>{4});
    timers.KillTimer(TimerId::StatusClear);
    EXPECT_FALSE(timers.IsActive(TimerId::StatusClear));
    timers.KillTimer(TimerId::DevicePoll);  // never set: nothing happens
}

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

using namespace zor::shell;

namespace {
std::vector<int> Ids(const std::vector<ButtonPlace>& places) {
    std::vector<int> ids;
    for (const auto& p : places)
        ids.push_back(p.id);
    return ids;
}
}  // namespace

TEST(ToolButtonLayout, SizesAndPositionsFollowTheClientRectangle) {
    struct Case {
        QRect client;
        int size, x, firstY, step, exitY;
    };
    // size = trunc(0.07384615 H 5/6); x = trunc(0.92923075 W); step = size + trunc(0.07384615 W /
    // 6); first y = trunc(0.04 H); exit y = H - trunc(0.04 H) - size.
    const Case cases[] = {
        {QRect(0, 0, 1122, 406), 24, 1042, 16, 24 + 13, 406 - 16 - 24},
        {QRect(0, 0, 1297, 691), 42, 1205, 27, 42 + 15, 691 - 27 - 42},
        {QRect(0, 0, 1824, 972), 59, 1694, 38, 59 + 22, 972 - 38 - 59},
        {QRect(0, 0, 300, 200), 12, 278, 8, 12 + 3, 200 - 8 - 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToolButtonSize(c.client), c.size);
        const auto places = LayoutToolButtons(c.client, 5, false, false);
        ASSERT_EQ(places.size(), 10u);
        for (size_t i = 0; i + 1 < places.size(); ++i) {
            EXPECT_EQ(places[i].rect,
                      QRect(c.x, c.firstY + static_cast<int>(i) * c.step, c.size, c.size))
                << "button " << places[i].id << " in " << c.client.width() << "x"
                << c.client.height();
        }
        EXPECT_EQ(places.back().id, kExitOrBack);
        EXPECT_EQ(places.back().rect, QRect(c.x, c.exitY, c.size, c.size));
    }
}

TEST(ToolButtonLayout, ColumnAndVisibilityByPhase) {
    const QRect client(0, 0, 1297, 691);
    using V = std::vector<int>;
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, false, false)),
              (V{kLoadPhantom, kExportSelected, kExportAll, kExitOrBack}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, true, true)),
              (V{kLoadPhantom, kLoadLastPanoramic, kLoadLastTomo, kExportSelected, kExportAll,
                 kExitOrBack}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 1, false, true)),
              (V{kLoadPhantom, kLoadLastTomo, kExportSelected, kExportAll, kExitOrBack}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 2, true, true)),
              (V{kStartTomo, kScrolling, kZoom, kExportSelected, kExportAll, kExitOrBack}));
    EXPECT_EQ(Ids(LayoutToolButtons(client, 3, true, true)),
              (V{kExportSelected, kExportAll, kExitOrBack}));

    // Phase 1 without a last examination shows only the phantom button and the exit button.
    std::vector<int> visible;
    for (int id : kButtonOrder) {
        if (IsToolButtonVisible(id, 1, 1, false, false))
            visible.push_back(id);
    }
    EXPECT_EQ(visible, (V{kLoadPhantom, kExitOrBack}));
    visible.clear();
    for (int id : kButtonOrder) {
        if (IsToolButtonVisible(id, 5, 5, true, true))
            visible.push_back(id);
    }
    EXPECT_EQ(visible, (V{kScrolling, kBrightness, kContrast, kGamma, kUnsharp, kFiltersReset,
                          kZoom, kExportSelected, kExportAll, kExitOrBack, kPrevious, kFollowing}));
    EXPECT_TRUE(IsToolButtonVisible(kStartTomo, 2, 1, false, false))
        << "follows the window's phase";
    EXPECT_FALSE(IsToolButtonVisible(kStartTomo, 1, 2, false, false));
    EXPECT_FALSE(IsToolButtonVisible(kHidden, 5, 5, true, true));
}

TEST(ToolButtonLayout, StatusLine) {
    const auto s = LayoutStatusLine(QRect(0, 0, 1000, 500));
    EXPECT_EQ(s.icon, QRect(0, 472, 30, 27));
    EXPECT_EQ(s.text, QRect(30, 472, 899 - 30, 28));
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
    EXPECT_NE(path.find("config_zor//log.txt"), std::string::npos);
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
    TimerTable timers([&](int id) { ticks.push_back(id); });
    timers.SetTimer(4, 3000);
    EXPECT_EQ(timers.Period(4), 3000);
    timers.SetTimer(4, 20);
    EXPECT_EQ(timers.Period(4), 20) << "a second SetTimer restarts with the new period";
    QElapsedTimer clock;
    clock.start();
    while (ticks.empty() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(ticks, std::vector<int>{4});
    timers.KillTimer(4);
    EXPECT_FALSE(timers.IsActive(4));
    EXPECT_EQ(timers.Period(4), 0);
    timers.KillTimer(9);  // unknown ids are fine
    timers.Fire(2);
    EXPECT_EQ(ticks, (std::vector<int>{4, 2}));
}

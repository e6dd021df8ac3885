// The main window on the offscreen platform: layout, status line, menu, keys and timers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>
#include <filesystem>

#include "ShellTestSupport.h"
#include "acquisition/Workflow.h"
#include "shell/ActivityLog.h"
#include "shell/StatusLine.h"
#include "shell/TimerTable.h"
#include "shell/ToolButtonLayout.h"
#include "shell/ToolButtons.h"
#include "shell/Translate.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"
#include "ui/CButtonST.h"

using namespace zor;
using namespace zor::shell;

namespace {

/// A running application object with its main window at a given client size.
class MainWindowTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& args, int language = 0) {
        m_Install.WriteDefaultRegistry();
        m_Install.WriteIni("[PCDRIVER_OPTIONS]\nlanguage=" + std::to_string(language) + "\n");
        std::filesystem::copy(std::filesystem::path(ZOR_SOURCE_DIR) / "resources/language",
                              m_Install.Root() / "install/language",
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        m_App = std::make_unique<Czor_managerApp>(args);
        ASSERT_TRUE(m_App->InitInstance());
        m_Window = m_App->MainWindow();
    }
    void TearDown() override {
        if (m_App && m_App->MainWindow()) {
            m_Window->ExitCommand();
            m_App->ExitInstance();
        }
    }

    test::TempInstall m_Install;
    std::unique_ptr<Czor_managerApp> m_App;
    Czor_managerDlg* m_Window = nullptr;
};

}  // namespace

TEST_F(MainWindowTest, PhaseOneShowsOnlyThePhantomAndExitButtons) {
    Start({"#LEFT", "0", "#TOP", "0", "#WIDTH", "1297", "#HEIGHT", "691"});
    ASSERT_EQ(m_Window->size(), QSize(1297, 691));
    std::vector<int> visible;
    for (int id : kButtonOrder) {
        if (m_Window->Buttons().Button(id)->isVisibleTo(m_Window))
            visible.push_back(id);
    }
    EXPECT_EQ(visible, (std::vector<int>{kLoadPhantom, kExitOrBack}));
    // size 42, column x 1205, first top 27, exit at 691 - 27 - 42.
    EXPECT_EQ(m_Window->Buttons().Button(kLoadPhantom)->geometry(), QRect(1205, 27, 42, 42));
    EXPECT_EQ(m_Window->Buttons().Button(kExitOrBack)->geometry(), QRect(1205, 622, 42, 42));
    EXPECT_EQ(m_Window->Buttons().Button(kExitOrBack)->TooltipText(), "Exit");

    m_Window->resize(1122, 406);
    QApplication::processEvents();
    EXPECT_EQ(m_Window->Buttons().Button(kLoadPhantom)->geometry(), QRect(1042, 16, 24, 24));
}

TEST_F(MainWindowTest, DefaultPlacementIsMostOfTheScreen) {
    Start({});
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(m_Window->width(), static_cast<int>(screen.width() * 0.95));
    EXPECT_EQ(m_Window->height(), static_cast<int>(screen.height() * 0.9));
}

TEST_F(MainWindowTest, StatusLineAndItsAutomaticClearing) {
    Start({});
    m_Window->LogMessage("first\r\nline", true, 0, true);
    EXPECT_EQ(m_Window->Status().Text(), "firstline");
    EXPECT_EQ(m_Window->Status().IconLevel(), 0);
    EXPECT_TRUE(m_Window->Status().IsBold());
    EXPECT_EQ(m_Window->Timers().Period(4), 3000);
    m_Window->LogMessage("second", false, 5, true);
    EXPECT_EQ(m_Window->Status().IconLevel(), -1) << "level 5 has no icon";
    EXPECT_EQ(m_Window->Timers().Period(4), 3000) << "restarted by the second message";
    m_Window->Timers().Fire(4);
    EXPECT_EQ(m_Window->Status().Text(), "");
    EXPECT_FALSE(m_Window->Timers().IsActive(4));

    const std::string log = test::ReadFile(ActivityLogPath(m_Install.InstallDir()));
    EXPECT_NE(log.find(" - firstline\n"), std::string::npos);
    EXPECT_NE(log.find(" - second\n"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << "empty texts are not logged";
}

TEST_F(MainWindowTest, ContextMenuIsTranslatedAndFollowsThePhase) {
    Start({}, 3);  // German
    const auto entries = m_Window->ContextMenuEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].second, kMenuBackOrExit);
    EXPECT_EQ(entries[3].first, QString::fromStdString(Tr("_[Exit]_")));
    EXPECT_NE(entries[3].first, "Exit") << "the German text";
    EXPECT_EQ(entries[0].second, kMenuAbout);
    EXPECT_EQ(entries[1].second, kMenuQuickStart);

    m_Window->Workflow().EnterWorkflowStep(2, true, false);
    EXPECT_EQ(m_Window->ContextMenuEntries()[3].first,
              QString::fromStdString(Tr("_[Back to start]_")));
}

TEST_F(MainWindowTest, EnterEscapeAndCloseLeaveTheWindowOpen) {
    Start({});
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(m_Window, &press);
    }
    EXPECT_FALSE(m_Window->close());
    EXPECT_TRUE(m_Window->isVisible());
}

TEST_F(MainWindowTest, ToolModesAreExclusiveAndScrollingEndsThem) {
    Start({});
    m_Window->OnCommand(kZoom);
    EXPECT_TRUE(m_Window->IsModeActive(kZoom));
    EXPECT_TRUE(m_Window->Buttons().Button(kZoom)->IsFlat());
    m_Window->OnCommand(kGamma);
    EXPECT_FALSE(m_Window->IsModeActive(kZoom));
    EXPECT_FALSE(m_Window->Buttons().Button(kZoom)->IsFlat());
    EXPECT_TRUE(m_Window->Buttons().Button(kGamma)->IsFlat());
    m_Window->OnCommand(kScrolling);
    for (int id : {kZoom, kBrightness, kContrast, kGamma}) {
        EXPECT_FALSE(m_Window->IsModeActive(id));
        EXPECT_FALSE(m_Window->Buttons().Button(id)->IsFlat());
    }
}

TEST_F(MainWindowTest, BackToStartFromALaterPhase) {
    Start({"#PANORAMIC_FILEPATH", "/tmp/x.tif", "#PATIENT_NAME", "Anna"});
    m_Window->Workflow().EnterWorkflowStep(2, true, false);
    m_Window->UpdateToolButtons(2, false, false);
    EXPECT_EQ(m_Window->Buttons().Button(kExitOrBack)->TooltipText(), "Back to start");
    m_Window->OnCommand(kMenuBackOrExit);
    EXPECT_EQ(m_Window->Workflow().WorkflowPhase(), 1);
    EXPECT_EQ(m_Window->Caller().PatientName, "");
    EXPECT_FALSE(m_Window->Caller().CallerPanoramicMode);
    EXPECT_TRUE(m_Window->isVisible()) << "back, not exit";
}

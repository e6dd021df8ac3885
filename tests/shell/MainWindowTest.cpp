// The main window on the offscreen platform: routing, layout, status line, menu and window kind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <filesystem>
#include <typeinfo>

#include "ShellTestSupport.h"
#include "acquisition/Workflow.h"
#include "phantom/DemoData.h"
#include "shell/ActivityLog.h"
#include "shell/RouteTable.h"
#include "shell/ToolButtonLayout.h"
#include "shell/Translate.h"
#include "shell/WindowMessages.h"
#include "shell/zor_managerApp.h"
#include "shell/zor_managerDlg.h"
#include "ui/CAboutDlg.h"
#include "ui/CButtonST.h"
#include "ui/CDlgMsg.h"

using namespace zor;
using namespace zor::shell;

namespace {

struct RecordingExport : IExportCommands {
    void ExportSelected() override { Calls.push_back("export selected"); }
    void ExportAll() override { Calls.push_back("export all"); }
    std::vector<std::string> Calls;
};

/// A running application object with its main window; `recorded` gives it a recording workflow.
class MainWindowTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& args, int language = 0, bool recorded = false) {
        m_Install.WriteDefaultRegistry();
        m_Install.WriteIni("[PCDRIVER_OPTIONS]\nlanguage=" + std::to_string(language) + "\n");
        std::filesystem::copy(std::filesystem::path(ZOR_SOURCE_DIR) / "resources/language",
                              m_Install.Root() / "install/language",
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        m_App = std::make_unique<Czor_managerApp>(args);
        if (m_Factory) {
            m_App->SetWorkflowFactory(m_Factory);
        } else if (recorded) {
            m_App->SetWorkflowFactory([this](const acquisition::WorkflowPorts&) {
                auto recorder = std::make_unique<test::RecordingWorkflow>();
                m_Workflow = recorder.get();
                return recorder;
            });
        }
        ASSERT_TRUE(m_App->InitInstance());
        m_Window = m_App->MainWindow();
    }
    void TearDown() override {
        if (m_App && m_App->MainWindow()) {
            m_Window->ExitCommand();
            m_App->ExitInstance();
        }
    }
    ui::CButtonST* Button(CommandId id) const {
        return m_Window->findChild<ui::CButtonST*>(QString::number(ToInt(id)),
                                                   Qt::FindDirectChildrenOnly);
    }
    QLabel* Control(int id) const {
        return m_Window->findChild<QLabel*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }
    std::vector<CommandId> VisibleButtons() const {
        std::vector<CommandId> visible;
        for (CommandId id : kButtonOrder)
            if (Button(id)->isVisibleTo(m_Window))
                visible.push_back(id);
        return visible;
    }
    /// The mode button marked flat, if any.
    std::optional<CommandId> MarkedMode() const {
        for (CommandId id :
             {CommandId::Zoom, CommandId::Brightness, CommandId::Contrast, CommandId::Gamma}) {
            if (Button(id)->IsFlat())
                return id;
        }
        return std::nullopt;
    }
    /// The first child window of exactly type T.
    template <typename T>
    T* Child() const {
        for (QWidget* w : m_Window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (typeid(*w) == typeid(T))
                return static_cast<T*>(w);
        return nullptr;
    }

    test::TempInstall m_Install;
    std::unique_ptr<Czor_managerApp> m_App;
    Czor_managerDlg* m_Window = nullptr;
    test::RecordingWorkflow* m_Workflow = nullptr;
    WorkflowFactory m_Factory;
};

}  // namespace

TEST_F(MainWindowTest, EveryIdReachesItsOwner) {
    Start({}, 0, true);
    RecordingExport exporter;
    m_Window->SetExport(&exporter);
    const std::pair<CommandId, const char*> workflowCommands[] = {
        {CommandId::BackOrExit, "back or exit"},
        {CommandId::MenuBackOrExit, "back or exit"},
        {CommandId::StartTomosynthesis, "start"},
        {CommandId::LoadLastPanoramic, "last panoramic"},
        {CommandId::LoadLastTomosynthesis, "last tomosynthesis"},
        {CommandId::LoadPhantomPanoramic, "phantom"},
    };
    for (const auto& [id, call] : workflowCommands) {
        m_Workflow->Calls.clear();
        m_Window->OnCommand(id);
        EXPECT_EQ(m_Workflow->Calls, std::vector<std::string>{call}) << ToInt(id);
    }
    m_Workflow->Calls.clear();
    m_Window->OnCommand(CommandId::ExportSelected);
    m_Window->OnCommand(CommandId::ExportAll);
    EXPECT_EQ(exporter.Calls, (std::vector<std::string>{"export selected", "export all"}));

    // The viewer's commands change the viewer's tool mode and nothing else.
    using Mode = std::optional<CommandId>;
    const std::pair<CommandId, Mode> viewerCommands[] = {
        {CommandId::Zoom, CommandId::Zoom},
        {CommandId::Scrolling, std::nullopt},
        {CommandId::Gamma, CommandId::Gamma},
        {CommandId::Unsharp, std::nullopt},
        {CommandId::Brightness, CommandId::Brightness},
        {CommandId::FiltersReset, std::nullopt},
        {CommandId::Contrast, CommandId::Contrast},
    };
    for (const auto& [id, mode] : viewerCommands) {
        m_Window->OnCommand(id);
        EXPECT_EQ(MarkedMode(), mode) << ToInt(id);
    }
    for (CommandId id : {CommandId::Previous, CommandId::Following, CommandId::Hidden})
        m_Window->OnCommand(id);
    EXPECT_EQ(MarkedMode(), CommandId::Contrast);
    EXPECT_TRUE(m_Workflow->Calls.empty());
    EXPECT_EQ(exporter.Calls.size(), 2u);

    m_Window->OnCommand(CommandId::MenuAbout);
    ASSERT_NE(Child<ui::CAboutDlg>(), nullptr);
    EXPECT_TRUE(Child<ui::CAboutDlg>()->isVisible());
    m_Window->OnCommand(CommandId::MenuQuickStart);  // no guide installed: nothing happens

    // Timers 2, 3, 5 and 6 are the workflow's; 1 and 4 the shell's.
    for (TimerId id :
         {TimerId::StepHide, TimerId::DevicePoll, TimerId::ExposureWatch, TimerId::SelectionSteps})
        m_Window->OnTimer(id);
    EXPECT_EQ(m_Workflow->Calls,
              (std::vector<std::string>{"timer 2", "timer 3", "timer 5", "timer 6"}));
    ASSERT_NE(Child<ui::CDlgMsg>(), nullptr);
    Child<ui::CDlgMsg>()->show();
    m_Window->OnTimer(TimerId::InfoHide);
    EXPECT_FALSE(Child<ui::CDlgMsg>()->isVisible());

    // Posted messages arrive on the window's thread.
    m_Workflow->Calls.clear();
    PostWindowMessage(m_Window, MessageId::NewPanoramic, 1);
    PostWindowMessage(m_Window, MessageId::ReconstructionEnded, 0);
    QCoreApplication::sendPostedEvents(m_Window);
    EXPECT_EQ(m_Workflow->Calls, (std::vector<std::string>{"new panoramic 1", "reconstruction 0"}));

    // Ids without a row do nothing.
    m_Workflow->Calls.clear();
    m_Window->OnCommand(static_cast<CommandId>(1016));
    EXPECT_TRUE(m_Workflow->Calls.empty());
}

TEST_F(MainWindowTest, PhaseOneShowsOnlyThePhantomAndExitButtons) {
    Start({});  // the offscreen screen is smaller than this window: its size is set directly
    m_Window->setFixedSize(1297, 691);
    QApplication::processEvents();
    EXPECT_EQ(VisibleButtons(),
              (std::vector<CommandId>{CommandId::LoadPhantomPanoramic, CommandId::BackOrExit}));
    EXPECT_EQ(Button(CommandId::BackOrExit)->geometry(), QRect(1205, 622, 42, 42));
}

TEST_F(MainWindowTest, StatusLineAndItsAutomaticClearing) {
    Start({});
    // Without a driver program the start-up has logged that already.
    const std::string startLog = test::ReadFile(ActivityLogPath(m_Install.InstallDir()));
    m_Window->LogMessage("first\r\nline", true, 0, true);
    EXPECT_EQ(Control(1019)->text(), "firstline");
    EXPECT_TRUE(Control(1019)->font().bold());
    EXPECT_FALSE(Control(1018)->pixmap().isNull()) << "the error icon";
    m_Window->LogMessage("second", false, 5, true);
    EXPECT_TRUE(Control(1018)->pixmap().isNull()) << "level 5 has no icon";
    m_Window->OnTimer(TimerId::StatusClear);
    EXPECT_EQ(Control(1019)->text(), "");

    const std::string log = test::ReadFile(ActivityLogPath(m_Install.InstallDir()));
    EXPECT_NE(log.find(" - firstline\n"), std::string::npos);
    EXPECT_NE(log.find(" - second\n"), std::string::npos);
    EXPECT_EQ(std::count(log.begin() + startLog.size(), log.end(), '\n'), 2)
        << "empty texts are not logged";
}

TEST_F(MainWindowTest, ContextMenuIsTranslatedAndFollowsThePhase) {
    Start({}, 3, true);  // German
    const auto entries = m_Window->ContextMenuEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].second, ToInt(CommandId::MenuBackOrExit));
    EXPECT_EQ(entries[3].first, QString::fromStdString(Tr("_[Exit]_")));
    EXPECT_NE(entries[3].first, "Exit") << "the German text";
    m_Workflow->Phase = 2;
    EXPECT_EQ(m_Window->ContextMenuEntries()[3].first,
              QString::fromStdString(Tr("_[Back to start]_")));
}

// Placed as CallerPlacement places a window without the caller's placement; with the real
// workflow in phase 1 the system close command does nothing and Exit closes.
TEST_F(MainWindowTest, DefaultPlacementAndOnlyExitCloses) {
    acquisition::Workflow* real = nullptr;
    m_Factory = [&](const acquisition::WorkflowPorts& ports) {
        acquisition::WorkflowSettings settings;
        settings.Images.m_InstallDir = m_Install.InstallDir();
        auto workflow = std::make_unique<acquisition::Workflow>(ports, settings);
        real = workflow.get();
        return workflow;
    };
    Start({});
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(m_Window->size(), QSize(int(screen.width() * 0.95), int(screen.height() * 0.9)));
    ASSERT_EQ(real->WorkflowPhase(), 1);
    EXPECT_FALSE(m_Window->close());
    EXPECT_TRUE(m_Window->isVisible());
    m_Window->OnCommand(CommandId::BackOrExit);
    EXPECT_FALSE(m_Window->isVisible()) << "the first click in phase 1 exits";
}

TEST_F(MainWindowTest, DraggingOnThePanoramicMovesTheFrameWithinTheUsableColumns) {
    std::string error;
    ASSERT_TRUE(phantom::WriteDemoData(m_Install.InstallDir(), &error)) << error;
    const std::string panoramic = m_Install.InstallDir() + "work/phantom_pano.tif";
    Start({"#PANORAMIC_FILEPATH", panoramic});
    QApplication::processEvents();

    // The frame's columns: where its green line runs on a row through the panoramic.
    const int row = m_Window->height() / 4;
    const auto frameColumns = [&] {
        const QImage shot = m_Window->grab().toImage();
        int left = -1, right = -1;
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, row) == qRgb(0, 200, 0)) {
                left = left < 0 ? x : left;
                right = x;
            }
        }
        return std::pair{left, right};
    };
    const auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        const QPointF local(x, row);
        QMouseEvent event(type, local, m_Window->mapToGlobal(local), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(m_Window, &event);
    };
    const auto drag = [&](int from, int to) {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    };

    const auto [placedLeft, placedRight] = frameColumns();
    ASSERT_GT(placedLeft, 0) << "the frame is placed on the panoramic at start-up";
    const int width = placedRight - placedLeft;
    const int centre = (placedLeft + placedRight) / 2;

    drag(centre, 0);
    const auto [leftmost, leftmostRight] = frameColumns();
    EXPECT_LT(leftmost, placedLeft);
    EXPECT_GT(leftmost, 0) << "held inside the usable columns";
    EXPECT_EQ(leftmostRight - leftmost, width);

    drag((leftmost + leftmostRight) / 2, m_Window->width() - 1);
    const auto [rightmostLeft, rightmost] = frameColumns();
    EXPECT_GT(rightmost, placedRight);
    EXPECT_EQ(rightmost - rightmostLeft, width);
    // The usable columns are centred on the panoramic, and so was the placed frame.
    EXPECT_NEAR(placedLeft - leftmost, rightmost - placedRight, 2);
}

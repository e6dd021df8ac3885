// The info window, the progress window and the About box as the operator meets them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/CDlgMsg.h"
#include "ui/CDlgVolumeProgress.h"
#include "ui/MessageLayout.h"
#include "ui/UiConstants.h"

namespace zor::ui {
namespace {

// Lengths near INT_MAX must not overflow the line count.
TEST(MessageLayout, HugeTextsDoNotOverflow) {
    const TextPlacement p = PlaceCentredText(128, 1, 2'000'000'000, {1000, 20, 3, 0});
    EXPECT_GT(p.lines, 0);
    EXPECT_GT(p.height, 0);
}

TEST(CDlgMsg, LongTextGrowsByWholeLinesAndStaysCentred) {
    QWidget main;
    main.resize(1000, 700);
    CDlgMsg msg(&main);
    ASSERT_EQ(msg.size(), QSize(507, 128));
    const TextMetricsPx m = msg.CurrentTextMetrics();
    const int lineHeight = m.height + m.internalLeading + m.externalLeading;
    ASSERT_GT(lineHeight, 0);

    msg.SetText(QStringLiteral("Export done."));
    QLabel* text = msg.Label(kIdMessageText);
    ASSERT_NE(text, nullptr);
    const int shortHeight = text->height();
    EXPECT_EQ(shortHeight % lineHeight, 0);

    msg.SetText(QString(40, QLatin1Char('x')) + QStringLiteral(" ") +
                QString(40, QLatin1Char('y')));
    const int longHeight = text->height();
    EXPECT_GT(longHeight, shortHeight);
    EXPECT_EQ(longHeight % lineHeight, 0);
    EXPECT_EQ(text->y(), (128 - longHeight) / 2);
    EXPECT_EQ(text->x(), 5);
    EXPECT_EQ(text->width(), 497);
}

// Records the keys that reach the main window.
class KeyRecorder : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

TEST(AuxiliaryWindows, EnterEscapeAndCloseDoNothing) {
    KeyRecorder main;
    main.resize(800, 600);
    CDlgMsg info(&main);
    CDlgVolumeProgress progress(&main);
    CAboutDlg about(&main);
    main.show();
    for (QWidget* w : std::initializer_list<QWidget*>{&info, &progress, &about}) {
        w->show();
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(w, &press);
        }
        EXPECT_FALSE(w->close());
        EXPECT_TRUE(w->isVisible());
    }
    EXPECT_TRUE(main.keys.empty());
}

TEST(CDlgVolumeProgress, ShowingResetsAndCentres) {
    QWidget main;
    main.resize(1000, 700);
    main.show();
    CDlgVolumeProgress progress(&main);
    auto* bar = qobject_cast<QProgressBar*>(progress.Control(kIdProgressBar));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->maximum(), 99);
    progress.SetPos(150);
    EXPECT_EQ(progress.Pos(), 99) << "clamped";
    progress.SetPos(57);
    progress.ShowCentred();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Pos(), 0);
    EXPECT_EQ(progress.pos(), QPoint((1000 - 507) / 2, (700 - 128) / 2));
    progress.SetPos(30);
    progress.ShowCentred();  // again while visible
    EXPECT_EQ(progress.Pos(), 0);

    progress.SetPos(50);
    progress.move(3, 4);
    main.hide();  // the main window coming back does not restart the bar
    main.show();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Pos(), 50);
    EXPECT_EQ(progress.pos(), QPoint(3, 4));
}

TEST(CDlgVolumeProgress, WorkerPostsReachTheWindowInOrder) {
    QWidget main;
    main.resize(900, 600);
    main.show();
    CDlgVolumeProgress progress(&main);
    std::thread worker([&progress] {
        progress.PostShow(true);
        for (int i = 0; i <= 99; ++i)
            progress.PostProgress(i);
        progress.PostProgress(140);
    });
    worker.join();
    EXPECT_FALSE(progress.isVisible());  // nothing happens before the event loop runs
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Pos(), 99);
    EXPECT_EQ(progress.pos(), QPoint((900 - 507) / 2, (600 - 128) / 2));

    std::thread hider([&progress] { progress.PostShow(false); });
    hider.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(progress.isVisible());
}

TEST(CAboutDlg, ShowsBuildVersionAndHidesOnOk) {
    QWidget main;
    main.resize(1000, 700);
    main.show();
    CAboutDlg about(&main);
    EXPECT_FALSE(about.isVisible());
    ASSERT_FALSE(CAboutDlg::ProductVersion().isEmpty());
    EXPECT_EQ(about.Label(kIdAboutVersion)->text(),
              QStringLiteral("Version: ") + CAboutDlg::ProductVersion());

    for (int round = 0; round < 2; ++round) {  // stays allocated and can be shown again
        about.ShowCentred();
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(about.pos(), QPoint((1000 - about.width()) / 2, (700 - about.height()) / 2));
        about.OkButton()->click();
        EXPECT_FALSE(about.isVisible());
    }
}

}  // namespace
}  // namespace zor::ui

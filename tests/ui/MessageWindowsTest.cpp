// The info window, the progress window and the About box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
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

using test::PixelAt;
using test::Render;
using test::WaitFor;

struct CentreCase {
    int clientHeight, controlWidth, length;
    TextMetricsPx metrics;
    int lines, height, y;
};

class CentreTest : public ::testing::TestWithParam<CentreCase> {};

TEST_P(CentreTest, WholeLinesCentredInTheClientArea) {
    const CentreCase& c = GetParam();
    const TextPlacement p = PlaceCentredText(c.clientHeight, c.controlWidth, c.length, c.metrics);
    EXPECT_EQ(p.lines, c.lines);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.y, c.y);
    EXPECT_EQ(p.x, 5);
}

// Metrics {max char width, height, internal leading, external leading}: 23 pixels a line.
INSTANTIATE_TEST_SUITE_P(
    Lines, CentreTest,
    ::testing::Values(CentreCase{128, 497, 0, {20, 20, 3, 0}, 0, 0, 64},
                      CentreCase{128, 497, 1, {20, 20, 3, 0}, 1, 23, 52},
                      CentreCase{128, 497, 24, {20, 20, 3, 0}, 1, 23, 52},    // 480 of 497
                      CentreCase{128, 497, 25, {20, 20, 3, 0}, 2, 46, 41},    // 500: one more
                      CentreCase{128, 500, 25, {20, 20, 3, 0}, 1, 23, 52},    // exactly full
                      CentreCase{128, 497, 75, {20, 20, 3, 1}, 4, 96, 16},
                      CentreCase{128, 497, 200, {20, 20, 3, 0}, 9, 207, -39}, // taller than the window
                      CentreCase{128, 0, 3, {10, 10, 0, 0}, 30, 300, -86}));  // no width counts as 1

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

    msg.SetText(QString(40, QLatin1Char('x')) + QStringLiteral(" ") + QString(40, QLatin1Char('y')));
    const int longHeight = text->height();
    EXPECT_GT(longHeight, shortHeight);
    EXPECT_EQ(longHeight % lineHeight, 0);
    EXPECT_EQ(text->y(), (128 - longHeight) / 2);
    EXPECT_EQ(text->x(), 5);
    EXPECT_EQ(text->width(), 497);
}

TEST(CDlgMsg, FrameAndBorderArePainted) {
    QWidget main;
    main.resize(800, 600);
    CDlgMsg msg(&main);
    const QImage shot = Render(msg);
    EXPECT_EQ(PixelAt(shot, 0, 64), QColor(Qt::black));
    EXPECT_EQ(PixelAt(shot, 1, 64), kFrameColour);
    EXPECT_EQ(PixelAt(shot, 2, 64), kFrameColour);
    EXPECT_EQ(PixelAt(shot, 3, 64), QColor(Qt::white));
    EXPECT_EQ(PixelAt(shot, 505, 64), kFrameColour);
    EXPECT_EQ(PixelAt(shot, 250, 1), kFrameColour);
    EXPECT_EQ(PixelAt(shot, 250, 126), kFrameColour);
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
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 99);
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

TEST(CDlgVolumeProgress, PositionIsClamped) {
    QWidget main;
    CDlgVolumeProgress progress(&main);
    progress.SetPos(150);
    EXPECT_EQ(progress.Pos(), 99);
    progress.SetPos(-5);
    EXPECT_EQ(progress.Pos(), 0);
}

TEST(CDlgVolumeProgress, WorkerPostsReachTheWindowInOrder) {
    QWidget main;
    main.resize(900, 600);
    main.show();
    CDlgVolumeProgress progress(&main);
    std::thread worker([&progress] {
        progress.PostShow(true);
        for (int i = 0; i <= 99; ++i) progress.PostProgress(i);
        progress.PostProgress(140);
    });
    worker.join();
    EXPECT_FALSE(progress.isVisible());  // nothing happens before the event loop runs
    ASSERT_TRUE(WaitFor([&] { return progress.isVisible() && progress.Pos() == 99; }));
    EXPECT_EQ(progress.pos(), QPoint((900 - 507) / 2, (600 - 128) / 2));

    std::thread hider([&progress] { progress.PostShow(false); });
    hider.join();
    EXPECT_TRUE(WaitFor([&] { return !progress.isVisible(); }));
}

TEST(CDlgVolumeProgress, PictureIsDrawnAtItsPlace) {
    QWidget main;
    CDlgVolumeProgress progress(&main);
    EXPECT_FALSE(progress.SetPicture(QStringLiteral("/nonexistent/info.bmp")));
    EXPECT_FALSE(progress.HasPicture());

    const QString path = QDir::temp().filePath(QStringLiteral("zor_ui_info_test.bmp"));
    ASSERT_TRUE(test::MakePicture({16, 16}, QColor(255, 0, 0)).save(path, "BMP"));
    EXPECT_TRUE(progress.SetPicture(path));
    const QImage shot = Render(progress);
    // 0.07 x 507 = 35, 0.16 x 128 = 20
    EXPECT_EQ(PixelAt(shot, 35, 20), QColor(255, 0, 0));
    EXPECT_EQ(PixelAt(shot, 34, 20), QColor(Qt::white));
    EXPECT_EQ(PixelAt(shot, 35, 19), QColor(Qt::white));
    QFile::remove(path);
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
    EXPECT_EQ(about.Label(kIdAboutLegal)->text(), CAboutDlg::LegalCopyright());
    EXPECT_EQ(about.Label(kIdAboutTitle)->text(), QStringLiteral("DTS"));
    EXPECT_TRUE(about.Label(kIdAboutTitle)->font().bold());

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

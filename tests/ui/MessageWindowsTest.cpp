// The info, progress, About and step windows as the operator meets them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "support/TempDir.h"
#include "ui/CAboutDlg.h"
#include "ui/CDlgMsg.h"
#include "ui/CDlgMsgBmp.h"
#include "ui/CDlgVolumeProgress.h"
#include "ui/MessageLayout.h"
#include "ui/StepWindowModel.h"
#include "ui/UiConstants.h"

namespace zor::ui {
namespace {

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
    // Lengths near INT_MAX must not overflow the line count.
    const TextPlacement huge = PlaceCentredText(128, 1, 2'000'000'000, {1000, 20, 3, 0});
    EXPECT_GT(huge.lines, 0);
    EXPECT_GT(huge.height, 0);
}

// Records the keys that reach the main window.
struct KeyRecorder : QWidget {
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
    std::vector<int> keys;
};

TEST(AuxiliaryWindows, EnterEscapeAndCloseDoNothingAndOkHidesTheAboutBox) {
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
    for (int round = 0; round < 2; ++round) {  // the About box hides on OK and shows again
        about.OkButton()->click();
        EXPECT_FALSE(about.isVisible());
        about.ShowCentred();
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(about.pos(), QPoint((800 - about.width()) / 2, (600 - about.height()) / 2));
    }
}

TEST(CDlgVolumeProgress, ShowingResetsAndCentresAndWorkerPostsArriveInOrder) {
    QWidget main;
    main.resize(1000, 700);
    main.show();
    CDlgVolumeProgress progress(&main);
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
    progress.hide();  // a worker's posts reach the window in order, once the event loop runs
    std::thread([&progress] {
        progress.PostShow(true);
        for (int i = 0; i <= 99; ++i)
            progress.PostProgress(i);
        progress.PostProgress(140);
    }).join();
    EXPECT_FALSE(progress.isVisible());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Pos(), 99);
    std::thread([&progress] { progress.PostShow(false); }).join();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(progress.isVisible());
}

using test::MakePicture;
using test::PixelAt;
using test::Render;

const QSize kInitial(507, 419);

class StepPictures : public ::testing::Test {
protected:
    QString Write(const char* name, const QColor& colour) {
        const QString path = QString::fromStdString(m_Dir.File(name));
        EXPECT_TRUE(MakePicture({20, 12}, colour).save(path, "BMP"));
        return path;
    }
    zor::test::TempDir m_Dir;
    const QString m_Red = Write("red.bmp", QColor(255, 0, 0));
    const QString m_Green = Write("green.bmp", QColor(0, 255, 0));
    const QString m_Broken =
        QString::fromStdString(m_Dir.Write("broken.bmp", "BM not a bitmap").string());
};

TEST_F(StepPictures, UnloadablePicturesAreSkippedAndKeepTheirSlot) {
    StepWindowModel model(kInitial);
    ASSERT_EQ(model.SetStepBitmaps({m_Red, m_Green, m_Green, {}}), 3);
    ASSERT_EQ(::mkfifo(m_Dir.File("fifo.bmp").c_str(), 0600), 0);  // refused, not waited on
    EXPECT_EQ(model.SetStepBitmaps({m_Green, m_Broken, QStringLiteral("/nonexistent/Reset.bmp"),
                                    QString::fromStdString(m_Dir.File("fifo.bmp"))}),
              1);
    EXPECT_TRUE(model.LineVisible(1));  // a failed load does not hide the line
    EXPECT_TRUE(model.LineVisible(2));
    EXPECT_TRUE(model.LineVisible(3));
    EXPECT_EQ(model.Picture(0).pixelColor(0, 0), QColor(0, 255, 0));
    EXPECT_EQ(model.Picture(1).pixelColor(0, 0), QColor(0, 255, 0));  // kept from before
    EXPECT_EQ(model.WindowSize().height(), 174);
    EXPECT_EQ(model.SetStepBitmaps(std::array<QString, kStepSlots>{}), 0);  // empty paths delete
    for (int slot = 0; slot < kStepSlots; ++slot) {
        EXPECT_TRUE(model.Picture(slot).isNull());
        EXPECT_FALSE(model.LineVisible(slot));
    }
    EXPECT_EQ(model.WindowSize().height(), 104);
}

TEST_F(StepPictures, WindowMapsTheModel) {
    QWidget main;
    main.resize(1200, 800);
    CDlgMsgBmp step(&main);
    ASSERT_EQ(step.size(), kInitial);
    step.move(40, 30);
    step.SetLines(QStringLiteral("Press reset"), QStringLiteral("b"), QStringLiteral("c"),
                  QStringLiteral("d"));
    EXPECT_EQ(step.SetStepBitmaps(m_Red, QString(), QString(), QString()), 1);
    EXPECT_EQ(step.size(), QSize(507, 174));
    EXPECT_EQ(step.pos(), QPoint(40, 30));
    EXPECT_FALSE(step.Label(1022)->isHidden());
    for (int id : {1024, 1023, 1025})
        EXPECT_TRUE(step.Label(id)->isHidden()) << id;
    EXPECT_EQ(PixelAt(Render(step), 30, 70), QColor(255, 0, 0));  // the first picture
    EXPECT_EQ(step.SetStepBitmaps(m_Red, m_Green, m_Red, m_Green), 4);
    EXPECT_EQ(step.height(), 384);
    for (int id : {1022, 1024, 1023, 1025})
        EXPECT_FALSE(step.Label(id)->isHidden()) << id;
}

}  // namespace
}  // namespace zor::ui

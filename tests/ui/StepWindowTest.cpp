// The step window: pictures, line visibility, resizing and placement.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "UiTestSupport.h"
#include "ui/CDlgMsgBmp.h"
#include "ui/StepWindowModel.h"
#include "ui/UiConstants.h"

namespace zor::ui {
namespace {

using test::MakePicture;
using test::PixelAt;
using test::Render;

const QSize kInitial(507, 419);

class StepPictures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Dir.isValid());
        m_Red = Write("red.bmp", MakePicture({20, 12}, QColor(255, 0, 0)));
        m_Green = Write("green.bmp", MakePicture({20, 12}, QColor(0, 255, 0)));
        m_Broken = m_Dir.filePath(QStringLiteral("broken.bmp"));
        QFile broken(m_Broken);
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("BM this is not a bitmap");
    }
    QString Write(const char* name, const QImage& image) {
        const QString path = m_Dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }
    QTemporaryDir m_Dir;
    QString m_Red, m_Green, m_Broken;
    const QString m_Missing = QStringLiteral("/nonexistent/Reset.bmp");
};

TEST(StepGeometry, HeightFollowsThePictureCount) {
    const int expected[] = {104, 174, 244, 314, 384};  // 419 x (n + 1.5) / 6, truncated
    for (int count = 0; count <= 4; ++count)
        EXPECT_EQ(StepWindowHeight(419, count), expected[count]) << count;
}

TEST(StepGeometry, PicturesAndLinesSitAtFractionsOfTheInitialSize) {
    const QPoint pictures[] = {{25, 67}, {25, 150}, {25, 234}, {25, 318}};
    const QPoint lines[] = {{126, 83}, {126, 167}, {126, 251}, {126, 335}};
    for (int slot = 0; slot < kStepSlots; ++slot) {
        EXPECT_EQ(StepPicturePosition(slot, kInitial), pictures[slot]) << slot;
        EXPECT_EQ(StepLinePosition(slot, kInitial), lines[slot]) << slot;
    }
    EXPECT_EQ(StepLinePosition(4, kInitial), QPoint());
    EXPECT_EQ(StepLineControlId(0), 1022);
    EXPECT_EQ(StepLineControlId(1), 1024);
    EXPECT_EQ(StepLineControlId(2), 1023);
    EXPECT_EQ(StepLineControlId(3), 1025);
}

TEST_F(StepPictures, OnlyTheFirstPathHidesThreeLines) {
    StepWindowModel model(kInitial);
    EXPECT_EQ(model.WindowSize(), kInitial);  // untouched until the pictures are set
    EXPECT_EQ(model.SetStepBitmaps({m_Red, {}, {}, {}}), 1);
    EXPECT_TRUE(model.LineVisible(0));
    for (int slot = 1; slot < kStepSlots; ++slot) EXPECT_FALSE(model.LineVisible(slot));
    EXPECT_EQ(model.WindowSize(), QSize(507, static_cast<int>(419 * 2.5 / 6)));
}

TEST_F(StepPictures, UnloadablePicturesAreSkippedAndKeepTheirSlot) {
    StepWindowModel model(kInitial);
    ASSERT_EQ(model.SetStepBitmaps({m_Red, m_Green, m_Green, {}}), 3);
    EXPECT_EQ(model.SetStepBitmaps({m_Green, m_Broken, m_Missing, {}}), 1);
    EXPECT_TRUE(model.LineVisible(1));  // a failed load does not hide the line
    EXPECT_TRUE(model.LineVisible(2));
    EXPECT_FALSE(model.LineVisible(3));
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
    step.SetTitle(QStringLiteral("DEVICE NOT READY"));
    step.SetLines(QStringLiteral("Press reset"), QStringLiteral("b"), QStringLiteral("c"),
                  QStringLiteral("d"));

    EXPECT_EQ(step.SetStepBitmaps(m_Red, QString(), QString(), QString()), 1);
    EXPECT_EQ(step.size(), QSize(507, 174));
    EXPECT_EQ(step.pos(), QPoint(40, 30));
    EXPECT_FALSE(step.Label(1022)->isHidden());
    for (int id : {1024, 1023, 1025}) EXPECT_TRUE(step.Label(id)->isHidden()) << id;
    EXPECT_EQ(step.Label(1019)->text(), QStringLiteral("DEVICE NOT READY"));
    EXPECT_EQ(step.Label(1022)->text(), QStringLiteral("Press reset"));
    EXPECT_EQ(step.Label(1022)->pos(), QPoint(126, 83));

    const QImage shot = Render(step);
    EXPECT_EQ(PixelAt(shot, 25, 67), QColor(255, 0, 0));
    EXPECT_EQ(PixelAt(shot, 44, 78), QColor(255, 0, 0));
    EXPECT_EQ(PixelAt(shot, 24, 67), QColor(Qt::white));

    EXPECT_EQ(step.SetStepBitmaps(m_Red, m_Green, m_Red, m_Green), 4);
    EXPECT_EQ(step.height(), 384);
    for (int id : {1022, 1024, 1023, 1025}) EXPECT_FALSE(step.Label(id)->isHidden()) << id;
    EXPECT_EQ(step.Label(1025)->pos(), QPoint(126, 335));
    EXPECT_EQ(PixelAt(Render(step), 25, 318), QColor(0, 255, 0));
}

}  // namespace
}  // namespace zor::ui

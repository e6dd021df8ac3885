// The step window: pictures, line visibility and resizing.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "support/TempDir.h"
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
        m_Red = Write("red.bmp", MakePicture({20, 12}, QColor(255, 0, 0)));
        m_Green = Write("green.bmp", MakePicture({20, 12}, QColor(0, 255, 0)));
        m_Broken = QString::fromStdString(m_Dir.Write("broken.bmp", "BM not a bitmap").string());
    }
    QString Write(const char* name, const QImage& image) {
        const QString path = QString::fromStdString(m_Dir.File(name));
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }
    zor::test::TempDir m_Dir;
    QString m_Red, m_Green, m_Broken;
    const QString m_Missing = QStringLiteral("/nonexistent/Reset.bmp");
};

TEST_F(StepPictures, OnlyTheFirstPathHidesThreeLines) {
    StepWindowModel model(kInitial);
    EXPECT_EQ(model.WindowSize(), kInitial);  // untouched until the pictures are set
    EXPECT_EQ(model.SetStepBitmaps({m_Red, {}, {}, {}}), 1);
    EXPECT_TRUE(model.LineVisible(0));
    for (int slot = 1; slot < kStepSlots; ++slot)
        EXPECT_FALSE(model.LineVisible(slot));
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
    for (int id : {1024, 1023, 1025})
        EXPECT_TRUE(step.Label(id)->isHidden()) << id;
    EXPECT_EQ(step.Label(1022)->text(), QStringLiteral("Press reset"));
    EXPECT_EQ(PixelAt(Render(step), 30, 70), QColor(255, 0, 0));  // the first picture

    EXPECT_EQ(step.SetStepBitmaps(m_Red, m_Green, m_Red, m_Green), 4);
    EXPECT_EQ(step.height(), 384);
    for (int id : {1022, 1024, 1023, 1025})
        EXPECT_FALSE(step.Label(id)->isHidden()) << id;
}

}  // namespace
}  // namespace zor::ui

// The owner-drawn button as a widget: colours, flat style and hover, pictures through the mask,
// tooltip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QPalette>
#include <QToolTip>

#include "UiTestSupport.h"
#include "ui/CButtonST.h"

namespace zor::ui {
namespace {

using test::MakePicture;
using test::PixelAt;
using test::Render;

const QColor kKey(50, 50, 50);
const QColor kInside(0, 0, 200);
const QColor kOutside(0, 160, 0);
const QColor kFocused(200, 200, 0);

// A 40 x 40 button whose three background slots are told apart by colour.
void Prepare(CButtonST& button) {
    button.resize(40, 40);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundInside), kInside);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundOutside), kOutside);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundFocused), kFocused);
}

void Enter(QWidget& w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&w, &e);
}

void Leave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

TEST(CButtonST, ColourIndexOutOfRangeChangesNothing) {
    CButtonST button;
    std::array<QColor, kButtonColourCount> before;
    for (int i = 0; i < kButtonColourCount; ++i) before[i] = button.GetColor(i);
    for (int bad : {6, 7, 100, -1}) {
        EXPECT_EQ(button.SetColor(bad, Qt::red), ButtonResult::IndexOutOfRange) << bad;
        EXPECT_EQ(static_cast<int>(button.SetColor(bad, Qt::red)), 3);
    }
    for (int i = 0; i < kButtonColourCount; ++i) EXPECT_EQ(button.GetColor(i), before[i]);
    EXPECT_EQ(button.SetColor(5, Qt::red), ButtonResult::Ok);
    EXPECT_EQ(button.GetColor(5), QColor(Qt::red));
}

TEST(CButtonST, DefaultColoursAreButtonFaceAndText) {
    CButtonST button;
    const QPalette pal = button.palette();
    for (int i : {0, 2, 4}) EXPECT_EQ(button.GetColor(i), pal.color(QPalette::Button));
    for (int i : {1, 3, 5}) EXPECT_EQ(button.GetColor(i), pal.color(QPalette::ButtonText));
}

TEST(CButtonST, TransparentColourShowsTheBackground) {
    CButtonST button;
    Prepare(button);
    ASSERT_EQ(button.SetBitmaps(MakePicture({32, 32}, kKey, Qt::red, 10), kKey), ButtonResult::Ok);
    const QImage shot = Render(button);
    // The picture sits at (4, 4); its keyed pixels show the outside background.
    EXPECT_EQ(PixelAt(shot, 6, 6), kOutside);
    EXPECT_EQ(PixelAt(shot, 20, 20), QColor(Qt::red));
    EXPECT_EQ(PixelAt(shot, 34, 20), kOutside);
}

TEST(CButtonST, PictureWithoutTheKeyIsAFullRectangle) {
    CButtonST button;
    Prepare(button);
    ASSERT_EQ(button.SetBitmaps(MakePicture({32, 32}, QColor(0, 0, 255)), kKey), ButtonResult::Ok);
    const QImage shot = Render(button);
    for (const QPoint& p : {QPoint(4, 4), QPoint(35, 4), QPoint(4, 35), QPoint(35, 35),
                            QPoint(20, 20)})
        EXPECT_EQ(PixelAt(shot, p.x(), p.y()), QColor(0, 0, 255)) << p.x() << "," << p.y();
    EXPECT_EQ(PixelAt(shot, 3, 20), kOutside);
    EXPECT_EQ(PixelAt(shot, 36, 20), kOutside);
}

TEST(CButtonST, PressedPictureMovesByOnePixel) {
    CButtonST button;
    Prepare(button);
    button.SetBitmaps(MakePicture({32, 32}, QColor(0, 0, 255)), kKey);
    button.setDown(true);
    const QImage shot = Render(button);
    EXPECT_EQ(PixelAt(shot, 4, 20), kInside);  // pressed: inside background, picture at x = 5
    EXPECT_EQ(PixelAt(shot, 5, 20), QColor(0, 0, 255));
    EXPECT_EQ(PixelAt(shot, 36, 36), QColor(0, 0, 255));
}

TEST(CButtonST, RaisedEdgeOnlyWhenNotFlat) {
    CButtonST button;
    Prepare(button);
    button.SetFlat(true);
    EXPECT_EQ(PixelAt(Render(button), 0, 20), kOutside);
    button.SetFlat(false);
    const QImage raised = Render(button);
    EXPECT_EQ(PixelAt(raised, 0, 20), QColor(button.palette().color(QPalette::Light).rgb()));
    EXPECT_EQ(PixelAt(raised, 39, 20), QColor(button.palette().color(QPalette::Shadow).rgb()));
    EXPECT_EQ(PixelAt(raised, 20, 20), kOutside);
}

TEST(CButtonST, UnreadablePictureLeavesNoPicture) {
    CButtonST button;
    Prepare(button);
    button.SetBitmaps(MakePicture({32, 32}, Qt::red), kKey);
    EXPECT_EQ(button.SetBitmaps(QStringLiteral(":/no/such/picture.png"), kKey),
              ButtonResult::InvalidResource);
    EXPECT_FALSE(button.HasBitmap());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);
}

TEST(CButtonST, HoverIsTrackedForFlatButtonsOnly) {
    CButtonST button;
    Prepare(button);
    button.SetFlat(false);
    Enter(button);
    EXPECT_FALSE(button.IsMouseOver());

    button.SetFlat(true);
    Enter(button);
    EXPECT_TRUE(button.IsMouseOver());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kInside);
    EXPECT_EQ(PixelAt(Render(button), 0, 20), QColor(button.palette().color(QPalette::Shadow).rgb()));
    Leave(button);
    EXPECT_FALSE(button.IsMouseOver());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);
}

TEST(CButtonST, FocusLossDeactivationAndLeavingFlatStyleClearHover) {
    CButtonST button;
    button.SetFlat(true);
    Enter(button);
    ASSERT_TRUE(button.IsMouseOver());
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(&button, &out);
    EXPECT_FALSE(button.IsMouseOver());

    Enter(button);
    ASSERT_TRUE(button.IsMouseOver());
    QEvent deactivated(QEvent::ActivationChange);  // the window is not the active one
    QApplication::sendEvent(&button, &deactivated);
    EXPECT_FALSE(button.IsMouseOver());

    Enter(button);
    ASSERT_TRUE(button.IsMouseOver());
    button.SetFlat(false);
    EXPECT_FALSE(button.IsMouseOver());
}

TEST(CButtonST, TooltipIsCreatedOnceThenReplacedAndSwitched) {
    CButtonST button;
    EXPECT_FALSE(button.HasTooltip());
    button.SetTooltipText(QStringLiteral("Zoom"), false);
    EXPECT_TRUE(button.HasTooltip());
    EXPECT_FALSE(button.IsTooltipActive());
    button.SetTooltipText(QStringLiteral("Back to start"), true);
    EXPECT_EQ(button.TooltipText(), QStringLiteral("Back to start"));
    EXPECT_TRUE(button.IsTooltipActive());
    button.ActivateTooltip(false);
    EXPECT_FALSE(button.IsTooltipActive());
}

TEST(CButtonST, InactiveTooltipShowsNothing) {
    QWidget top;
    top.resize(100, 100);
    auto* button = new CButtonST(&top);
    button->resize(40, 40);
    top.show();
    button->SetTooltipText(QStringLiteral("Exit"), false);
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), button->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(button, &help);
    EXPECT_FALSE(QToolTip::isVisible() && QToolTip::text() == QStringLiteral("Exit"));

    button->ActivateTooltip(true);
    QApplication::sendEvent(button, &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Exit"));
    QToolTip::hideText();
}

}  // namespace
}  // namespace zor::ui

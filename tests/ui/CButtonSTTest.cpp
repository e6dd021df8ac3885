// The owner-drawn button as a widget: the keyed picture, pressed offset, hover of flat buttons,
// tooltip and refused arguments.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QHelpEvent>
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

// A 40 x 40 button whose inside and outside backgrounds are told apart by colour.
void Prepare(CButtonST& button) {
    button.resize(40, 40);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundInside), kInside);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundOutside), kOutside);
}

void Enter(QWidget& w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&w, &e);
}

TEST(CButtonST, KeyedPictureShowsTheBackgroundAndMovesWhenPressed) {
    CButtonST button;
    Prepare(button);
    ASSERT_EQ(button.SetBitmaps(MakePicture({32, 32}, kKey, Qt::red, 10), kKey), ButtonResult::Ok);
    QImage shot = Render(button);
    // The picture sits at (4, 4); its keyed pixels show the outside background.
    EXPECT_EQ(PixelAt(shot, 6, 6), kOutside);
    EXPECT_EQ(PixelAt(shot, 20, 20), QColor(Qt::red));
    button.SetBitmaps(MakePicture({32, 32}, QColor(0, 0, 255)), kKey);
    button.setDown(true);
    shot = Render(button);
    EXPECT_EQ(PixelAt(shot, 4, 20), kInside);  // pressed: inside background, picture at x = 5
    EXPECT_EQ(PixelAt(shot, 5, 20), QColor(0, 0, 255));
    EXPECT_EQ(PixelAt(shot, 36, 36), QColor(0, 0, 255));
}

TEST(CButtonST, RefusedColourIndexAndUnreadablePicture) {
    CButtonST button;
    Prepare(button);
    const QColor before = button.GetColor(5);
    for (int bad : {6, 100, -1})
        EXPECT_EQ(button.SetColor(bad, Qt::red), ButtonResult::IndexOutOfRange) << bad;
    EXPECT_EQ(button.GetColor(5), before);
    button.SetBitmaps(MakePicture({32, 32}, Qt::red), kKey);
    EXPECT_EQ(button.SetBitmaps(QStringLiteral(":/no/such/picture.png"), kKey),
              ButtonResult::InvalidResource);
    EXPECT_FALSE(button.HasBitmap());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);
}

// Hover is tracked for flat buttons only, and focus loss, deactivation and leaving the flat
// style each clear it (a hover left behind would keep the button lit).
TEST(CButtonST, HoverOfFlatButtonsAndWhatClearsIt) {
    CButtonST button;
    Prepare(button);
    button.SetFlat(false);
    Enter(button);
    EXPECT_FALSE(button.IsMouseOver());
    button.SetFlat(true);
    Enter(button);
    EXPECT_TRUE(button.IsMouseOver());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kInside);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.IsMouseOver());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);

    QFocusEvent focusOut(QEvent::FocusOut, Qt::OtherFocusReason);
    QEvent deactivated(QEvent::ActivationChange);  // the window is not the active one
    for (QEvent* e : {static_cast<QEvent*>(&focusOut), &deactivated}) {
        Enter(button);
        ASSERT_TRUE(button.IsMouseOver());
        QApplication::sendEvent(&button, e);
        EXPECT_FALSE(button.IsMouseOver()) << e->type();
    }
    Enter(button);
    ASSERT_TRUE(button.IsMouseOver());
    button.SetFlat(false);
    EXPECT_FALSE(button.IsMouseOver());
}

TEST(CButtonST, OnlyAnActiveTooltipShows) {
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

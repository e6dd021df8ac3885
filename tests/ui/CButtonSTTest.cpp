// The owner-drawn button: keyed pictures, tooltips, pressed offset, hover, refused arguments.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>
#include <functional>

#include "UiTestSupport.h"
#include "ui/ButtonDrawing.h"
#include "ui/CButtonST.h"

namespace zor::ui {
namespace {

using test::MakePicture;
using test::PixelAt;
using test::Render;

const QColor kKey(50, 50, 50);
const QColor kInside(0, 0, 200);
const QColor kOutside(0, 160, 0);

// Only pixels of exactly the key colour become transparent, whatever the key's or source's alpha.
TEST(ButtonPicture, OnlyTheExactTransparentColourIsTakenOut) {
    QImage picture(4, 1, QImage::Format_ARGB32);
    const QRgb pixels[] = {qRgba(50, 50, 50, 255), qRgba(51, 50, 50, 255), qRgba(50, 50, 49, 255),
                           qRgba(50, 50, 50, 255)};
    for (int x = 0; x < 4; ++x)
        picture.setPixel(x, 0, pixels[x]);
    for (const QColor& key : {kKey, QColor(50, 50, 50, 128)}) {
        int masked = -1;
        const QImage out = ApplyTransparentColour(picture, key, &masked);
        EXPECT_EQ(masked, 2);
        EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
        EXPECT_EQ(out.pixel(1, 0), pixels[1]);
        EXPECT_EQ(out.pixel(2, 0), pixels[2]);
        EXPECT_EQ(qAlpha(out.pixel(3, 0)), 0);
    }
    int masked = -1;
    EXPECT_TRUE(ApplyTransparentColour(QImage(), Qt::black, &masked).isNull());
    EXPECT_EQ(masked, 0);
}

TEST(TooltipWrap, LinesStayWithinTheWidthAndKeepEveryWord) {
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString text = QStringLiteral(
        "Export panoramic and selected crosses to the output folder as sixteen bit TIFF files "
        "with their description strings and a time stamp in every file name");
    const QStringList lines = WrapTooltipText(text, metrics, 150).split(QLatin1Char('\n'));
    EXPECT_GT(lines.size(), 2);
    for (const QString& line : lines)
        if (line.contains(QLatin1Char(' '))) {
            EXPECT_LE(metrics.horizontalAdvance(line), 150) << line.toStdString();
        }
    EXPECT_EQ(lines.join(QLatin1Char(' ')), text);
    // Short texts, words longer than the width and existing breaks stay as they are.
    const QString longWord(200, QLatin1Char('W'));
    EXPECT_EQ(WrapTooltipText(longWord, metrics, 50), longWord);
    EXPECT_EQ(WrapTooltipText(QStringLiteral("a\nb"), metrics, 400), QStringLiteral("a\nb"));
    EXPECT_EQ(WrapTooltipText(QString(), metrics, 400), QString());
}

// A 40 x 40 button whose inside and outside backgrounds are told apart by colour.
void Prepare(CButtonST& button) {
    button.resize(40, 40);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundInside), kInside);
    button.SetColor(static_cast<int>(ButtonColour::BackgroundOutside), kOutside);
}

void Send(QWidget& w, QEvent&& e) {
    QApplication::sendEvent(&w, &e);
}

void Enter(QWidget& w) {
    Send(w, QEnterEvent(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5)));
}

TEST(CButtonST, KeyedPictureShowsTheBackgroundMovesWhenPressedAndBadArgumentsAreRefused) {
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
    // Refused: a colour index out of range, an unreadable picture (which drops the old one).
    const QColor before = button.GetColor(5);
    for (int bad : {6, 100, -1})
        EXPECT_EQ(button.SetColor(bad, Qt::red), ButtonResult::IndexOutOfRange) << bad;
    EXPECT_EQ(button.GetColor(5), before);
    EXPECT_EQ(button.SetBitmaps(QStringLiteral(":/no/such/picture.png"), kKey),
              ButtonResult::InvalidResource);
    EXPECT_FALSE(button.HasBitmap());
    button.setDown(false);
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);
}

// Hover of flat buttons only; leaving, focus loss, deactivation and unflattening each clear it.
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
    Send(button, QEvent(QEvent::Leave));
    EXPECT_FALSE(button.IsMouseOver());
    EXPECT_EQ(PixelAt(Render(button), 20, 20), kOutside);
    const std::function<void()> clears[] = {
        [&] { Send(button, QFocusEvent(QEvent::FocusOut, Qt::OtherFocusReason)); },
        [&] { Send(button, QEvent(QEvent::ActivationChange)); },  // the window is not active
        [&] { button.SetFlat(false); }};
    for (size_t i = 0; i < std::size(clears); ++i) {
        Enter(button);
        ASSERT_TRUE(button.IsMouseOver());
        clears[i]();
        EXPECT_FALSE(button.IsMouseOver()) << i;
    }
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

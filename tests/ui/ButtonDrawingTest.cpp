// The button's picture preparation and tooltip wrapping, without widgets.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include "ui/ButtonDrawing.h"

namespace zor::ui {
namespace {

// Only pixels of exactly the key colour become transparent, whatever alpha the key or the
// source carry; a null picture stays null.
TEST(ButtonPicture, OnlyTheExactTransparentColourIsTakenOut) {
    QImage picture(4, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(50, 50, 50, 255));
    picture.setPixel(1, 0, qRgba(51, 50, 50, 255));
    picture.setPixel(2, 0, qRgba(50, 50, 49, 255));
    picture.setPixel(3, 0, qRgba(50, 50, 50, 255));
    for (const QColor& key : {QColor(50, 50, 50), QColor(50, 50, 50, 128)}) {
        int masked = -1;
        const QImage out = ApplyTransparentColour(picture, key, &masked);
        EXPECT_EQ(masked, 2);
        EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
        EXPECT_EQ(out.pixel(1, 0), qRgba(51, 50, 50, 255));
        EXPECT_EQ(out.pixel(2, 0), qRgba(50, 50, 49, 255));
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
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char(' '))) {
            EXPECT_LE(metrics.horizontalAdvance(line), 150) << line.toStdString();
        }
    }
    EXPECT_EQ(lines.join(QLatin1Char(' ')), text);
    // Short texts, words longer than the width and existing breaks stay as they are.
    const QString longWord(200, QLatin1Char('W'));
    EXPECT_EQ(WrapTooltipText(longWord, metrics, 50), longWord);
    EXPECT_EQ(WrapTooltipText(QStringLiteral("a\nb"), metrics, 400), QStringLiteral("a\nb"));
    EXPECT_EQ(WrapTooltipText(QString(), metrics, 400), QString());
}

}  // namespace
}  // namespace zor::ui

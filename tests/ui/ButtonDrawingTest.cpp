// The button's drawing decisions and picture preparation, without widgets.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include "ui/ButtonDrawing.h"

namespace zor::ui {
namespace {

struct PlanCase {
    const char* name;
    ButtonVisualState state;
    bool blackFrame;
    ButtonColour background;
    ButtonBorder border;
    int offset;
    bool focusRect;
};

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, FollowsTheDrawingOrder) {
    const PlanCase& c = GetParam();
    const ButtonDrawPlan plan = PlanButtonDrawing(c.state);
    EXPECT_EQ(plan.blackFrame, c.blackFrame);
    EXPECT_EQ(plan.background, c.background);
    EXPECT_EQ(plan.border, c.border);
    EXPECT_EQ(plan.pictureOffset, c.offset);
    EXPECT_EQ(plan.focusRect, c.focusRect);
}

// state fields: flat, mouseOver, pressed, focused, isDefault
INSTANTIATE_TEST_SUITE_P(
    States, PlanTest,
    ::testing::Values(
        PlanCase{"RaisedIdle", {false, false, false, false, false}, false,
                 ButtonColour::BackgroundOutside, ButtonBorder::RaisedEdge, 0, false},
        PlanCase{"RaisedFocused", {false, false, false, true, false}, true,
                 ButtonColour::BackgroundFocused, ButtonBorder::RaisedEdge, 0, true},
        PlanCase{"RaisedDefault", {false, false, false, false, true}, true,
                 ButtonColour::BackgroundOutside, ButtonBorder::RaisedEdge, 0, false},
        PlanCase{"RaisedPressedFocused", {false, false, true, true, false}, true,
                 ButtonColour::BackgroundInside, ButtonBorder::PressedFrame, 1, true},
        PlanCase{"FlatIdle", {true, false, false, false, false}, false,
                 ButtonColour::BackgroundOutside, ButtonBorder::None, 0, false},
        PlanCase{"FlatFocusedHasNoFrameNorFocusRect", {true, false, false, true, true}, false,
                 ButtonColour::BackgroundFocused, ButtonBorder::None, 0, false},
        PlanCase{"FlatHover", {true, true, false, false, false}, false,
                 ButtonColour::BackgroundInside, ButtonBorder::FlatHover, 0, false},
        PlanCase{"FlatPressedWinsOverHover", {true, true, true, true, false}, false,
                 ButtonColour::BackgroundInside, ButtonBorder::FlatPressed, 1, false},
        PlanCase{"HoverBeatsFocusForBackground", {false, true, false, true, false}, true,
                 ButtonColour::BackgroundInside, ButtonBorder::RaisedEdge, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ButtonPicture, OnlyTheExactTransparentColourIsTakenOut) {
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(50, 50, 50));
    picture.setPixel(1, 0, qRgb(51, 50, 50));
    picture.setPixel(2, 0, qRgb(50, 50, 49));
    picture.setPixel(3, 0, qRgb(50, 50, 50));
    int masked = -1;
    const QImage out = ApplyTransparentColour(picture, QColor(50, 50, 50), &masked);
    EXPECT_EQ(masked, 2);
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(out.pixel(1, 0), qRgba(51, 50, 50, 255));
    EXPECT_EQ(out.pixel(2, 0), qRgba(50, 50, 49, 255));
    EXPECT_EQ(qAlpha(out.pixel(3, 0)), 0);
}

TEST(ButtonPicture, AlphaOfTheSourceDoesNotHideTheKey) {
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(50, 50, 50, 255));
    picture.setPixel(1, 0, qRgba(10, 20, 30, 255));
    int masked = 0;
    const QImage out = ApplyTransparentColour(picture, QColor(50, 50, 50, 128), &masked);
    EXPECT_EQ(masked, 1);
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 255);
}

TEST(ButtonPicture, NullPictureStaysNull) {
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
    const int maxWidth = 150;
    const QString wrapped = WrapTooltipText(text, metrics, maxWidth);
    const QStringList lines = wrapped.split(QLatin1Char('\n'));
    EXPECT_GT(lines.size(), 2);
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char(' '))) {
            EXPECT_LE(metrics.horizontalAdvance(line), maxWidth) << line.toStdString();
        }
    }
    EXPECT_EQ(lines.join(QLatin1Char(' ')), text);
}

TEST(TooltipWrap, ShortTextsLongWordsAndBreaksAreKept) {
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    EXPECT_EQ(WrapTooltipText(QStringLiteral("Zoom"), metrics, 400), QStringLiteral("Zoom"));
    const QString longWord(200, QLatin1Char('W'));
    EXPECT_EQ(WrapTooltipText(longWord, metrics, 50), longWord);
    EXPECT_EQ(WrapTooltipText(QStringLiteral("a\nb"), metrics, 400), QStringLiteral("a\nb"));
    EXPECT_EQ(WrapTooltipText(QString(), metrics, 400), QString());
}

}  // namespace
}  // namespace zor::ui

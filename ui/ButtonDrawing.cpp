#include "ui/ButtonDrawing.h"

#include <QColor>
#include <QFontMetrics>
#include <QStringList>

namespace zor::ui {

ButtonDrawPlan PlanButtonDrawing(const ButtonVisualState& s) {
    ButtonDrawPlan plan;
    plan.blackFrame = !s.flat && (s.focused || s.isDefault);
    if (s.mouseOver || s.pressed)
        plan.background = ButtonColour::BackgroundInside;
    else if (s.focused)
        plan.background = ButtonColour::BackgroundFocused;
    else
        plan.background = ButtonColour::BackgroundOutside;

    if (!s.flat)
        plan.border = s.pressed ? ButtonBorder::PressedFrame : ButtonBorder::RaisedEdge;
    else if (s.pressed)
        plan.border = ButtonBorder::FlatPressed;
    else if (s.mouseOver)
        plan.border = ButtonBorder::FlatHover;
    else
        plan.border = ButtonBorder::None;

    plan.insidePicture = s.mouseOver || s.pressed;
    plan.pictureOffset = s.pressed ? 1 : 0;
    plan.focusRect = s.focused && !s.flat;
    return plan;
}

QImage ApplyTransparentColour(const QImage& picture, const QColor& transparent, int* maskedPixels) {
    int masked = 0;
    QImage out;
    if (!picture.isNull()) {
        out = picture.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = transparent.rgb() & 0x00FFFFFFu;
        for (int y = 0; y < out.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                if ((line[x] & 0x00FFFFFFu) == key) {
                    line[x] = 0;
                    ++masked;
                }
            }
        }
        out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (maskedPixels)
        *maskedPixels = masked;
    return out;
}

QString WrapTooltipText(const QString& text, const QFontMetrics& metrics, int maxWidth) {
    QStringList outLines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        QString line;
        const QStringList words = paragraph.split(QLatin1Char(' '));
        for (const QString& word : words) {
            if (line.isEmpty()) {
                line = word;
                continue;
            }
            const QString candidate = line + QLatin1Char(' ') + word;
            if (metrics.horizontalAdvance(candidate) <= maxWidth) {
                line = candidate;
            } else {
                outLines << line;
                line = word;
            }
        }
        outLines << line;
    }
    return outLines.join(QLatin1Char('\n'));
}

}  // namespace zor::ui

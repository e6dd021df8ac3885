#pragma once
// Helpers of the user-interface tests: pictures and pixels.
#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

namespace zor::ui::test {

/// A picture of `size` filled with `fill`, with an optional centred square of `inner`
/// (`innerSize` pixels wide).
QImage MakePicture(QSize size, const QColor& fill, const QColor& inner = QColor(),
                   int innerSize = 0);

/// The widget rendered into an image (no window needed).
QImage Render(QWidget& widget);

/// Pixel colour without alpha, comparable with QColor(r, g, b).
QColor PixelAt(const QImage& image, int x, int y);

}  // namespace zor::ui::test

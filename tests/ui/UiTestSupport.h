#pragma once
// Helpers of the user-interface tests: pictures and pixels.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace zor::ui::test {

/// A picture of `size` filled with `fill`, with an optional centred `inner` square of `innerSize`.
inline QImage MakePicture(QSize size, const QColor& fill, const QColor& inner = QColor(),
                          int innerSize = 0) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    if (inner.isValid() && innerSize > 0)
        QPainter(&image).fillRect((size.width() - innerSize) / 2, (size.height() - innerSize) / 2,
                                  innerSize, innerSize, inner);
    return image;
}

/// The widget rendered into an image (no window needed).
inline QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

/// Pixel colour without alpha, comparable with QColor(r, g, b).
inline QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y)).toRgb();
}

}  // namespace zor::ui::test

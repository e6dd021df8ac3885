#include "UiTestSupport.h"

#include <QPainter>
#include <QWidget>

namespace zor::ui::test {

QImage MakePicture(QSize size, const QColor& fill, const QColor& inner, int innerSize) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    if (inner.isValid() && innerSize > 0) {
        QPainter p(&image);
        p.fillRect((size.width() - innerSize) / 2, (size.height() - innerSize) / 2, innerSize,
                   innerSize, inner);
    }
    return image;
}

QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y)).toRgb();
}

}  // namespace zor::ui::test

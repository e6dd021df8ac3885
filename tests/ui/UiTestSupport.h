#pragma once
// Helpers of the user-interface tests: pictures on disk, waiting for queued events, pixels.
#include <QColor>
#include <QImage>
#include <QString>
#include <functional>

class QWidget;

namespace zor::ui::test {

/// A picture of `size` filled with `fill`, with an optional centred square of `inner`
/// (`innerSize` pixels wide).
QImage MakePicture(QSize size, const QColor& fill, const QColor& inner = QColor(), int innerSize = 0);

/// Runs the event loop until `done` holds or `timeoutMs` passes; returns the final `done`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

/// The widget rendered into an image (no window needed).
QImage Render(QWidget& widget);

/// Pixel colour without alpha, comparable with QColor(r, g, b).
QColor PixelAt(const QImage& image, int x, int y);

}  // namespace zor::ui::test

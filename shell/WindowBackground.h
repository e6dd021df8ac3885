#pragma once
// The main window's background: the viewer area picture and the button panel picture.
#include <QImage>
#include <string>

class QPainter;
class QRect;

namespace zor::viewer {
struct ViewerScene;
}

namespace zor::shell {

/// The two background pictures; a picture that cannot be loaded leaves a plain colour.
class WindowBackground {
public:
    /// `pictureFolder`: the folder holding "background.JPG" and "panel.JPG".
    explicit WindowBackground(const std::string& pictureFolder);
    /// Draws the viewer area (left 90%) and the panel (the rest) of `client`.
    void Paint(QPainter& painter, const QRect& client) const;
    /// Gives the viewer's scene the same two pictures, or their colours when missing.
    void FillScene(viewer::ViewerScene& scene) const;

private:
    QImage m_Background;
    QImage m_Panel;
};

}  // namespace zor::shell

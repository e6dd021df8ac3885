#pragma once
// The main window's background: the viewer area picture and the button panel picture.
#include <QImage>
#include <string>

class QPainter;
class QRect;

namespace zor::shell {

/// The two background pictures; a picture that cannot be loaded leaves a plain colour.
class WindowBackground {
public:
    /// `pictureFolder`: the folder holding "background.JPG" and "panel.JPG".
    explicit WindowBackground(const std::string& pictureFolder);
    /// Draws the viewer area (left 90%) and the panel (the rest) of `client`.
    void Paint(QPainter& painter, const QRect& client) const;

private:
    QImage m_Background;
    QImage m_Panel;
};

}  // namespace zor::shell

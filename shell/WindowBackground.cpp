#include "shell/WindowBackground.h"

#include <QPainter>
#include <filesystem>

namespace zor::shell {

WindowBackground::WindowBackground(const std::string& pictureFolder) {
    const std::filesystem::path folder(pictureFolder);
    m_Background.load(QString::fromStdString((folder / "background.JPG").string()));
    m_Panel.load(QString::fromStdString((folder / "panel.JPG").string()));
}

void WindowBackground::Paint(QPainter& painter, const QRect& client) const {
    const int split = static_cast<int>(0.9 * client.width());
    const QRect images(client.left(), client.top(), split, client.height());
    const QRect panel(client.left() + split, client.top(), client.width() - split, client.height());
    if (m_Background.isNull()) {
        painter.fillRect(images, QColor(0, 0, 0));
    } else {
        painter.drawImage(images, m_Background);
    }
    if (m_Panel.isNull()) {
        painter.fillRect(panel, QColor(50, 50, 50));
    } else {
        painter.drawImage(panel, m_Panel);
    }
}

}  // namespace zor::shell

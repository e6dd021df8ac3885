#include "shell/WindowBackground.h"

#include <QPainter>
#include <filesystem>

#include "viewer/ViewerPainter.h"
#include "zor_io/RegularFile.h"

namespace zor::shell {

namespace {

/// A regular file of at most 64 MiB, read through zor_io (never waiting on a FIFO); null
/// when it cannot be read or decoded.
QImage LoadPicture(const std::string& path) {
    std::string bytes;
    QImage picture;
    if (zor::io::ReadWholeFile(path, bytes, 64u << 20) == zor::io::ReadStatus::Ok)
        picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                             static_cast<int>(bytes.size()));
    return picture;
}

}  // namespace

WindowBackground::WindowBackground(const std::string& pictureFolder) {
    const std::filesystem::path folder(pictureFolder);
    m_Background = LoadPicture((folder / "background.JPG").string());
    m_Panel = LoadPicture((folder / "panel.JPG").string());
}

void WindowBackground::FillScene(viewer::ViewerScene& scene) const {
    scene.leftBackground = m_Background;
    scene.rightBackground = m_Panel;
    scene.leftColour = 0x000000;
    scene.rightColour = 0x323232;
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

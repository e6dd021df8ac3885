#include "shell/StatusLine.h"

#include <QBitmap>
#include <QLabel>
#include <QWidget>

#include "resources/Resources.h"

namespace zor::shell {

namespace {
QFont StatusFont(int weight) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(20);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}
}  // namespace

StatusLine::StatusLine(QWidget* window)
    : m_Icon(new QLabel(window)),
      m_Text(new QLabel(window)),
      m_Normal(StatusFont(400)),
      m_Bold(StatusFont(700)) {
    m_Icon->setObjectName(QStringLiteral("1018"));
    m_Icon->setAlignment(Qt::AlignCenter);
    m_Text->setObjectName(QStringLiteral("1019"));
    m_Text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_Text->setFont(m_Normal);
    QPalette palette = m_Text->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_Text->setPalette(palette);
    // The icons share the buttons' dark grey background, drawn transparent over the window.
    for (int level = 0; level < 3; ++level) {
        QPixmap icon(BitmapResourcePath(162 + level));
        if (!icon.isNull())
            icon.setMask(icon.createMaskFromColor(QColor(50, 50, 50), Qt::MaskInColor));
        m_LevelIcons[level] = icon;
    }
}

void StatusLine::Layout(const QRect& client) {
    const auto layout = LayoutStatusLine(client);
    m_Icon->setGeometry(layout.icon);
    m_Text->setGeometry(layout.text);
}

void StatusLine::Show(const std::string& text, bool bold, int level) {
    m_Text->setText(QString::fromStdString(text));
    m_Text->setFont(bold ? m_Bold : m_Normal);
    if (level >= 0 && level <= 2 && !m_LevelIcons[level].isNull()) {
        m_Icon->setPixmap(m_LevelIcons[level]);
    } else {
        m_Icon->clear();
    }
}

}  // namespace zor::shell

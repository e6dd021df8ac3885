#pragma once
// The one-line status area at the bottom of the main window: a level icon and a text.
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <array>
#include <string>

#include "shell/ToolButtonLayout.h"

class QLabel;
class QWidget;

namespace zor::shell {

/// Controls 1018 (icon) and 1019 (text) with their two fonts and the three shared level icons.
/// User-interface thread.
class StatusLine {
public:
    explicit StatusLine(QWidget* window);

    /// Places both controls for the client rectangle.
    void Layout(const QRect& client);
    /// Shows `text` (already without line breaks) in the normal or bold font, with the icon of
    /// `level` (0 error, 1 information, 2 warning, others none).
    void Show(const std::string& text, bool bold, int level);

private:
    QLabel* m_Icon;
    QLabel* m_Text;
    QFont m_Normal;
    QFont m_Bold;
    std::array<QPixmap, 3> m_LevelIcons;
};

}  // namespace zor::shell

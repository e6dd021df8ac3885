#pragma once
// Common ground of the auxiliary windows: a bordered child panel on white that ignores Enter,
// Escape and close requests and is shown on top of its parent.
#include <QFont>
#include <QLabel>
#include <QPoint>
#include <QSize>
#include <QWidget>

class QPainter;

namespace zor::ui {

/// "Arial" at a pixel height and weight (400 normal, 700 bold).
QFont TextFont(int pixelHeight, int weight);

/// Top-left corner that centres a window of `size` in a client area of `area` (may be negative
/// when the window is larger).
QPoint CentredOrigin(QSize area, QSize size);

/// Base of the info, step and progress windows and the About box: a child widget that is its own
/// client area (a 1-pixel border drawn on its edge), white background with transparent text
/// controls, and a template font. It lives on the user-interface thread; it is created once and
/// shown and hidden. Enter, Escape and close requests do nothing.
class DialogPanel : public QWidget {
public:
    /// `clientSize` is the template size in pixels; the panel keeps it as its initial client size.
    DialogPanel(QWidget* parent, QSize clientSize);

    /// The control with a template id (objectName is the decimal id), or nullptr.
    QWidget* Control(int id) const;
    QLabel* Label(int id) const;

    /// Client size at creation (before any resizing by the window itself).
    QSize InitialClientSize() const { return m_InitialClientSize; }

    /// Centres the window in its parent's client area (size unchanged). No parent: no move.
    void CentreInParent();

protected:
    /// A static text control with the template id, rectangle and font; transparent background.
    QLabel* AddStatic(int id, const QRect& rect, const QFont& font, Qt::Alignment alignment,
                      bool wordWrap);
    /// The 1-pixel window border on the edge of the panel.
    void PaintBorder(QPainter& painter) const;
    /// The 2-pixel frame along the client rectangle deflated by 2.
    void PaintFrame(QPainter& painter) const;

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QSize m_InitialClientSize;
};

}  // namespace zor::ui

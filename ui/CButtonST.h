#pragma once
// The owner-drawn bitmap push button of the tool column.
#include <QColor>
#include <QImage>
#include <QPushButton>
#include <QString>
#include <array>

#include "ui/ButtonDrawing.h"

namespace zor::ui {

/// A push button that paints itself: a background colour chosen by state, a 3-D or flat border,
/// a centred picture with one colour drawn transparent, and a focus rectangle. In flat style the
/// border appears only while the pointer is over it (the main window uses flat style to mark the
/// active tool). User-interface thread only.
class CButtonST : public QPushButton {
public:
    explicit CButtonST(QWidget* parent = nullptr);

    /// Sets colour slot `index` (0..5, see ButtonColour). Index 6 or more: IndexOutOfRange and
    /// nothing changes. `redraw` repaints at once.
    ButtonResult SetColor(int index, const QColor& colour, bool redraw = true);
    QColor GetColor(int index) const;  ///< invalid QColor for a bad index

    /// Flat style on or off; leaving flat style forgets the pointer-over state.
    ButtonResult SetFlat(bool flat, bool redraw = true);
    bool IsFlat() const { return m_Flat; }
    bool IsMouseOver() const { return m_MouseOver; }

    /// Sets the picture(s); earlier pictures are released first. Pixels of exactly the
    /// transparent colour are not drawn. The outside picture (optional) is drawn while the
    /// pointer is not over the button. A null `in` image: InvalidResource, no picture.
    ButtonResult SetBitmaps(const QImage& in, const QColor& transparentIn,
                            const QImage& out = QImage(), const QColor& transparentOut = QColor());
    /// Same from image files or Qt resources (":/bitmaps/142.png"). An unreadable `in`:
    /// InvalidResource and the button has no picture; an unreadable `out` is ignored.
    ButtonResult SetBitmaps(const QString& inPath, const QColor& transparentIn,
                            const QString& outPath = QString(),
                            const QColor& transparentOut = QColor());
    bool HasBitmap() const { return !m_PictureIn.isNull(); }

    /// The first call creates the tooltip (maximum tip width 400 pixels); later calls replace
    /// the text. `activate` switches the tooltip on or off.
    void SetTooltipText(const QString& text, bool activate = true);
    void ActivateTooltip(bool activate);
    bool HasTooltip() const { return m_TooltipCreated; }
    bool IsTooltipActive() const { return m_TooltipCreated && m_TooltipActive; }
    QString TooltipText() const { return m_TooltipText; }

    /// The drawing decisions for the current state.
    ButtonDrawPlan CurrentPlan() const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetMouseOver(bool over);
    void PaintBorder(class QPainter& painter, const QRect& r, ButtonBorder border) const;

    std::array<QColor, kButtonColourCount> m_Colours;
    bool m_Flat = true;
    bool m_MouseOver = false;
    QImage m_PictureIn;  ///< premultiplied ARGB with the transparent colour taken out
    QImage m_PictureOut;
    QString m_TooltipText;
    bool m_TooltipCreated = false;
    bool m_TooltipActive = false;
};

}  // namespace zor::ui

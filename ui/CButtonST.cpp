#include "ui/CButtonST.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>

#include "ui/UiConstants.h"

namespace zor::ui {

CButtonST::CButtonST(QWidget* parent) : QPushButton(parent) {
    const QPalette pal = palette();
    for (int i = 0; i < kButtonColourCount; ++i)
        m_Colours[i] = (i % 2 == 0) ? pal.color(QPalette::Button) : pal.color(QPalette::ButtonText);
    setMouseTracking(true);
    setAutoDefault(false);
}

ButtonResult CButtonST::SetColor(int index, const QColor& colour, bool redraw) {
    if (index < 0 || index >= kButtonColourCount)
        return ButtonResult::IndexOutOfRange;
    m_Colours[index] = colour;
    if (redraw)
        update();
    return ButtonResult::Ok;
}

QColor CButtonST::GetColor(int index) const {
    if (index < 0 || index >= kButtonColourCount)
        return {};
    return m_Colours[index];
}

ButtonResult CButtonST::SetFlat(bool flat, bool redraw) {
    m_Flat = flat;
    if (!flat)
        m_MouseOver = false;
    if (redraw)
        update();
    return ButtonResult::Ok;
}

ButtonResult CButtonST::SetBitmaps(const QImage& in, const QColor& transparentIn, const QImage& out,
                                   const QColor& transparentOut) {
    m_PictureIn = QImage();
    m_PictureOut = QImage();
    ButtonResult result = ButtonResult::InvalidResource;
    if (!in.isNull()) {
        m_PictureIn = ApplyTransparentColour(in, transparentIn);
        if (!out.isNull())
            m_PictureOut = ApplyTransparentColour(out, transparentOut);
        result = ButtonResult::Ok;
    }
    update();
    return result;
}

ButtonResult CButtonST::SetBitmaps(const QString& inPath, const QColor& transparentIn,
                                   const QString& outPath, const QColor& transparentOut) {
    QImage in;
    QImage out;
    if (!inPath.isEmpty())
        in.load(inPath);
    if (!outPath.isEmpty())
        out.load(outPath);
    return SetBitmaps(in, transparentIn, out, transparentOut);
}

void CButtonST::SetTooltipText(const QString& text, bool activate) {
    if (!m_TooltipCreated) {
        m_TooltipCreated = true;
        m_TooltipActive = false;  // a new tooltip starts inactive until `activate` switches it
    }
    m_TooltipText = text;
    ActivateTooltip(activate);
}

void CButtonST::ActivateTooltip(bool activate) {
    if (!m_TooltipCreated)
        return;
    m_TooltipActive = activate;
    if (!activate)
        QToolTip::hideText();
}

ButtonDrawPlan CButtonST::CurrentPlan() const {
    ButtonVisualState state;
    state.flat = m_Flat;
    state.mouseOver = m_MouseOver;
    state.pressed = isDown();
    state.focused = hasFocus();
    state.isDefault = isDefault();
    return PlanButtonDrawing(state);
}

QSize CButtonST::sizeHint() const {
    if (m_PictureIn.isNull())
        return {32, 32};
    return m_PictureIn.size() + QSize(8, 8);
}

bool CButtonST::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        if (IsTooltipActive() && !m_TooltipText.isEmpty()) {
            auto* help = static_cast<QHelpEvent*>(event);
            const QString shown =
                WrapTooltipText(m_TooltipText, QFontMetrics(QToolTip::font()), kTooltipMaxWidth);
            QToolTip::showText(help->globalPos(), shown, this, rect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QPushButton::event(event);
}

void CButtonST::SetMouseOver(bool over) {
    if (m_MouseOver == over)
        return;
    m_MouseOver = over;
    update();
}

void CButtonST::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    if (m_Flat)
        SetMouseOver(true);
}

void CButtonST::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if (m_Flat && !m_MouseOver && rect().contains(event->position().toPoint()))
        SetMouseOver(true);
}

void CButtonST::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    SetMouseOver(false);
}

void CButtonST::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    SetMouseOver(false);
}

void CButtonST::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        SetMouseOver(false);
}

void CButtonST::PaintBorder(QPainter& p, const QRect& r, ButtonBorder border) const {
    const QPalette& pal = palette();
    auto frame = [&](const QColor& c) {
        p.setPen(c);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    switch (border) {
        case ButtonBorder::None:
            break;
        case ButtonBorder::PressedFrame:
        case ButtonBorder::FlatPressed:
            frame(pal.color(QPalette::Dark));
            break;
        case ButtonBorder::FlatHover:
            frame(pal.color(QPalette::Shadow));
            break;
        case ButtonBorder::RaisedEdge: {
            const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
            p.setPen(pal.color(QPalette::Light));  // highlight: outer top and left
            p.drawLine(l, t, rt - 1, t);
            p.drawLine(l, t, l, b - 1);
            p.setPen(pal.color(QPalette::Midlight));  // light: inner top and left
            p.drawLine(l + 1, t + 1, rt - 2, t + 1);
            p.drawLine(l + 1, t + 1, l + 1, b - 2);
            p.setPen(pal.color(QPalette::Shadow));  // dark shadow: outer bottom and right
            p.drawLine(l, b, rt, b);
            p.drawLine(rt, t, rt, b);
            p.setPen(pal.color(QPalette::Dark));  // shadow: inner bottom and right
            p.drawLine(l + 1, b - 1, rt - 1, b - 1);
            p.drawLine(rt - 1, t + 1, rt - 1, b - 1);
            break;
        }
    }
}

void CButtonST::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const ButtonDrawPlan plan = CurrentPlan();
    QRect r = rect();
    if (plan.blackFrame) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    p.fillRect(r, m_Colours[static_cast<int>(plan.background)]);
    PaintBorder(p, r, plan.border);

    const QImage& picture =
        (plan.insidePicture || m_PictureOut.isNull()) ? m_PictureIn : m_PictureOut;
    if (!picture.isNull()) {
        const QPoint origin((width() - picture.width()) / 2 + plan.pictureOffset,
                            (height() - picture.height()) / 2 + plan.pictureOffset);
        if (!isEnabled())
            p.setOpacity(0.4);
        p.drawImage(origin, picture);
        p.setOpacity(1.0);
    }

    if (plan.focusRect) {
        // A dotted rectangle inverted against whatever lies below, like a system focus rectangle.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

}  // namespace zor::ui

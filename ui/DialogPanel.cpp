#include "ui/DialogPanel.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include "ui/UiConstants.h"

namespace zor::ui {

QFont TextFont(int pixelHeight, int weight) {
    QFont font(QString::fromLatin1(kTextFontFamily));
    font.setPixelSize(pixelHeight);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QPoint CentredOrigin(QSize area, QSize size) {
    return {(area.width() - size.width()) / 2, (area.height() - size.height()) / 2};
}

DialogPanel::DialogPanel(QWidget* parent, QSize clientSize)
    : QWidget(parent), m_InitialClientSize(clientSize) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    // The template font: "MS Shell Dlg" 8 pt, 11 pixels at 96 DPI.
    QFont dialogFont(QStringLiteral("MS Shell Dlg"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    resize(clientSize);
    hide();
}

QWidget* DialogPanel::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QLabel* DialogPanel::Label(int id) const {
    return findChild<QLabel*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void DialogPanel::CentreInParent() {
    if (QWidget* parent = parentWidget())
        move(CentredOrigin(parent->rect().size(), size()));
}

QLabel* DialogPanel::AddStatic(int id, const QRect& rect, const QFont& font,
                               Qt::Alignment alignment, bool wordWrap) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(id));
    label->setGeometry(rect);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setWordWrap(wordWrap);
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(false);
    return label;
}

void DialogPanel::PaintBorder(QPainter& painter) const {
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void DialogPanel::PaintFrame(QPainter& painter) const {
    painter.setPen(QPen(kFrameColour, kFrameWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    const QRectF frame =
        QRectF(rect()).adjusted(kFrameInset, kFrameInset, -kFrameInset, -kFrameInset);
    painter.drawRect(frame);
}

void DialogPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // consumed: neither this window nor the main window reacts
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void DialogPanel::closeEvent(QCloseEvent* event) {
    event->ignore();  // windows are created once and only shown and hidden
}

void DialogPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    raise();
}

}  // namespace zor::ui

#include "ui/CDlgMsg.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "ui/UiConstants.h"

namespace zor::ui {

TextMetricsPx MetricsOfFont(const QFont& font) {
    const QFontMetrics fm(font);
    TextMetricsPx m;
    m.maxCharWidth = fm.maxWidth();
    m.height = fm.ascent() + fm.descent();
    // Internal leading is the part of the cell above the em square.
    m.internalLeading = std::max(0, m.height - QFontInfo(font).pixelSize());
    m.externalLeading = std::max(0, fm.leading());
    return m;
}

CDlgMsg::CDlgMsg(QWidget* parent)
    : CDlgMsg(parent, QSize(DluToPixelsX(kMsgWidthDlu), DluToPixelsY(kMsgHeightDlu))) {}

CDlgMsg::CDlgMsg(QWidget* parent, QSize clientSize) : DialogPanel(parent, clientSize) {
    const QFont font = TextFont(kTextFontHeight, kWeightNormal);
    const int width = clientSize.width() - 2 * kMessageTextX;
    m_Text = AddStatic(kIdMessageText, QRect(kMessageTextX, 0, width, clientSize.height()), font,
                       Qt::AlignCenter, true);
}

void CDlgMsg::SetText(const QString& text) {
    m_Text->setText(text);
    UpdateLayout();
    update();
}

QString CDlgMsg::Text() const {
    return m_Text->text();
}

TextMetricsPx CDlgMsg::CurrentTextMetrics() const {
    return MetricsOfFont(m_Text->font());
}

void CDlgMsg::UpdateLayout() {
    const TextPlacement place = PlaceCentredText(
        height(), m_Text->width(), static_cast<int>(m_Text->text().size()), CurrentTextMetrics());
    m_Text->setGeometry(place.x, place.y, m_Text->width(), place.height);
}

void CDlgMsg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBorder(painter);
    PaintFrame(painter);
}

void CDlgMsg::resizeEvent(QResizeEvent* event) {
    DialogPanel::resizeEvent(event);
    UpdateLayout();
}

void CDlgMsg::showEvent(QShowEvent* event) {
    DialogPanel::showEvent(event);
    UpdateLayout();
}

}  // namespace zor::ui

#include "ui/CDlgMsgBmp.h"

#include <QPainter>
#include <algorithm>

#include "ui/UiConstants.h"

namespace zor::ui {

namespace {
constexpr int kLineIds[kStepSlots] = {kIdStepLine1, kIdStepLine2, kIdStepLine3, kIdStepLine4};
// Template rectangles, as fractions of the initial client size.
constexpr double kTitleTop = 0.03;
constexpr double kTitleHeight = 0.11;
constexpr double kLineHeight = 0.18;
constexpr int kMargin = 5;
}  // namespace

int StepLineControlId(int slot) {
    return (slot >= 0 && slot < kStepSlots) ? kLineIds[slot] : 0;
}

CDlgMsgBmp::CDlgMsgBmp(QWidget* parent)
    : CDlgMsg(parent, QSize(DluToPixelsX(kMsgWidthDlu), DluToPixelsY(kStepHeightDlu))),
      m_Model(InitialClientSize()) {
    const QSize initial = InitialClientSize();
    m_Text->setGeometry(kMargin, static_cast<int>(kTitleTop * initial.height()),
                        initial.width() - 2 * kMargin,
                        static_cast<int>(kTitleHeight * initial.height()));
    const QFont font = TextFont(kTextFontHeight, kWeightNormal);
    const QPoint first = StepLinePosition(0, initial);
    const int lineWidth = initial.width() - first.x() - kMargin;
    const int lineHeight = static_cast<int>(kLineHeight * initial.height());
    for (int slot = 0; slot < kStepSlots; ++slot) {
        m_Lines[slot] = AddStatic(kLineIds[slot], QRect(first, QSize(lineWidth, lineHeight)), font,
                                  Qt::AlignLeft | Qt::AlignTop, true);
    }
    UpdateLayout();
}

int CDlgMsgBmp::SetStepBitmaps(const QString& path1, const QString& path2, const QString& path3,
                               const QString& path4) {
    const int count = m_Model.SetStepBitmaps({path1, path2, path3, path4});
    UpdateLayout();
    update();
    return count;
}

void CDlgMsgBmp::SetText(const QString& text) {
    m_Model.SetTitle(text);
    UpdateLayout();
}

void CDlgMsgBmp::SetLine(int slot, const QString& text) {
    m_Model.SetLine(slot, text);
    UpdateLayout();
}

void CDlgMsgBmp::SetLines(const QString& line1, const QString& line2, const QString& line3,
                          const QString& line4) {
    const QString lines[kStepSlots] = {line1, line2, line3, line4};
    for (int slot = 0; slot < kStepSlots; ++slot)
        m_Model.SetLine(slot, lines[slot]);
    UpdateLayout();
}

void CDlgMsgBmp::UpdateLayout() {
    const QSize initial = m_Model.InitialClientSize();
    m_Text->setText(m_Model.Title());
    for (int slot = 0; slot < kStepSlots; ++slot) {
        QLabel* line = m_Lines[slot];
        line->setText(m_Model.Line(slot));
        line->move(StepLinePosition(slot, initial));
        line->setVisible(m_Model.LineVisible(slot));
    }
    // A line that wraps to more rows than its template rectangle holds (fonts here are wider
    // than the ones the template was drawn for) grows downwards, and the window with it.
    QSize size = m_Model.WindowSize();
    const int templateHeight = static_cast<int>(kLineHeight * initial.height());
    for (QLabel* line : m_Lines) {
        if (!line->isVisibleTo(this))
            continue;
        const int textHeight = std::max(templateHeight, line->heightForWidth(line->width()));
        line->resize(line->width(), textHeight);
        if (textHeight > templateHeight)
            size.setHeight(std::max(size.height(), line->y() + textHeight + kMargin));
    }
    if (this->size() != size)
        resize(size);
}

void CDlgMsgBmp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBorder(painter);
    const QSize initial = m_Model.InitialClientSize();
    for (int slot = 0; slot < kStepSlots; ++slot) {
        const QImage& picture = m_Model.Picture(slot);
        if (!picture.isNull())
            painter.drawImage(StepPicturePosition(slot, initial), picture);
    }
}

}  // namespace zor::ui

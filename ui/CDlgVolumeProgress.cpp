#include "ui/CDlgVolumeProgress.h"

#include <QMetaObject>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>

#include "ui/UiConstants.h"

namespace zor::ui {

namespace {
constexpr int kMaxPos = 99;
constexpr double kPictureX = 0.07;
constexpr double kPictureY = 0.16;
// Template rectangles of the text and the bar (pixels of the 507 x 128 client area): right of
// the picture column.
const QRect kTextRect(120, 18, 370, 30);
const QRect kBarRect(120, 66, 360, 22);
}  // namespace

CDlgVolumeProgress::CDlgVolumeProgress(QWidget* parent)
    : DialogPanel(parent, QSize(DluToPixelsX(kMsgWidthDlu), DluToPixelsY(kMsgHeightDlu))) {
    m_Text = AddStatic(kIdProgressText, kTextRect, TextFont(kTextFontHeight, kWeightNormal),
                       Qt::AlignLeft | Qt::AlignVCenter, false);
    m_Bar = new QProgressBar(this);
    m_Bar->setObjectName(QString::number(kIdProgressBar));
    m_Bar->setGeometry(kBarRect);
    m_Bar->setRange(0, kMaxPos);
    m_Bar->setValue(0);
    m_Bar->setTextVisible(false);
}

void CDlgVolumeProgress::ShowCentred() {
    // Showing a hidden window resets and centres it (setVisible); a shown one is reset here.
    if (!isHidden()) {
        SetPos(0);
        CentreInParent();
        raise();
    } else {
        show();
    }
}

void CDlgVolumeProgress::SetPos(int position) {
    m_Bar->setValue(std::clamp(position, 0, kMaxPos));
}

int CDlgVolumeProgress::Pos() const {
    return m_Bar->value();
}

void CDlgVolumeProgress::SetText(const QString& text) {
    m_Text->setText(text);
}

QString CDlgVolumeProgress::Text() const {
    return m_Text->text();
}

bool CDlgVolumeProgress::SetPicture(const QString& path) {
    m_Picture = QImage();
    if (!path.isEmpty())
        m_Picture.load(path);
    update();
    return !m_Picture.isNull();
}

void CDlgVolumeProgress::PostProgress(int position) {
    QMetaObject::invokeMethod(
        this, [this, position] { SetPos(position); }, Qt::QueuedConnection);
}

void CDlgVolumeProgress::PostShow(bool show) {
    QMetaObject::invokeMethod(
        this,
        [this, show] {
            if (show)
                ShowCentred();
            else
                hide();
        },
        Qt::QueuedConnection);
}

void CDlgVolumeProgress::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBorder(painter);
    PaintFrame(painter);
    if (!m_Picture.isNull()) {
        const QSize initial = InitialClientSize();
        painter.drawImage(QPoint(static_cast<int>(kPictureX * initial.width()),
                                 static_cast<int>(kPictureY * initial.height())),
                          m_Picture);
    }
}

void CDlgVolumeProgress::setVisible(bool visible) {
    if (visible && isHidden()) {
        SetPos(0);
        CentreInParent();
    }
    DialogPanel::setVisible(visible);
}

}  // namespace zor::ui

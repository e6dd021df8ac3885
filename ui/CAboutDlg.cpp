#include "ui/CAboutDlg.h"

#include <QPainter>
#include <QPushButton>

#include "ui/UiConstants.h"

#ifndef ZOR_PRODUCT_VERSION
#error "ZOR_PRODUCT_VERSION must come from the build"
#endif
#ifndef ZOR_LEGAL_COPYRIGHT
#error "ZOR_LEGAL_COPYRIGHT must come from the build"
#endif

namespace zor::ui {

namespace {
// Template rectangles in pixels of the 450 x 178 client area.
const QRect kTitleRect(10, 8, 430, 40);
const QRect kLegalRect(15, 52, 420, 52);
const QRect kVersionRect(15, 106, 420, 26);
const QRect kOkRect(180, 138, 90, 28);
}  // namespace

QString CAboutDlg::ProductVersion() {
    return QString::fromUtf8(ZOR_PRODUCT_VERSION);
}

QString CAboutDlg::LegalCopyright() {
    return QString::fromUtf8(ZOR_LEGAL_COPYRIGHT);
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : DialogPanel(parent, QSize(DluToPixelsX(kAboutWidthDlu), DluToPixelsY(kAboutHeightDlu))) {
    const QFont normal = TextFont(kTextFontHeight, kWeightNormal);
    const QFont bold = TextFont(kTitleFontHeight, kWeightBold);
    AddStatic(kIdAboutTitle, kTitleRect, bold, Qt::AlignCenter, false)
        ->setText(QString::fromLatin1(kAboutTitleText));
    AddStatic(kIdAboutLegal, kLegalRect, normal, Qt::AlignCenter, true)->setText(LegalCopyright());
    AddStatic(kIdAboutVersion, kVersionRect, normal, Qt::AlignCenter, false)
        ->setText(QString::fromLatin1(kVersionPrefix) + ProductVersion());
    m_Ok = new QPushButton(QString::fromLatin1(kOkText), this);
    m_Ok->setObjectName(QString::number(kIdOk));
    m_Ok->setGeometry(kOkRect);
    m_Ok->setAutoDefault(false);
    QObject::connect(m_Ok, &QPushButton::clicked, this, [this] { hide(); });
}

void CAboutDlg::ShowCentred() {
    CentreInParent();
    show();
    raise();
}

void CAboutDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBorder(painter);
}

}  // namespace zor::ui

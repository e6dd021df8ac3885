#include "shell/AuxiliaryWindows.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "ui/CDlgMsg.h"
#include "ui/CDlgMsgBmp.h"
#include "ui/CDlgVolumeProgress.h"

namespace zor::shell {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

AuxiliaryWindows::AuxiliaryWindows(QWidget* mainWindow, const std::string& progressText,
                                   const std::string& progressPicture)
    : m_MainWindow(mainWindow),
      m_Progress(new ui::CDlgVolumeProgress(mainWindow)),
      m_Info(new ui::CDlgMsg(mainWindow)),
      m_Step(new ui::CDlgMsgBmp(mainWindow)) {
    m_Progress->SetText(Q(progressText));
    m_Progress->SetPicture(Q(progressPicture));
    m_Progress->hide();
    m_Info->hide();
    m_Step->hide();
}

void AuxiliaryWindows::ShowStep(const StepContent& content) {
    m_Info->hide();
    m_Step->hide();
    m_Step->SetTitle(Q(content.Title));
    for (int slot = 0; slot < 4; ++slot)
        m_Step->SetLine(slot, Q(content.Lines[slot]));
    m_Step->SetStepBitmaps(Q(content.Bitmaps[0]), Q(content.Bitmaps[1]), Q(content.Bitmaps[2]),
                           Q(content.Bitmaps[3]));
    m_Step->CentreInParent();
    m_Step->show();
    m_Step->raise();
}

void AuxiliaryWindows::HideStep() {
    m_Step->hide();
}

void AuxiliaryWindows::ShowStepWindowAndWait(const std::string& title, const std::string& firstLine,
                                             int waitMs) {
    StepContent content;
    content.Title = title;
    content.Lines[0] = firstLine;
    ShowStep(content);
    m_MainWindow->repaint();
    // The window keeps painting during the wait but takes no input.
    QEventLoop wait;
    QTimer::singleShot(std::max(0, waitMs), &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void AuxiliaryWindows::ShowInfo(const std::string& text) {
    m_Info->SetText(Q(text));
    m_Info->CentreInParent();
    m_Info->show();
    m_Info->raise();
}

void AuxiliaryWindows::HideInfo() {
    m_Info->hide();
}

void AuxiliaryWindows::ShowProgress() {
    m_Progress->ShowCentred();
}

void AuxiliaryWindows::HideProgress() {
    m_Progress->hide();
}

}  // namespace zor::shell

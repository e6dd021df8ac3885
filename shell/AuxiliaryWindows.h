#pragma once
// The info, step and progress windows of the main window, behind the logic's interfaces.
#include <string>

#include "platform/UserInterfaces.h"

class QWidget;

namespace zor::ui {
class CDlgMsg;
class CDlgMsgBmp;
class CDlgVolumeProgress;
}  // namespace zor::ui

namespace zor::shell {

/// Creates the three windows once as children of the main window and shows and hides them on
/// request. User-interface thread.
class AuxiliaryWindows : public IStepWindow, public IInfoWindow, public IProgressWindow {
public:
    /// `progressText` is the translated progress text; `progressPicture` its picture file.
    AuxiliaryWindows(QWidget* mainWindow, const std::string& progressText,
                     const std::string& progressPicture);

    void ShowStep(const StepContent& content) override;
    void HideStep() override;
    void ShowStepWindowAndWait(const std::string& title, const std::string& firstLine,
                               int waitMs) override;
    void ShowInfo(const std::string& text) override;
    void HideInfo() override;
    void ShowProgress() override;
    void HideProgress() override;

    ui::CDlgMsgBmp& StepWindow() { return *m_Step; }
    ui::CDlgMsg& InfoWindow() { return *m_Info; }
    ui::CDlgVolumeProgress& ProgressWindow() { return *m_Progress; }

private:
    QWidget* m_MainWindow;
    ui::CDlgVolumeProgress* m_Progress;  // child widgets, owned through Qt
    ui::CDlgMsg* m_Info;
    ui::CDlgMsgBmp* m_Step;
};

}  // namespace zor::shell

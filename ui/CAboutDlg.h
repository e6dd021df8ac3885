#pragma once
// The About box: product name, legal notice and version of this build.
#include <QString>

#include "ui/DialogPanel.h"

class QPushButton;

namespace zor::ui {

/// About box: "DTS" in 30-pixel bold Arial (control 1030), the legal notice (1021) and
/// "Version: " + product version (1022) in 20-pixel Arial, and an OK button that hides it. Created
/// once, hidden until shown; Enter, Escape and close do nothing. User-interface thread only.
class CAboutDlg : public DialogPanel {
public:
    explicit CAboutDlg(QWidget* parent);

    /// Centres the box over its parent's client area and shows it on top.
    void ShowCentred();

    QPushButton* OkButton() const { return m_Ok; }

    /// The build's product version ("0.1.0") and legal notice.
    static QString ProductVersion();
    static QString LegalCopyright();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* m_Ok = nullptr;  ///< control 1 (OK)
};

}  // namespace zor::ui

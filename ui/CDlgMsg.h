#pragma once
// The info window: a framed one-line message panel over the main window.
#include <QString>

#include "ui/DialogPanel.h"
#include "ui/MessageLayout.h"

namespace zor::ui {

/// Info window (338 x 79 dialog units): white panel, purple frame, and text control 1019 in
/// 20-pixel Arial, kept vertically centred by a whole-line estimate. The owner sets the text and
/// shows or hides the window; it is never re-created. User-interface thread only.
class CDlgMsg : public DialogPanel {
public:
    explicit CDlgMsg(QWidget* parent);
    ~CDlgMsg() override = default;

    /// Text of control 1019 (the message); relays out the control.
    virtual void SetText(const QString& text);
    QString Text() const;

    /// The metrics the centring estimate uses: those of the text control's font.
    TextMetricsPx CurrentTextMetrics() const;

protected:
    /// For windows built on this one with another template size.
    CDlgMsg(QWidget* parent, QSize clientSize);

    /// Moves and sizes the controls for the current text and size (called on every change that
    /// can move them).
    virtual void UpdateLayout();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

    QLabel* m_Text = nullptr;  ///< control 1019
};

/// Windows-style text metrics of a font.
TextMetricsPx MetricsOfFont(const QFont& font);

}  // namespace zor::ui

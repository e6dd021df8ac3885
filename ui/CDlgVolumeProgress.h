#pragma once
// The progress window of the volume reconstruction.
#include <QImage>
#include <QString>

#include "ui/DialogPanel.h"

class QProgressBar;

namespace zor::ui {

/// Progress window (338 x 79 dialog units): progress bar 1001 (0..99), text 1031 in 20-pixel
/// Arial, a picture and the purple frame. Lives on the user-interface thread; worker threads use
/// only PostProgress and PostShow, which queue onto that thread. The owner must stop the workers
/// before deleting the window.
class CDlgVolumeProgress : public DialogPanel {
public:
    explicit CDlgVolumeProgress(QWidget* parent);

    /// Sets the position to 0, centres the window in its parent's client area and shows it on top.
    /// Any show of the hidden window (also QWidget::show) does the same; the parent being shown
    /// again does not.
    void ShowCentred();

    /// Bar position, clamped to 0..99.
    void SetPos(int position);
    int Pos() const;

    /// Text of control 1031.
    void SetText(const QString& text);
    QString Text() const;

    /// The picture drawn at 0.07 x width, 0.16 x height of the initial client rectangle. An
    /// unreadable file leaves no picture and returns false.
    bool SetPicture(const QString& path);
    bool HasPicture() const { return !m_Picture.isNull(); }

    /// Thread-safe: queue a bar position (clamped to 0..99) onto the user-interface thread.
    void PostProgress(int position);
    /// Thread-safe: queue showing (ShowCentred) or hiding onto the user-interface thread.
    void PostShow(bool show);

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QProgressBar* m_Bar = nullptr;  ///< control 1001
    QLabel* m_Text = nullptr;       ///< control 1031
    QImage m_Picture;
};

}  // namespace zor::ui

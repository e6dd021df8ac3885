#pragma once
// State of the step window without widgets: title, four instruction lines, four picture slots,
// and the geometry rules that place them.
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>

namespace zor::ui {

inline constexpr int kStepSlots = 4;

/// What the step window shows. Slot i (0..3) pairs picture i with instruction line i (controls
/// 1022, 1024, 1023, 1025). Lives on the user-interface thread.
class StepWindowModel {
public:
    explicit StepWindowModel(QSize initialClientSize);

    /// Clears the picture count and shows every line; then per slot: an empty path deletes the
    /// slot's picture and hides its line; a readable file replaces the picture and counts; an
    /// unreadable file leaves the slot as it was and does not count. Returns the count (0..4).
    int SetStepBitmaps(const std::array<QString, kStepSlots>& paths);

    void SetTitle(const QString& title) { m_Title = title; }
    /// `slot` 0..3; other values are ignored.
    void SetLine(int slot, const QString& text);

    QString Title() const { return m_Title; }
    QString Line(int slot) const;
    bool LineVisible(int slot) const;
    const QImage& Picture(int slot) const;
    int PictureCount() const { return m_Count; }
    QSize InitialClientSize() const { return m_Initial; }

    /// Window size for the current count: initial width, initial height x (count + 1.5) / 6;
    /// the initial size until the pictures are first set.
    QSize WindowSize() const;

private:
    QSize m_Initial;
    QString m_Title;
    std::array<QString, kStepSlots> m_Lines;
    std::array<QImage, kStepSlots> m_Pictures;
    std::array<bool, kStepSlots> m_LineVisible{true, true, true, true};
    int m_Count = 0;
    bool m_BitmapsSet = false;
};

/// Height of the step window with `count` pictures (truncated).
int StepWindowHeight(int initialHeight, int count);
/// Top-left corner of picture `slot` (0..3): 0.05 Wo, 0.16/0.36/0.56/0.76 Ho, truncated.
QPoint StepPicturePosition(int slot, QSize initial);
/// Top-left corner of line `slot` (0..3): 0.25 Wo, 0.2/0.4/0.6/0.8 Ho, truncated.
QPoint StepLinePosition(int slot, QSize initial);

}  // namespace zor::ui

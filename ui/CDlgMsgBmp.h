#pragma once
// The step window: a title and up to four instruction lines, each with its picture.
#include <QString>

#include "ui/CDlgMsg.h"
#include "ui/StepWindowModel.h"

namespace zor::ui {

/// Step window (338 x 258 dialog units): title 1019 and the lines 1022, 1024, 1023, 1025 in
/// 20-pixel Arial, with a picture left of each line. Its height follows the number of pictures
/// loaded. State lives in a StepWindowModel; UpdateLayout maps it to the controls. User-interface
/// thread only.
class CDlgMsgBmp : public CDlgMsg {
public:
    explicit CDlgMsgBmp(QWidget* parent);

    /// Loads the four pictures (empty path: no picture, line hidden; unreadable file: slot kept,
    /// not counted) and resizes the window, position unchanged. Returns the pictures counted.
    int SetStepBitmaps(const QString& path1, const QString& path2, const QString& path3,
                       const QString& path4);

    /// Title (control 1019).
    void SetText(const QString& text) override;
    void SetTitle(const QString& title) { SetText(title); }
    /// Instruction line `slot` 0..3 (controls 1022, 1024, 1023, 1025).
    void SetLine(int slot, const QString& text);
    void SetLines(const QString& line1, const QString& line2, const QString& line3,
                  const QString& line4);

    const StepWindowModel& Model() const { return m_Model; }

protected:
    void UpdateLayout() override;
    void paintEvent(QPaintEvent* event) override;

private:
    StepWindowModel m_Model;
    std::array<QLabel*, kStepSlots> m_Lines{};
};

/// Control id of instruction line `slot` (0..3).
int StepLineControlId(int slot);

}  // namespace zor::ui

#pragma once
// The column of owner-drawn tool buttons of the main window.
#include <QRect>
#include <functional>
#include <map>

#include "shell/ToolButtonLayout.h"

class QWidget;

namespace zor::ui {
class CButtonST;
}

namespace zor::shell {

/// Creates the seventeen tool buttons on the main window, gives them pictures, colours and
/// translated tooltips, and places and shows them by phase. User-interface thread.
class ToolButtons {
public:
    /// `onCommand(id)` runs when a button is clicked.
    ToolButtons(QWidget* window, std::function<void(int id)> onCommand);

    /// Pictures, colours, flat style off, tooltips in table order (tags translated by `tr`).
    void Initialise(const std::function<std::string(const std::string&)>& tr);

    /// Places the column for `phase` inside `client`.
    void Layout(const QRect& client, int phase, bool lastPanoramic, bool lastTomosynthesis);
    /// Shows or hides each button, and switches the exit/back and export pictures and tooltips.
    void Update(int workflowPhase, int phase, bool lastPanoramic, bool lastTomosynthesis);

    /// Marks the active tool: flat style on `id` as given, off on the other mode buttons.
    void MarkMode(int id, bool active);
    /// Clears the mark of every mode button (scrolling command).
    void ClearModes();

    ui::CButtonST* Button(int id) const;

private:
    void SetTooltip(int id, const std::string& tag);

    QWidget* m_Window;
    std::function<void(int)> m_OnCommand;
    std::function<std::string(const std::string&)> m_Tr;
    std::map<int, ui::CButtonST*> m_Buttons;  // owned by the window (Qt parent)
    int m_ExitBitmap = 0;
};

}  // namespace zor::shell

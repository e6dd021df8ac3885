#pragma once
// The column of owner-drawn tool buttons of the main window.
#include <QRect>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "shell/ToolButtonLayout.h"

class QWidget;

namespace zor::ui {
class CButtonST;
}

namespace zor::shell {

/// Creates the seventeen tool buttons on the main window, gives them pictures, colours and
/// translated tooltips, and places and shows them by phase. Remembers the column it shows so a
/// new client size places the same column again. User-interface thread.
class ToolButtons {
public:
    /// `onCommand(id)` runs when a button is clicked.
    ToolButtons(QWidget* window, std::function<void(CommandId id)> onCommand);

    /// Pictures, colours, flat style off, tooltips in table order (tags translated by `tr`).
    void Initialise(const std::function<std::string(const std::string&)>& tr);

    /// Places the column for `phase` inside `client` and shows the buttons of that phase;
    /// `workflowPhase` decides the start button. Switches the exit/back picture and tooltip and
    /// the export tooltip.
    void Show(const QRect& client, int workflowPhase, int phase, bool lastPanoramic,
              bool lastTomosynthesis);
    /// Places the shown column again for a new client rectangle.
    void Relayout(const QRect& client);
    /// Places Previous and Following at the two ends of the cross pane (client coordinates);
    /// a button already in its place is not touched.
    void PlaceStepButtons(const QRect& client, const QRect& crossPane);
    void SetVisible(CommandId id, bool visible);

    /// Marks `id` as the active tool (flat style) and clears the other mode buttons; nullopt
    /// clears them all.
    void MarkMode(std::optional<CommandId> id);
    /// Gives button `id` the picture of bitmap resource `bitmap`.
    void SetBitmap(CommandId id, int bitmap);

    ui::CButtonST* Button(CommandId id) const;

private:
    void SetTooltip(CommandId id, const std::string& tag);

    QWidget* m_Window;
    std::function<void(CommandId)> m_OnCommand;
    std::function<std::string(const std::string&)> m_Tr;
    std::map<CommandId, ui::CButtonST*> m_Buttons;  // owned by the window (Qt parent)
    int m_ExitBitmap = 0;
    int m_Phase = 1;
    bool m_LastPanoramic = false;
    bool m_LastTomosynthesis = false;
};

}  // namespace zor::shell

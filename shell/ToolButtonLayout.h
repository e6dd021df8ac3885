#pragma once
// Which tool buttons the main window shows in each phase, and where they sit.
#include <QRect>
#include <array>
#include <vector>

#include "platform/WindowIds.h"

namespace zor::shell {

/// The tool buttons in creation order.
inline constexpr std::array<CommandId, 17> kButtonOrder = {CommandId::StartTomosynthesis,
                                                           CommandId::LoadPhantomPanoramic,
                                                           CommandId::LoadLastPanoramic,
                                                           CommandId::LoadLastTomosynthesis,
                                                           CommandId::Scrolling,
                                                           CommandId::Brightness,
                                                           CommandId::Contrast,
                                                           CommandId::Gamma,
                                                           CommandId::Unsharp,
                                                           CommandId::FiltersReset,
                                                           CommandId::Zoom,
                                                           CommandId::ExportSelected,
                                                           CommandId::ExportAll,
                                                           CommandId::BackOrExit,
                                                           CommandId::Previous,
                                                           CommandId::Following,
                                                           CommandId::Hidden};

struct ButtonPlace {
    CommandId id;
    QRect rect;
};

/// Square button size for a client rectangle: 0.07384615 x height x 5 / 6, truncated.
int ToolButtonSize(const QRect& client);

/// The column for a phase: every placed button with its rectangle, top to bottom, the exit
/// button last at the bottom. Buttons 1013 and 1014 are placed by the viewer, not here.
std::vector<ButtonPlace> LayoutToolButtons(const QRect& client, int phase, bool lastPanoramic,
                                           bool lastTomosynthesis);

/// The Previous (1013) and Following (1014) buttons: squares of trunc(0.8 s) (s as
/// ToolButtonSize), Previous inside the left end of the cross pane and Following inside its right
/// end (`crossPane` right edge exclusive), both centred on the pane's height.
std::array<ButtonPlace, 2> LayoutStepButtons(const QRect& client, const QRect& crossPane);

/// Whether button `id` is visible; `workflowPhase` is the window's phase (start button),
/// `phase` the phase to show.
bool IsToolButtonVisible(CommandId id, int workflowPhase, int phase, bool lastPanoramic,
                         bool lastTomosynthesis);

/// The status area at the bottom: icon and text rectangles.
struct StatusLineLayout {
    QRect icon;
    QRect text;
};
StatusLineLayout LayoutStatusLine(const QRect& client);

}  // namespace zor::shell

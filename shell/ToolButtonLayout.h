#pragma once
// Which tool buttons the main window shows in each phase, and where they sit.
#include <QRect>
#include <array>
#include <vector>

namespace zor::shell {

/// Control ids of the tool buttons, in creation order.
enum ButtonId : int {
    kStartTomo = 1010,
    kLoadPhantom = 1015,
    kLoadLastPanoramic = 1011,
    kLoadLastTomo = 1012,
    kScrolling = 1009,
    kBrightness = 1000,
    kContrast = 1001,
    kGamma = 1002,
    kUnsharp = 1003,
    kFiltersReset = 1004,
    kZoom = 1008,
    kExportSelected = 1005,
    kExportAll = 1006,
    kExitOrBack = 1007,
    kPrevious = 1013,
    kFollowing = 1014,
    kHidden = 1020,
};

inline constexpr std::array<int, 17> kButtonOrder = {
    kStartTomo, kLoadPhantom, kLoadLastPanoramic, kLoadLastTomo, kScrolling, kBrightness,
    kContrast,  kGamma,       kUnsharp,           kFiltersReset, kZoom,      kExportSelected,
    kExportAll, kExitOrBack,  kPrevious,          kFollowing,    kHidden};

struct ButtonPlace {
    int id;
    QRect rect;
};

/// Square button size for a client rectangle: 0.07384615 x height x 5 / 6, truncated.
int ToolButtonSize(const QRect& client);

/// The column for a phase: every placed button with its rectangle, top to bottom, the exit
/// button last at the bottom. Buttons 1013 and 1014 are placed by the viewer, not here.
std::vector<ButtonPlace> LayoutToolButtons(const QRect& client, int phase, bool lastPanoramic,
                                           bool lastTomosynthesis);

/// Whether button `id` is visible; `workflowPhase` is the window's phase (start button),
/// `phase` the phase to show.
bool IsToolButtonVisible(int id, int workflowPhase, int phase, bool lastPanoramic,
                         bool lastTomosynthesis);

/// The status area at the bottom: icon and text rectangles.
struct StatusLineLayout {
    QRect icon;
    QRect text;
};
StatusLineLayout LayoutStatusLine(const QRect& client);

}  // namespace zor::shell

#pragma once
// What the main window paints in the viewer area, taken from the viewer's state.
#include "viewer/CrossView.h"
#include "viewer/ViewerCommands.h"
#include "viewer/ViewerPainter.h"

namespace zor::viewer {

/// The scene of the viewer area for workflow phase `phase`: the layout and its flags, the
/// crosses' grid, the panoramic from the volume-of-interest step on, and in that step the
/// hatching, guides and the frame. With a volume shown, `crosses` (may be null) adds the
/// selections, the allowed range, the span of the shown crosses and their marker. Backgrounds
/// and colours are left to the caller.
ViewerScene SceneOf(const ViewerCommands& viewer, int phase, const CrossView* crosses = nullptr);

}  // namespace zor::viewer

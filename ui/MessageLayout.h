#pragma once
// Vertical centring of the info window's text: an estimate in whole lines from font metrics.

namespace zor::ui {

/// Font metrics that drive the estimate, in pixels.
struct TextMetricsPx {
    int maxCharWidth = 0;
    int height = 0;  ///< ascent + descent
    int internalLeading = 0;
    int externalLeading = 0;
};

/// Where the text control goes: its left edge, top and height (its width is unchanged).
struct TextPlacement {
    int x = 0;
    int y = 0;
    int height = 0;
    int lines = 0;
};

/// lines = ceiling(maxCharWidth x textLength / controlWidth);
/// height = lines x (height + internal leading + external leading);
/// y = (clientHeight - height) / 2, x = 5. A control width below 1 counts as 1.
TextPlacement PlaceCentredText(int clientHeight, int controlWidth, int textLength,
                               const TextMetricsPx& metrics);

}  // namespace zor::ui

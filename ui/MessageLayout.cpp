#include "ui/MessageLayout.h"

#include <algorithm>
#include <cstdint>

#include "ui/UiConstants.h"

namespace zor::ui {

namespace {
constexpr std::int64_t kMaxEstimatedLines = 10000;
}  // namespace

TextPlacement PlaceCentredText(int clientHeight, int controlWidth, int textLength,
                               const TextMetricsPx& m) {
    TextPlacement placement;
    const std::int64_t width = std::max(controlWidth, 1);
    const std::int64_t extent =
        static_cast<std::int64_t>(std::max(m.maxCharWidth, 0)) * std::max(textLength, 0);
    // An absurdly long text must not overflow the pixel arithmetic.
    placement.lines =
        static_cast<int>(std::min<std::int64_t>((extent + width - 1) / width, kMaxEstimatedLines));
    placement.height = placement.lines * (m.height + m.internalLeading + m.externalLeading);
    placement.x = kMessageTextX;
    placement.y = (clientHeight - placement.height) / 2;
    return placement;
}

}  // namespace zor::ui

#pragma once
// The viewer's geometry: the layout rectangles of the viewer area and where the panoramic sits
// inside its rectangle. Client coordinates of the main window, in pixels.
#include <array>
#include <cstdint>

namespace zor::viewer {

/// A point in client coordinates.
struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

/// A rectangle as left, top, right, bottom; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect&) const = default;
};

/// Rows of crosses for n crosses: 1 below 10, 2 up to 20, 3 up to 39, else 4.
int CrossRows(int crossCount);

/// The layout of the viewer area V, recomputed on resize and when a layout flag changes.
struct ViewerLayout {
    Rect viewer;      ///< V: the whole viewer area
    int imagesRight;  ///< xr = trunc(0.9 * x1): left of it the images, right of it the buttons
    Rect panoramic;   ///< P
    Rect crossPane;   ///< the crosses' pane
    int middle;       ///< ym = trunc(y0 + (y1 - y0) * 0.5), the normal P's bottom
    /// Where the curve picture (the arch seen from above, with the crosses' marker) goes: right
    /// of the normal P up to xr, P's rows, less a margin; empty with P enlarged.
    Rect curveArea;
};

/// The layout for `viewer` (V) and the two flags. P normal: (x0, y0, trunc(x0 + (0.9 x1 - x0)
/// * 0.6), ym); enlarged: right trunc(x0 + 0.9 x1), bottom y1 - 30. The cross pane runs from
/// P's left to xr and from P's bottom (P's top with crosses over the panoramic) to y1 - 30.
ViewerLayout ComputeViewerLayout(const Rect& viewer, bool panoramicEnlarged,
                                 bool crossesOverPanoramic);

/// Where the panoramic image is drawn inside P and which part of it may hold the volume of
/// interest.
struct PanoramicGeometry {
    Rect pane;           ///< P
    Rect image;          ///< the whole image, its aspect kept, centred in P
    Rect usable;         ///< the part of `image` the volume of interest may cover
    int imageWidth = 0;  ///< panoramic pixels
    int imageHeight = 0;
    float scale = 1.0f;        ///< s: panoramic pixels per screen pixel (> 0)
    bool rowsLimited = false;  ///< the usable rows are a band (the Y axis can move)
    float bandLimit = 0.0f;    ///< the band-limit fraction of the panoramic
};

/// The band and crop figures of the loaded panoramic that the geometry needs.
struct PanoramicBands {
    int cropLeftPercent = 0;   ///< columns set aside on the left, percent of the width
    int cropRightPercent = 0;  ///< on the right
    float bandTop = 0.0f;      ///< fraction of the height above the usable band
    float bandBottom = 0.0f;   ///< below it
    float bandLimit = 0.0f;
    bool yAxisMovable = false;  ///< the usable rows are limited to the band
};

/// The image keeps its aspect: s = max(w / P.width, h / P.height), drawn trunc(w / s) x
/// trunc(h / s) centred in P. Usable columns: the drawn width less the crop percentages on each
/// side (truncated); usable rows: the drawn height, less trunc(H * bandTop) above and
/// trunc(H * bandBottom) below when the Y axis can move. An empty image or P gives image =
/// usable = P and s = 1.
PanoramicGeometry ComputePanoramicGeometry(const Rect& pane, int imageWidth, int imageHeight,
                                           const PanoramicBands& bands);

/// Columns of the cross grid: ceil(n / g) for n crosses in g rows; 0 when either is below 1.
int CrossColumns(int crossCount, int crossRows);

/// Cell `cell` (0 .. n - 1, row by row) of the cross pane of width W and height H: left
/// pane.left + (W * (cell mod cols)) / cols, top pane.top + (H * (cell div cols)) / g, width
/// W / cols, height H / g (integer divisions). Empty when n or g is below 1.
Rect CrossCell(const Rect& pane, int crossCount, int crossRows, int cell);

/// The curve picture's drawing frame: a curveWidth x curveHeight picture fitted into
/// `layout.curveArea` (FitInCell); empty when either is empty.
Rect CurvePictureFrame(const ViewerLayout& layout, int curveWidth, int curveHeight);

/// Where a bitmapWidth x bitmapHeight bitmap is drawn inside `cell`, its aspect kept: centred
/// horizontally when it is taller than the cell's shape, else centred vertically, with the
/// system's integer truncations (a 300 x 600 bitmap in a 100 x 100 cell: 50 x 100, 25 px from
/// the cell's left). Empty for an empty bitmap.
Rect FitInCell(const Rect& cell, int bitmapWidth, int bitmapHeight);

/// The eight handle points of the volume-of-interest frame, indexed by their bit in the handle
/// mask, in reading order: 0 top-left corner, 1 top edge middle, 2 top-right corner, 3 left edge
/// middle, 4 right edge middle, 5 bottom-left corner, 6 bottom edge middle, 7 bottom-right
/// corner. The two points that cannot be dragged (3 and 4) are left out by kInitialHandleMask.
enum class FrameHandle { TopLeft, Top, TopRight, Left, Right, BottomLeft, Bottom, BottomRight };

/// The handles shown around a newly placed volume of interest: all but the left and right edge
/// middles.
constexpr std::uint32_t kInitialHandleMask = 0xE7;

/// The mask bit of `handle`.
constexpr std::uint32_t HandleBit(FrameHandle handle) {
    return 1u << static_cast<int>(handle);
}

/// The frame's corners in drawing order: top-left, top-right, bottom-right, bottom-left.
using FrameCorners = std::array<Point, 4>;

/// The eight handle points of a frame, in mask-bit order; edge middles are the integer means of
/// their two corners.
std::array<Point, 8> FrameHandlePoints(const FrameCorners& corners);

}  // namespace zor::viewer

#pragma once
// The viewer's geometry: the layout rectangles of the viewer area and where the panoramic sits
// inside its rectangle. Client coordinates of the main window, in pixels.

namespace zor::viewer {

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

}  // namespace zor::viewer

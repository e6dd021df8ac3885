#include "viewer/ViewerGeometry.h"

#include <algorithm>

namespace zor::viewer {

int CrossRows(int crossCount) {
    return crossCount < 10 ? 1 : crossCount <= 20 ? 2 : crossCount <= 39 ? 3 : 4;
}

ViewerLayout ComputeViewerLayout(const Rect& viewer, bool panoramicEnlarged,
                                 bool crossesOverPanoramic) {
    ViewerLayout layout;
    layout.viewer = viewer;
    const int x0 = viewer.left;
    const int y0 = viewer.top;
    const int x1 = viewer.right;
    const int y1 = viewer.bottom;
    layout.imagesRight = static_cast<int>(0.9 * x1);
    layout.middle = static_cast<int>(y0 + (y1 - y0) * 0.5);
    if (panoramicEnlarged) {
        layout.panoramic = {x0, y0, static_cast<int>(x0 + 0.9 * x1), y1 - 30};
    } else {
        layout.panoramic = {x0, y0, static_cast<int>(x0 + (0.9 * x1 - x0) * 0.6), layout.middle};
    }
    layout.crossPane = {layout.panoramic.left,
                        crossesOverPanoramic ? layout.panoramic.top : layout.panoramic.bottom,
                        layout.imagesRight, y1 - 30};
    if (!panoramicEnlarged) {
        constexpr int kCurveMargin = 12;
        layout.curveArea = {layout.panoramic.right + kCurveMargin,
                            layout.panoramic.top + kCurveMargin, layout.imagesRight - kCurveMargin,
                            layout.panoramic.bottom - kCurveMargin};
    }
    return layout;
}

Rect CurvePictureFrame(const ViewerLayout& layout, int curveWidth, int curveHeight) {
    if (layout.curveArea.Empty() || curveWidth < 1 || curveHeight < 1)
        return {};
    return FitInCell(layout.curveArea, curveWidth, curveHeight);
}

PanoramicGeometry ComputePanoramicGeometry(const Rect& pane, int imageWidth, int imageHeight,
                                           const PanoramicBands& bands) {
    PanoramicGeometry g;
    g.pane = pane;
    g.image = pane;
    g.usable = pane;
    g.imageWidth = imageWidth;
    g.imageHeight = imageHeight;
    g.rowsLimited = bands.yAxisMovable;
    g.bandLimit = bands.bandLimit;
    if (imageWidth <= 0 || imageHeight <= 0 || pane.Empty())
        return g;

    g.scale = std::max(static_cast<float>(imageWidth) / static_cast<float>(pane.Width()),
                       static_cast<float>(imageHeight) / static_cast<float>(pane.Height()));
    const int w = std::max(1, static_cast<int>(static_cast<float>(imageWidth) / g.scale));
    const int h = std::max(1, static_cast<int>(static_cast<float>(imageHeight) / g.scale));
    g.image.left = pane.left + (pane.Width() - w) / 2;
    g.image.top = pane.top + (pane.Height() - h) / 2;
    g.image.right = g.image.left + w;
    g.image.bottom = g.image.top + h;

    const int cropLeft = std::clamp(bands.cropLeftPercent, 0, 100);
    const int cropRight = std::clamp(bands.cropRightPercent, 0, 100 - cropLeft);
    g.usable = g.image;
    g.usable.left += static_cast<int>(static_cast<long long>(w) * cropLeft / 100);
    g.usable.right -= static_cast<int>(static_cast<long long>(w) * cropRight / 100);
    if (bands.yAxisMovable) {
        const float top = std::clamp(bands.bandTop, 0.0f, 1.0f);
        const float bottom = std::clamp(bands.bandBottom, 0.0f, 1.0f - top);
        g.usable.top += static_cast<int>(static_cast<float>(h) * top);
        g.usable.bottom -= static_cast<int>(static_cast<float>(h) * bottom);
    }
    return g;
}

int CrossColumns(int crossCount, int crossRows) {
    if (crossCount < 1 || crossRows < 1)
        return 0;
    return (crossCount + crossRows - 1) / crossRows;
}

Rect CrossCell(const Rect& pane, int crossCount, int crossRows, int cell) {
    const int cols = CrossColumns(crossCount, crossRows);
    if (cols == 0)
        return {pane.left, pane.top, pane.left, pane.top};
    const long long w = pane.Width();
    const long long h = pane.Height();
    Rect r;
    r.left = pane.left + static_cast<int>(w * (cell % cols) / cols);
    r.top = pane.top + static_cast<int>(h * (cell / cols) / crossRows);
    r.right = r.left + static_cast<int>(w / cols);
    r.bottom = r.top + static_cast<int>(h / crossRows);
    return r;
}

Rect FitInCell(const Rect& cell, int bitmapWidth, int bitmapHeight) {
    if (bitmapWidth <= 0 || bitmapHeight <= 0)
        return {cell.left, cell.top, cell.left, cell.top};
    const long long cw = cell.Width();
    const long long ch = cell.Height();
    const long long bw = bitmapWidth;
    const long long bh = bitmapHeight;
    long long xoff = (cw - bw * ch / bh) / 2;
    long long yoff = 0;
    if (xoff < 0) {
        xoff = 0;
        yoff = (ch - bh * cw / bw) / 2;
    }
    long long width = cw;
    long long height = cw * bh / bw;
    if (height > ch) {
        height = ch;
        width = ch * bw / bh;
    }
    Rect r;
    r.left = cell.left + static_cast<int>(xoff);
    r.top = cell.top + static_cast<int>(yoff);
    r.right = r.left + static_cast<int>(width);
    r.bottom = r.top + static_cast<int>(height);
    return r;
}

std::array<Point, 8> FrameHandlePoints(const FrameCorners& corners) {
    const auto mid = [](Point a, Point b) { return Point{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    const Point& tl = corners[0];
    const Point& tr = corners[1];
    const Point& br = corners[2];
    const Point& bl = corners[3];
    return {tl, mid(tl, tr), tr, mid(bl, tl), mid(tr, br), bl, mid(bl, br), br};
}

}  // namespace zor::viewer

#include "viewer/ViewerPainter.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace zor::viewer {

namespace {

constexpr ColorRef kFrameGreen = 0x00C800;
constexpr ColorRef kHatchGrey = 0x323232;
constexpr ColorRef kGuideRed = 0x0000C8;
constexpr ColorRef kWhite = 0xFFFFFF;
constexpr ColorRef kTintGreen = 0x00FF00;
constexpr int kSelectionPenWidth = 5;
constexpr int kHandleHalf = 4;
constexpr int kCrossPaneMargin = 30;  // the strip below the cross pane

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

QPolygon ToPolygon(const FrameCorners& corners) {
    QPolygon polygon;
    for (const Point& c : corners)
        polygon << QPoint(c.x, c.y);
    return polygon;
}

// An axis-aligned line that, like a GDI MoveTo/LineTo pair, leaves out its end point.
void Line(QPainter& p, int x0, int y0, int x1, int y1) {
    if (x0 == x1 && y0 == y1)
        return;
    if (y0 == y1)
        x1 += x1 > x0 ? -1 : 1;
    else
        y1 += y1 > y0 ? -1 : 1;
    p.drawLine(x0, y0, x1, y1);
}

// A GDI Rectangle: outline in the pen and inside in the brush, covering left .. right - 1 and
// top .. bottom - 1. Qt's aliased outline runs one pixel past the rectangle's width, hence -1.
void GdiRectangle(QPainter& p, const Rect& r) {
    if (r.Empty())
        return;
    p.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
}

void PaintLines(QPainter& p, const ViewerScene& s) {
    const ViewerLayout& l = s.layout;
    const int x0 = l.viewer.left;
    const int y0 = l.viewer.top;
    const int y1 = l.viewer.bottom;
    const int xr = l.imagesRight;
    p.setPen(QPen(ToQColor(s.lineColour), 1));
    Line(p, x0, y0, xr, y0);
    if (!s.panoramicEnlarged && !s.crossesOverPanoramic) {
        Line(p, l.panoramic.right, y0, l.panoramic.right, l.middle);
        Line(p, x0, l.middle, xr, l.middle);
    }
    if (s.panoramicEnlarged)
        return;

    const int cols = CrossColumns(s.crossCount, s.crossRows);
    const int top = s.crossesOverPanoramic ? y0 : l.middle;
    // Separators start at x0 so that they meet the cells' left edges wherever V begins.
    for (int j = 1; j < cols; ++j) {
        const int x = x0 + static_cast<int>(static_cast<long long>(j) * (xr - x0) / cols);
        Line(p, x, top, x, y1 - kCrossPaneMargin);
    }
    const int g = s.crossRows;
    if (g < 2 || (g == 4 && s.crossCount != 40))
        return;
    const double a = s.crossesOverPanoramic ? 0.0 : 0.5;
    for (int k = 1; k < g; ++k) {
        const double f = static_cast<double>(k) / g;
        const int y = static_cast<int>(y0 + (y1 - y0) * (a + (1.0 - a) * f) - kCrossPaneMargin * f);
        Line(p, x0, y, xr, y);
    }
}

void PaintCrosses(QPainter& p, const ViewerScene& s) {
    const int n = std::min(s.crossCount, static_cast<int>(s.crosses.size()));
    for (int i = 0; i < n; ++i) {
        const DisplayBitmap* bitmap = s.crosses[static_cast<size_t>(i)];
        if (bitmap == nullptr || bitmap->Empty())
            continue;
        const Rect cell = CrossCell(s.layout.crossPane, s.crossCount, s.crossRows, i);
        const Rect drawn = FitInCell(cell, bitmap->width, bitmap->height);
        if (!drawn.Empty())
            p.drawImage(ToQRect(drawn), WrapDisplayBitmap(*bitmap));
    }
}

void PaintSelectionFrames(QPainter& p, const ViewerScene& s) {
    // A wide GDI pen has round ends and joins.
    p.setPen(QPen(ToQColor(kFrameGreen), kSelectionPenWidth, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < s.crossCount; ++i) {
        const int position = PositionOfCross(i, s.crossCount, s.centre);
        if (position < 0 || position >= static_cast<int>(s.selectedPositions.size()) ||
            !s.selectedPositions[static_cast<size_t>(position)]) {
            continue;
        }
        const Rect c = CrossCell(s.layout.crossPane, s.crossCount, s.crossRows,
                                 FrameCellOfCross(i, s.crossCount, s.rangeValue));
        const QPoint corners[] = {{c.left + 4, c.top + 3},
                                  {c.right - 2, c.top + 3},
                                  {c.right - 2, c.bottom - 3},
                                  {c.left + 4, c.bottom - 3}};
        p.drawPolygon(corners, 4);
    }
}

void PaintHatching(QPainter& p, const PanoramicGeometry& g) {
    p.setPen(QPen(ToQColor(kHatchGrey), 1));
    p.setBrush(QBrush(ToQColor(kHatchGrey), Qt::CrossPattern));
    const Rect& pane = g.pane;
    const Rect& u = g.usable;
    GdiRectangle(p, {pane.left, pane.top, u.left, pane.bottom});
    GdiRectangle(p, {u.right, pane.top, pane.right, pane.bottom});
    if (g.rowsLimited) {
        GdiRectangle(p, {u.left, pane.top, u.right, u.top});
        GdiRectangle(p, {u.left, u.bottom, u.right, pane.bottom});
    }
    p.setBrush(Qt::NoBrush);
}

// The guide lines run on the outermost usable pixels, so they stay visible beside the hatching.
void PaintGuides(QPainter& p, const PanoramicGeometry& g) {
    p.setPen(QPen(ToQColor(kGuideRed), 1, Qt::DotLine));
    const Rect& u = g.usable;
    const Rect& im = g.image;
    Line(p, u.left, im.top, u.left, im.bottom);
    Line(p, u.right - 1, im.top, u.right - 1, im.bottom);
    if (!g.rowsLimited)
        return;
    Line(p, u.left, u.top, u.right, u.top);
    Line(p, u.left, u.bottom - 1, u.right, u.bottom - 1);
    const int band =
        im.top + static_cast<int>(static_cast<float>(im.Height()) * (1.0f - g.bandLimit));
    Line(p, u.left, band, u.right, band);
}

// The frame is a 3 px white line under a 1 px green one, so it reads on dark and bright parts of
// the panoramic alike; the handles are green squares with a white rim for the same reason.
void PaintFrame(QPainter& p, const FrameOverlay& frame) {
    const QPolygon polygon = ToPolygon(frame.corners);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ToQColor(kWhite), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPolygon(polygon);
    p.setPen(QPen(ToQColor(kFrameGreen), 1));
    p.drawPolygon(polygon);

    p.setPen(QPen(ToQColor(kWhite), 1));
    p.setBrush(ToQColor(kFrameGreen));
    const std::array<Point, 8> handles = FrameHandlePoints(frame.corners);
    for (int bit = 0; bit < 8; ++bit) {
        if ((frame.handleMask & (1u << bit)) == 0)
            continue;
        const Point& h = handles[static_cast<size_t>(bit)];
        GdiRectangle(p,
                     {h.x - kHandleHalf, h.y - kHandleHalf, h.x + kHandleHalf, h.y + kHandleHalf});
    }
    p.setBrush(Qt::NoBrush);
}

void PaintVolumeOverlays(QPainter& p, const ViewerScene& s) {
    const Rect& im = s.panoramicGeometry.image;
    p.setPen(QPen(ToQColor(kFrameGreen), 1, Qt::DotLine));
    Line(p, s.allowedFirstX, im.top, s.allowedFirstX, im.bottom);
    Line(p, s.allowedLastX, im.top, s.allowedLastX, im.bottom);

    // The span is tinted in place: source AND green over what is drawn already, which leaves the
    // green range lines as they are; left and right of the span the picture stays as drawn.
    const int left = std::max(std::min(s.spanLeftX, s.spanRightX), im.left);
    const int right = std::min(std::max(s.spanLeftX, s.spanRightX), im.right);
    if (right > left && !im.Empty()) {
        p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        p.fillRect(QRect(left, im.top, right - left, im.Height()), ToQColor(kTintGreen));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

}  // namespace

int FrameCellOfCross(int cross, int crossCount, double rangeValue) {
    return rangeValue > 0.0 ? crossCount - 1 - cross : cross;
}

int PositionOfCross(int cross, int crossCount, double centre) {
    return static_cast<int>(centre * 50.0 - 1.0) - crossCount / 2 + cross;
}

QImage WrapDisplayBitmap(const DisplayBitmap& bitmap) {
    if (bitmap.Empty())
        return {};
    return QImage(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width, bitmap.height,
                  static_cast<qsizetype>(bitmap.width) * 4, QImage::Format_RGB32);
}

const QImage& ViewerPainter::Stretched(const QImage& picture, const QSize& size,
                                       ScaledPicture& cache) {
    if (cache.key != picture.cacheKey() || cache.size != size || cache.image.isNull()) {
        cache.key = picture.cacheKey();
        cache.size = size;
        cache.image = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                          .convertToFormat(QImage::Format_RGB32);
    }
    return cache.image;
}

// The panoramic is some ten times larger than its place on the screen and changes only with its
// display settings (the curve picture never): the stretched picture is kept while the bitmap's
// stamp and place stay.
void ViewerPainter::DrawKept(QPainter& p, const DisplayBitmap& bitmap, const Rect& place,
                             ScaledPicture& cache) {
    const QRect target = ToQRect(place);
    if (bitmap.stamp == 0) {
        p.drawImage(target, WrapDisplayBitmap(bitmap));
        return;
    }
    if (cache.key != static_cast<qint64>(bitmap.stamp) || cache.size != target.size() ||
        cache.image.isNull()) {
        cache.key = static_cast<qint64>(bitmap.stamp);
        cache.size = target.size();
        cache.image = QImage(target.size(), QImage::Format_RGB32);
        QPainter scaler(&cache.image);
        // The thin lines of the curve picture would break up when pixels are dropped.
        scaler.setRenderHint(QPainter::SmoothPixmapTransform, &cache == &m_Curve);
        scaler.drawImage(QRect(QPoint(0, 0), target.size()), WrapDisplayBitmap(bitmap));
    }
    p.drawImage(target.topLeft(), cache.image);
}

void ViewerPainter::Paint(const ViewerScene& s, QImage& target) {
    const Rect& v = s.layout.viewer;
    if (v.Empty())
        return;
    const QSize size(v.Width(), v.Height());
    if (target.size() != size || target.format() != QImage::Format_RGB32)
        target = QImage(size, QImage::Format_RGB32);

    QPainter p(&target);
    p.translate(-v.left, -v.top);

    const Rect left{v.left, v.top, s.layout.imagesRight, v.bottom};
    const Rect right{s.layout.imagesRight, v.top, v.right, v.bottom};
    struct Side {
        const Rect& rect;
        const QImage& picture;
        ColorRef colour;
        ScaledPicture& cache;
    };
    for (const Side& side : {Side{left, s.leftBackground, s.leftColour, m_Left},
                             Side{right, s.rightBackground, s.rightColour, m_Right}}) {
        if (side.rect.Empty())
            continue;
        if (side.picture.isNull()) {
            p.fillRect(ToQRect(side.rect), ToQColor(side.colour));
        } else {
            const QSize sideSize(side.rect.Width(), side.rect.Height());
            p.drawImage(QPoint(side.rect.left, side.rect.top),
                        Stretched(side.picture, sideSize, side.cache));
        }
    }
    if (!s.thirdRect.Empty())
        p.fillRect(ToQRect(s.thirdRect), ToQColor(s.thirdColour));

    PaintLines(p, s);
    if (s.crossesVisible)
        PaintCrosses(p, s);
    PaintSelectionFrames(p, s);

    const PanoramicGeometry& g = s.panoramicGeometry;
    if (s.panoramic != nullptr && !s.panoramic->Empty() && !g.image.Empty())
        DrawKept(p, *s.panoramic, g.image, m_Panoramic);
    if (s.panoramic != nullptr && s.curvePicture != nullptr && !s.curvePicture->Empty() &&
        !s.curveFrame.Empty())
        DrawKept(p, *s.curvePicture, s.curveFrame, m_Curve);
    if (s.volumeOfInterestStep) {
        PaintHatching(p, g);
        PaintGuides(p, g);
        if (s.frame.shown)
            PaintFrame(p, s.frame);
    }
    if (s.volumeShown)
        PaintVolumeOverlays(p, s);
    if (s.markerShown) {
        p.setPen(QPen(ToQColor(s.markerColour), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(ToPolygon(s.marker));
    }
}

}  // namespace zor::viewer

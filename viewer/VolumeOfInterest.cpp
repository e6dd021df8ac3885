#include "viewer/VolumeOfInterest.h"

#include <algorithm>
#include <cstdlib>

namespace zor::viewer {

namespace {

/// Half of `v` rounded down, also for negative values.
int FloorHalf(int v) {
    return (v - (v < 0 ? 1 : 0)) / 2;
}

}  // namespace

void VolumeOfInterest::SetGeometry(const PanoramicGeometry& geometry) {
    const bool moved = geometry.image != m_Geometry.image ||
                       geometry.imageWidth != m_Geometry.imageWidth ||
                       geometry.imageHeight != m_Geometry.imageHeight;
    m_Geometry = geometry;
    if (!m_HasFrame || !moved)
        return;
    // The image rectangle is what the trajectory reads, so it stays; only its picture moves.
    const Point topLeft = ToScreen({m_Image.left, m_Image.top});
    const Point bottomRight = ToScreen({m_Image.right, m_Image.bottom});
    m_Screen = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void VolumeOfInterest::Reset() {
    const Rect& usable = m_Geometry.usable;
    const int width = static_cast<int>(0.14f * static_cast<float>(m_Geometry.pane.Width()));
    m_Screen.left = FloorHalf(usable.left + usable.right - width);
    m_Screen.right = m_Screen.left + width;
    // The usable rows are the band only when the Y axis can move; otherwise the whole image.
    m_Screen.top = m_Geometry.rowsLimited ? usable.top : m_Geometry.image.top;
    m_Screen.bottom = m_Geometry.rowsLimited ? usable.bottom : m_Geometry.image.bottom;
    m_HandleMask = m_Geometry.rowsLimited ? kInitialHandleMask : 0;
    m_Grabbed = Edge::None;
    m_HasFrame = true;
    StoreImageRect();
}

FrameCorners VolumeOfInterest::Corners() const {
    const Rect& r = m_Screen;
    return {Point{r.left, r.top}, Point{r.right, r.top}, Point{r.right, r.bottom},
            Point{r.left, r.bottom}};
}

std::array<HandlePoint, 8> VolumeOfInterest::Handles() const {
    const std::array<Point, 8> points = FrameHandlePoints(Corners());
    std::array<HandlePoint, 8> handles;
    for (std::size_t i = 0; i < points.size(); ++i)
        handles[i] = {points[i], (m_HandleMask & (1u << i)) != 0};
    return handles;
}

Point VolumeOfInterest::ToImage(Point screen) const {
    const Rect& d = m_Geometry.image;
    if (d.Empty())
        return {};
    return {static_cast<int>(static_cast<double>(screen.x - d.left) / d.Width() *
                             m_Geometry.imageWidth),
            static_cast<int>(static_cast<double>(screen.y - d.top) / d.Height() *
                             m_Geometry.imageHeight)};
}

Point VolumeOfInterest::ToScreen(Point image) const {
    const Rect& d = m_Geometry.image;
    if (m_Geometry.imageWidth <= 0 || m_Geometry.imageHeight <= 0)
        return {d.left, d.top};
    return {
        static_cast<int>(static_cast<double>(image.x) / m_Geometry.imageWidth * d.Width()) + d.left,
        static_cast<int>(static_cast<double>(image.y) / m_Geometry.imageHeight * d.Height()) +
            d.top};
}

bool VolumeOfInterest::Hit(Point p) const {
    if (!m_HasFrame)
        return false;
    const Rect& r = m_Screen;
    const bool onFrame = p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
    return onFrame || EdgeAt(p) != Edge::None;
}

VolumeOfInterest::Edge VolumeOfInterest::EdgeAt(Point p) const {
    if (!m_Geometry.rowsLimited || m_Geometry.scale <= 0.0f)
        return Edge::None;
    const Rect& r = m_Screen;
    // Within half the width of the centre, compared in doubled units to stay exact.
    if (std::abs(2 * p.x - r.left - r.right) > r.Width())
        return Edge::None;
    const int reach = static_cast<int>(50.0 / m_Geometry.scale);
    if (std::abs(p.y - r.top) <= reach)
        return Edge::Top;
    if (std::abs(p.y - r.bottom) <= reach)
        return Edge::Bottom;
    return Edge::None;
}

void VolumeOfInterest::Press(Point p) {
    m_Grabbed = EdgeAt(p);
    FollowX(p.x);
    if (m_Geometry.rowsLimited && m_Grabbed == Edge::None)
        CentreOnY(p.y);
    StoreImageRect();
}

void VolumeOfInterest::Drag(Point p) {
    FollowX(p.x);
    if (m_Geometry.rowsLimited) {
        switch (m_Grabbed) {
            case Edge::Top:
                MoveTop(p.y);
                break;
            case Edge::Bottom:
                MoveBottom(p);
                break;
            case Edge::None:
                CentreOnY(p.y);
                break;
        }
    }
    StoreImageRect();
}

void VolumeOfInterest::FitToUsableRows() {
    m_Screen.top = m_Geometry.usable.top;
    m_Screen.bottom = m_Geometry.usable.bottom;
    StoreImageRect();
}

void VolumeOfInterest::FollowX(int x) {
    const Rect& usable = m_Geometry.usable;
    const int width = m_Screen.Width();
    const int lo = usable.left + width / 2;
    // For an odd width the right limit keeps the far edge on the usable right, not past it.
    const int hi = usable.right - (width - width / 2);
    const int centre = lo <= hi ? std::clamp(x, lo, hi) : (usable.left + usable.right) / 2;
    m_Screen.left = centre - width / 2;
    m_Screen.right = m_Screen.left + width;
}

void VolumeOfInterest::CentreOnY(int y) {
    const Rect& usable = m_Geometry.usable;
    const int height = std::min(m_Screen.Height(), usable.Height());
    const int hi = usable.bottom - height;
    // The bottom stays below the band-limit line, where the lower collimator can follow it, so
    // that the frame shows the rows the exposure will cover.
    const int lo = std::min(std::max(usable.top, BandLimitLine() + 1 - height), hi);
    m_Screen.top = std::clamp(y - height / 2, lo, hi);
    m_Screen.bottom = m_Screen.top + height;
}

void VolumeOfInterest::MoveTop(int y) {
    const int minimum = static_cast<int>(600.0 / m_Geometry.scale);
    const int top = std::max(y, m_Geometry.usable.top);
    if (m_Screen.bottom - top > minimum)
        m_Screen.top = top;
}

void VolumeOfInterest::MoveBottom(Point p) {
    const Rect& usable = m_Geometry.usable;
    if (!m_Geometry.image.Contains(p.x, p.y) && p.y >= usable.bottom) {
        // Just below the image the operator means its usable bottom; further away, nothing.
        if (p.y < usable.bottom + 100)
            m_Screen.bottom = usable.bottom;
        return;
    }
    if (p.y <= BandLimitLine())
        return;
    const int minimum = static_cast<int>(600.0 / m_Geometry.scale);
    const int bottom = std::min(p.y, usable.bottom);
    if (bottom - m_Screen.top > minimum)
        m_Screen.bottom = bottom;
}

int VolumeOfInterest::BandLimitLine() const {
    const float height = static_cast<float>(m_Geometry.image.Height());
    return m_Geometry.image.top + static_cast<int>(height * (1.0f - m_Geometry.bandLimit));
}

void VolumeOfInterest::StoreImageRect() {
    const Point topLeft = ToImage({m_Screen.left, m_Screen.top});
    const Point bottomRight = ToImage({m_Screen.right, m_Screen.bottom});
    m_Image = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

}  // namespace zor::viewer

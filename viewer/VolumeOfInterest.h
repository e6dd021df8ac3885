#pragma once
// The volume of interest marked on the panoramic in the volume-selection step: a frame kept in
// screen pixels while the operator edits it and in panoramic image pixels for the trajectory.
#include <array>
#include <cstdint>

#include "viewer/ViewerGeometry.h"

namespace zor::viewer {

/// One handle point of the frame and whether the handle mask shows it.
struct HandlePoint {
    Point point;
    bool selected = false;
};

/// The volume-of-interest selection: its frame on screen and in panoramic image pixels, the
/// handles drawn around it and the editing rules of a press, a drag and a double click.
/// User-interface thread.
class VolumeOfInterest {
public:
    /// A (minimum, maximum) pair of the selection.
    struct Range {
        double minimum;
        double maximum;
    };
    /// The three pairs the selection is created with; the editing rules below do not read them.
    static constexpr std::array<Range, 3> kRanges{{{50.0, 200.0}, {25.0, 200.0}, {50.0, 200.0}}};

    /// Where the panoramic is drawn, its size in pixels and its usable rectangle. A frame already
    /// placed keeps its image rectangle; its screen rectangle is mapped again when the image
    /// moved or changed size on screen.
    void SetGeometry(const PanoramicGeometry& geometry);
    const PanoramicGeometry& Geometry() const { return m_Geometry; }

    /// The initial frame: width trunc(0.14 x P's width) centred on the usable columns, the
    /// usable rows (the whole image height unless the Y axis can move) and the handle mask
    /// 0xE7 when the Y axis can move, else 0.
    void Reset();
    /// True once Reset has run.
    bool HasFrame() const { return m_HasFrame; }

    /// The frame on screen (client coordinates) and in panoramic image pixels; right and
    /// bottom are the far edges.
    const Rect& ScreenRect() const { return m_Screen; }
    const Rect& ImageRect() const { return m_Image; }
    /// Handle bits in FrameHandle order.
    std::uint32_t HandleMask() const { return m_HandleMask; }
    /// The corners in drawing order: top-left, top-right, bottom-right, bottom-left.
    FrameCorners Corners() const;
    /// The eight handle points in FrameHandle order with the mask's choice.
    std::array<HandlePoint, 8> Handles() const;

    /// Screen to image pixels: trunc((screen - image left) / drawn width x image width), and
    /// likewise with top, drawn height and image height.
    Point ToImage(Point screen) const;
    /// Image pixels to screen: trunc(image / image width x drawn width) + image left, likewise.
    Point ToScreen(Point image) const;

    /// True when `p` lies on the frame or, with the Y axis movable, near enough to its top or
    /// bottom edge to grab it.
    bool Hit(Point p) const;

    /// Button down at `p`: grabs the top or bottom edge when the Y axis can move and `p` is
    /// near one (the top wins), then moves the frame as Drag does.
    void Press(Point p);
    /// Button held at `p`: the frame's centre follows x within the usable columns; with the Y
    /// axis movable the grabbed edge follows y, or with no edge grabbed the frame is centred
    /// on y within the usable rows. The width never changes.
    void Drag(Point p);
    /// Button up: the grabbed edge is let go.
    void Release() { m_Grabbed = Edge::None; }
    /// Double click: the frame spans the usable rows.
    void FitToUsableRows();

private:
    enum class Edge { None, Top, Bottom };

    Edge EdgeAt(Point p) const;
    void FollowX(int x);
    void CentreOnY(int y);
    void MoveTop(int y);
    void MoveBottom(Point p);
    int BandLimitLine() const;
    void StoreImageRect();

    PanoramicGeometry m_Geometry;
    Rect m_Screen;
    Rect m_Image;
    std::uint32_t m_HandleMask = 0;
    Edge m_Grabbed = Edge::None;
    bool m_HasFrame = false;
};

}  // namespace zor::viewer

#pragma once
// Paints the viewer area (backgrounds, separators, crosses, panoramic and its overlays) into one
// off-screen image that the main window copies to the screen in a single blit.
#include <QColor>
#include <QImage>
#include <cstdint>
#include <vector>

#include "viewer/ViewImage.h"
#include "viewer/ViewerGeometry.h"

class QPainter;

namespace zor::viewer {

/// A colour as a COLORREF, 0x00BBGGRR (0x0000C8 is red 200).
using ColorRef = std::uint32_t;
/// The Qt colour of a COLORREF.
inline QColor ToQColor(ColorRef c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

/// The volume-of-interest frame drawn in the volume-of-interest step.
struct FrameOverlay {
    bool shown = false;
    FrameCorners corners;  ///< top-left, top-right, bottom-right, bottom-left
    std::uint32_t handleMask = kInitialHandleMask;  ///< bits in FrameHandle order
};

/// Everything one repaint needs, in client coordinates of the main window. The pointers are
/// borrowed for the paint only; null bitmaps are skipped.
struct ViewerScene {
    ViewerLayout layout;
    bool panoramicEnlarged = false;
    bool crossesOverPanoramic = false;
    int crossCount = 0;  ///< n
    int crossRows = 1;   ///< g

    // Backgrounds: left of xr and right of it, each its picture stretched or, when the picture
    // is null, its colour; then `thirdRect` in `thirdColour`.
    QImage leftBackground;
    QImage rightBackground;
    ColorRef leftColour = 0xFFFFFF;
    ColorRef rightColour = 0xFFFFFF;
    Rect thirdRect;
    ColorRef thirdColour = 0xFFFFFF;
    /// The top line, the panoramic's edges and the cross separators (1 px, solid).
    ColorRef lineColour = 0x000000;

    // Crosses: slot i holds cross i's display bitmap; frames mark selected positions.
    bool crossesVisible = false;
    std::vector<const DisplayBitmap*> crosses;
    std::vector<bool> selectedPositions;  ///< by position index (0 .. 50)
    double centre = 0.5;                  ///< centre fraction of the crosses
    double rangeValue = 0.0;              ///< above 0: cross i is shown in cell n - 1 - i

    // The panoramic, stretched into `panoramicGeometry.image`. Leave it null while the crosses
    // cover the panoramic, or it is drawn over them.
    const DisplayBitmap* panoramic = nullptr;
    PanoramicGeometry panoramicGeometry;
    /// The volume-of-interest step: hatching outside the usable part, guide lines, the frame.
    bool volumeOfInterestStep = false;
    FrameOverlay frame;

    // A volume is shown: allowed range, the tinted span of the shown crosses, the marker.
    bool volumeShown = false;
    int allowedFirstX = 0;  ///< screen x of the first allowed position
    int allowedLastX = 0;
    int spanLeftX = 0;  ///< the marker's two screen x values
    int spanRightX = 0;
    bool markerShown = false;  ///< also in the volume-of-interest step, for its frame
    FrameCorners marker;       ///< the rotated marker rectangle's corners
    ColorRef markerColour = 0xFFFFFF;

    /// The curve picture (the arch from above), stretched into `curveFrame` whenever the
    /// panoramic is drawn; the marker lies on it.
    const DisplayBitmap* curvePicture = nullptr;
    Rect curveFrame;
};

/// Paints a ViewerScene. Keeps the stretched background pictures and panoramic between paints,
/// so one painter serves one window; user-interface thread (or any single thread).
class ViewerPainter {
public:
    /// Paints `scene` into `target`, which becomes (or stays) a Format_RGB32 image of V's size
    /// with V's top-left corner at its (0, 0). Nothing is drawn for an empty V.
    void Paint(const ViewerScene& scene, QImage& target);

private:
    struct ScaledPicture {
        qint64 key = 0;
        QSize size;
        QImage image;
    };
    const QImage& Stretched(const QImage& picture, const QSize& size, ScaledPicture& cache);
    void DrawKept(QPainter& p, const DisplayBitmap& bitmap, const Rect& place,
                  ScaledPicture& cache);

    ScaledPicture m_Left;
    ScaledPicture m_Right;
    ScaledPicture m_Panoramic;  ///< keyed by the display bitmap's stamp
    ScaledPicture m_Curve;
};

/// The cell a cross is framed in: cell i, or n - 1 - i when the range value is above 0.
int FrameCellOfCross(int cross, int crossCount, double rangeValue);
/// The position index whose selection flag frames cross i: trunc(centre x 50 - 1.0) -
/// trunc(n / 2) + i.
int PositionOfCross(int cross, int crossCount, double centre);

/// A QImage over a display bitmap's pixels without copying (Format_RGB32); valid while the
/// bitmap keeps its storage. Null for an empty bitmap.
QImage WrapDisplayBitmap(const DisplayBitmap& bitmap);

}  // namespace zor::viewer

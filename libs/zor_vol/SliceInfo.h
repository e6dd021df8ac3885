#pragma once
// The slice record of the volume library.
#include <cstdint>

/// Geometry of one cross-section plane in device coordinates (mm, radians), filled by
/// `VolumeClass::SliceInfo_Extract`. A plain record: copied freely, owned by its user.
struct SliceInfo {
    double CenterX = 0.0;  ///< centre of the plane on the volume's mid height, device x (mm)
    double CenterY = 0.0;  ///< device y (mm)
    double Rot1 = 0.0;  ///< rotation of the plane about the vertical, relative to the volume (rad)
    double Rot2 = 0.0;  ///< azimuth of the plane's column direction in device coordinates (rad)
    double RotY =
        0.0;  ///< tilt of the plane about a horizontal axis; always 0 (planes are vertical)
    int32_t PanIndex = -1;  ///< kept by the caller: panoramic column of the centre, -1 without one
    // Volume base rectangle: voxel corners (0,0), (nx-1,0), (0,ny-1), (nx-1,ny-1), device x/y.
    double VolTopLeftX = 0.0, VolTopLeftY = 0.0;
    double VolTopRightX = 0.0, VolTopRightY = 0.0;
    double VolBottomLeftX = 0.0, VolBottomLeftY = 0.0;
    double VolBottomRightX = 0.0, VolBottomRightY = 0.0;
    // Plane corners: top/bottom row, first/last column. The plane is vertical, so top and bottom
    // corners share x/y; SliceTop/BottomZ below give their heights.
    double SliceTopLeftX = 0.0, SliceTopLeftY = 0.0;
    double SliceTopRightX = 0.0, SliceTopRightY = 0.0;
    double SliceBottomLeftX = 0.0, SliceBottomLeftY = 0.0;
    double SliceBottomRightX = 0.0, SliceBottomRightY = 0.0;
    float SliceTopZ = 0.0f;     ///< device z of the first row (mm)
    float SliceBottomZ = 0.0f;  ///< device z of the last row (mm)
};
static_assert(sizeof(SliceInfo) == 184, "SliceInfo keeps the library's record size");

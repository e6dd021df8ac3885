#pragma once
// An 8 × 24 × 20 volume seen by a 0.3 mm detector of `cols` × `rows`: small enough for exact
// sums over every voxel and ray.
#include <cmath>

#include "zor_r3d/Trajectory.h"

inline zor_r3d::Trajectory SmallTrajectory(int cols = 64, int rows = 30) {
    zor_r3d::Trajectory t{.CentreY = -40.0, .AxisAngleRad = M_PI, .DetCols = cols, .DetRows = rows};
    t.Order = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    t.Nx = 8, t.Ny = 24, t.Nz = 20;
    t.Dy = t.Dz = 0.3;  // Dx stays 0.7
    t.PitchU = t.PitchV = 0.3;
    return t;
}

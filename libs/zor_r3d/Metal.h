#pragma once
// Metal in the volume of interest: amalgam and implants absorb so strongly that the sharp edges
// of their shadows, filtered and backprojected from 11 views, streak across every plane. Their
// shadows are bridged in the projections before the detail is backprojected again.
#include <vector>

#include "zor_r3d/FdkCore.h"
#include "zor_r3d/Trajectory.h"

namespace zor_r3d {

/// Voxels of `mu` (volume grid of `t`, index ((i*ny)+j)*nz+k) above `threshold` (1/mm): `mask`
/// gets 1 there, 0 elsewhere; returns the voxel columns i*ny + j that hold any.
std::vector<int> FindMetal(const Trajectory& t, const std::vector<float>& mu, float threshold,
                           std::vector<unsigned char>& mask);

/// Replaces the pixels of view `v` (line integrals, rows × cols row-major) that the metal of
/// `mask` (in `columns`) shadows by the straight line between the unshadowed pixels on either
/// side, row by row; a shadow reaching the detector's edge takes the value beside it.
void BridgeMetalShadow(const Trajectory& t, const GridMap& map,
                       const std::vector<unsigned char>& mask, const std::vector<int>& columns,
                       int v, float* view);

}  // namespace zor_r3d

#pragma once
// Edge-preserving smoothing of a reconstructed volume: descent on its total variation.
#include <vector>

#include "zor_r3d/Parallel.h"
#include "zor_r3d/Trajectory.h"

namespace zor_r3d {

/// `iterations` steps of descent on the total variation of `mu` (1/mm, on the volume grid of
/// `t`, index ((i*ny)+j)*nz+k; differences weighted by the voxel pitches). Each step moves a
/// voxel by at most about 4 × `step` × `epsilon`; `epsilon` (1/mm) is the contrast below which
/// differences count as noise and are smoothed like a quadratic would, while larger steps
/// (edges) are kept. Values stay >= 0. Work on all cores; false when cancelled.
bool SmoothTotalVariation(const Trajectory& t, int iterations, float step, float epsilon,
                          std::vector<float>& mu, ProgressReporter& progress, double from,
                          double to);

}  // namespace zor_r3d

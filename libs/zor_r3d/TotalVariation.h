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

/// The same on the volume with `bin` × `bin` voxels of each cross-section merged (a remainder
/// at the far edges is left as it is): the change those steps make is interpolated back
/// bilinearly and added, so streak patterns a few voxels wide are flattened while the finer
/// detail stays. A cross-section narrower than `bin` voxels is left as it is. False when
/// cancelled.
bool SmoothTotalVariationMerged(const Trajectory& t, int bin, int iterations, float step,
                                float epsilon, std::vector<float>& mu, ProgressReporter& progress,
                                double from, double to);

}  // namespace zor_r3d

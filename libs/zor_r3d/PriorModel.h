#pragma once
// Coarse model of everything the rays cross, used to take the anatomy outside the volume of
// interest out of the projections before the fine reconstruction.
#include <vector>

#include "zor_r3d/FdkCore.h"
#include "zor_r3d/Parallel.h"
#include "zor_r3d/Trajectory.h"

namespace zor_r3d {

/// Geometry of the coarse model: a large grid around the volume of interest (aligned with it)
/// seen by a binned detector, and the SIRT normalisers. Depends on the trajectory only.
struct PriorGeometry {
    Trajectory Binned;  ///< the trajectory with the detector binned Bin × Bin
    int BinU = 4, BinV = 4;
    int Subsets = 4;             ///< ordered subsets: view v belongs to subset v % Subsets
    GridMap Map;                 ///< coarse grid on the binned detector
    std::vector<float> RowNorm;  ///< [view][pixel] 1 / ray length through the grid (0: none)
    std::vector<float>
        ColumnNorm;  ///< [subset][voxel] 1 / summed weights of the rays it meets (0: none)
};

/// Sets the binning, the binned trajectory and the coarse grid of `g` (not the map and the
/// normalisers): what BuildPriorGeometry builds, known before anything is allocated.
void PlanPriorGeometry(const Trajectory& t, double coarseMm, double halfSizeMm, int binU, int binV,
                       int subsets, PriorGeometry& g);
/// Builds the coarse grid (pitch `coarseMm`, `halfSizeMm` on each side of the volume centre),
/// the detector binned `bin` × `bin` and the normalisers. False on an invalid trajectory or
/// when cancelled.
bool BuildPriorGeometry(const Trajectory& t, double coarseMm, double halfSizeMm, int binU, int binV,
                        int subsets, PriorGeometry& g, ProgressReporter& progress, double from,
                        double to);

/// Averages Bin × Bin pixels of full-size line integrals (rows × cols) into the binned view.
void BinView(const PriorGeometry& g, const Trajectory& full, const float* view, float* binned);

/// `passes` of OS-SART (ordered subsets of views, positivity, voxels that an unattenuated ray
/// crosses held at 0) on the coarse grid from the binned line integrals (one vector per view,
/// index = view), starting from 0. Result [((i*ny)+j)*nz+k]. False when cancelled.
bool SolveCoarse(const PriorGeometry& g, const std::vector<std::vector<float>>& binned, int passes,
                 std::vector<float>& model, ProgressReporter& progress, double from, double to);

/// Line integrals of the coarse model per view on the full-size detector (bilinear from the
/// binned detector). False when cancelled.
bool ProjectModel(const PriorGeometry& g, const Trajectory& full, const std::vector<float>& model,
                  std::vector<std::vector<float>>& views, ProgressReporter& progress, double from,
                  double to);

/// Adds the coarse model, sampled trilinearly, to voxel column (i, j) of the volume grid of `t`
/// (out[k], k < t.Nz). The model grid shares the volume's centre and axes.
void AddModelColumn(const PriorGeometry& g, const Trajectory& t, const std::vector<float>& model,
                    int i, int j, float* out);

}  // namespace zor_r3d

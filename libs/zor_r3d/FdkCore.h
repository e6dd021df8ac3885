#pragma once
// Filtered backprojection for the short-scan circular cone-beam geometry of a Trajectory.
#include <complex>
#include <memory>
#include <vector>

#include "zor_r3d/Fft.h"
#include "zor_r3d/Trajectory.h"

namespace zor_r3d {

/// Everything that depends only on the trajectory: filter, view weights and, per view and
/// voxel column (i, j), the detector column it projects to and its inverse magnification.
/// Built once by prepare; read-only afterwards, so shared by all worker threads.
struct FdkGeometry {
    Trajectory Traj;
    bool TruncationCorrection = true;
    std::unique_ptr<Fft> Transform;
    std::vector<float> Response;    ///< real ramp × window response, FFT size values
    std::vector<float> ViewWeight;  ///< per view: angular step × redundancy weight
    std::vector<float> ColPos;      ///< [view][i*ny + j] detector column (fractional)
    std::vector<float> InvU;        ///< [view][i*ny + j] source distance ratio Sod/(Sod + t)
    std::vector<float> CosWeight;   ///< [row][col] Sod / |ray| on the virtual detector
};

/// Filter window: response × ((1 - window) + window·cos(pi f / f_Nyquist)), 0 ≤ window ≤ 1.
bool BuildFdkGeometry(const Trajectory& t, double window, bool truncationCorrection,
                      FdkGeometry& g);
/// Geometry rows only for voxel slab i (called per slab so prepare can report progress).
void BuildSlabGeometry(FdkGeometry& g, int i);

/// Line integrals (rows × cols, row-major) of one view to filtered values stored column-major
/// (cols × rows) in `filtered`. `scratch` is resized as needed.
void FilterView(const FdkGeometry& g, const std::vector<float>& lineIntegrals,
                std::vector<float>& filtered, std::vector<std::complex<float>>& scratch);

/// Adds the contribution of every view to the voxel column (i, j): acc[k] for k < Nz.
/// With `weighted` the FDK weights apply; without, it is the plain transpose of ProjectColumn.
void BackprojectColumn(const FdkGeometry& g, const std::vector<std::vector<float>>& views,
                       int i, int j, float* acc, bool weighted);
/// Spreads the voxel column values into the column-major views (adjoint of the above).
void ProjectColumn(const FdkGeometry& g, const float* values, int i, int j,
                   std::vector<std::vector<float>>& views);

}  // namespace zor_r3d

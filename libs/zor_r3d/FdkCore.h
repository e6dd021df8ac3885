#pragma once
// Filtered backprojection and a matched footprint projector for the short-scan circular
// cone-beam geometry of a Trajectory.
#include <atomic>
#include <complex>
#include <memory>
#include <vector>

#include "zor_r3d/Fft.h"
#include "zor_r3d/Trajectory.h"

namespace zor_r3d {

/// A voxel grid in device coordinates: voxel (i, j, k) centre at centre + (i-(nx-1)/2)·dx·e1 +
/// (j-(ny-1)/2)·dy·e2 + ((nz-1)/2-k)·dz·ez, e1 at AxisAngle, e2 = e1 turned +90°.
struct GridDesc {
    int Nx = 0, Ny = 0, Nz = 0;
    double Dx = 1, Dy = 1, Dz = 1;
    double CentreX = 0, CentreY = 0, CentreZ = 0, AxisAngle = 0;
};

/// Per view and voxel column (i, j): detector column of the centre, inverse magnification and
/// footprint half-width (columns). Built once; read-only afterwards.
struct GridMap {
    GridDesc Grid;
    std::vector<float> ColPos, InvU, HalfWidth, Chord;  ///< [view][i*ny + j]
};

/// Everything that depends only on the trajectory: filter, view weights and the map of the
/// volume grid. Shared read-only by all worker threads.
struct FdkGeometry {
    Trajectory Traj;
    bool TruncationCorrection = true;
    std::unique_ptr<Fft> Transform;
    std::vector<float> Response;    ///< real ramp × window response, FFT size values
    std::vector<float> ViewWeight;  ///< per view: angular step × redundancy weight
    std::vector<float> CosWeight;   ///< [row][col] Sod / |ray| on the virtual detector
    GridMap Volume;                 ///< the volume of interest
};

GridDesc VolumeGrid(const Trajectory& t);

/// Filter window: response × ((1 - window) + window·cos(pi f / f_Nyquist)), 0 ≤ window ≤ 1.
bool BuildFdkGeometry(const Trajectory& t, double window, bool truncationCorrection,
                      FdkGeometry& g);
/// Fills the map entries of slab i of `map` (called per slab so work can be spread).
void BuildMapSlab(const Trajectory& t, GridMap& map, int i);

/// Line integrals (rows × cols, row-major) of one view to filtered values stored column-major
/// (cols × rows) in `filtered`. `scratch` is resized as needed. Returns false, leaving the
/// result incomplete, as soon as `cancel` (may be null) is set.
bool FilterView(const FdkGeometry& g, const float* lineIntegrals, std::vector<float>& filtered,
                std::vector<std::complex<float>>& scratch,
                const std::atomic<bool>* cancel = nullptr);

/// Adds the contribution of every view to voxel column (i, j) of `map`: acc[k], k < Nz.
/// `weighted` applies the FDK weights; without, the plain backprojection. A voxel wider than a
/// detector column averages the columns it covers (no aliasing of the filtered data).
void BackprojectColumn(const FdkGeometry& g, const GridMap& map,
                       const std::vector<std::vector<float>>& views, int i, int j, float* acc,
                       bool weighted);
/// Adds the line integrals of voxel column (i, j) (values[k], 1/mm) to view `v`, stored
/// row-major (rows × cols), with box footprints in both detector directions: every covered
/// pixel receives value × chord × covered share. Used to check reconstructions against their data.
void ProjectColumn(const Trajectory& t, const GridMap& map, const float* values, int i, int j,
                   int v, float* view);
/// Exact transpose of ProjectColumn: gathers view `v` (row-major) into acc[k].
void BackprojectColumnFootprint(const Trajectory& t, const GridMap& map, const float* view, int i,
                                int j, int v, float* acc);

}  // namespace zor_r3d

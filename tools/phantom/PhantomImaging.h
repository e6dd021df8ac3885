#pragma once
// Images of the phantom: cone-beam projections along a trajectory and the panoramic image.
#include <cstdint>
#include <string>
#include <vector>

#include "phantom/DentalPhantom.h"
#include "zor_r3d/Trajectory.h"

namespace zor::phantom {

/// Exposure of each projection: written into its description and, with PhotonNoise, the
/// source of the quanta each detector pixel counts (Poisson, from Seed). The defaults are the
/// system's technique: 70 kV, 8 mA, 12 s over 11 projections.
struct Exposure {
    int Kv = 70;
    int Ma = 8;
    double Seconds = 12.0 / 11.0;  ///< per projection
    bool PhotonNoise = true;
    unsigned Seed = 20261207;
    /// Quanta an unattenuated pixel counts: 2500 per mAs, growing with kV² (about 21800 for
    /// the defaults), within [50, kFlatValue].
    double FlatQuanta() const;
};

/// Line integrals of every view (index = view), rows × cols row-major, on all cores.
std::vector<std::vector<float>> ProjectViews(const PhantomGrid& grid, const zor_r3d::Trajectory& t);

/// Converts line integrals to detector samples (flat value × e^-p, at least 1).
std::vector<uint16_t> ToDetectorSamples(const std::vector<float>& lineIntegrals);
/// The same with photon noise: each pixel counts Poisson(quanta × e^-p) quanta, scaled so
/// that `quanta` counts give the flat value. `seed` makes the noise repeatable.
std::vector<uint16_t> ToNoisyDetectorSamples(const std::vector<float>& lineIntegrals, double quanta,
                                             unsigned seed);

/// Writes "3DTS_image_projection_<i>.tif" (i = 1..views, file i holding view Order[i-1]) into
/// `folder` (ending with '/'), noisy unless the exposure says otherwise (view v drawn from
/// seed + v). False with a reason in `error` when a file cannot be written.
bool WriteProjections(const PhantomGrid& grid, const zor_r3d::Trajectory& t,
                      const std::string& folder, const Exposure& exposure, std::string* error);

/// Reads the trajectory file, builds the phantom of `kind` and writes the projections.
bool ProjectTrajectoryFile(PhantomKind kind, const std::string& trajectoryPath,
                           const std::string& folder, const Exposure& exposure, std::string* error);

/// Raw panoramic geometry shared by images and LUTs.
struct PanoramicLayout {
    static constexpr int kRawCols = 2693, kRawRows = 1538;
    static constexpr int kMarginLeft = 74, kMarginRight = 10, kMarginTop = 5, kMarginBottom = 5;
    static constexpr int kCols = kRawCols - kMarginLeft - kMarginRight;  // 2609
    static constexpr int kRows = kRawRows - kMarginTop - kMarginBottom;  // 1528
    static constexpr double kRowPitch = 0.078;  ///< mm per row at the curve
    static constexpr double kTopZ = 60.0;       ///< z of raw row 0
    /// Arc length of raw column `raw` on the curve of `phantom`.
    static double ColumnS(const DentalPhantom& phantom, double raw);
    static double ColumnPitch(const DentalPhantom& phantom);
};

/// A 16-bit grey image, rows top first.
struct GreyImage {
    int Width = 0, Height = 0;
    std::vector<uint16_t> Samples;
};

/// The panoramic of the phantom (kCols × kRows, 12-bit values): every column integrates the
/// phantom across the arch at its curve point.
GreyImage RenderPanoramic(const DentalPhantom& phantom, const PhantomGrid& grid);

/// Tissues along the same plane as TrueSlice.
std::vector<Tissue> TrueTissues(const DentalPhantom& phantom, double cx, double cy, double wx,
                                double wy, int columns, int rows, double topZ, double pitch);

/// The true cross-section the volume library would cut: kDimY columns of pitch `pitch` centred
/// on (cx, cy) along direction (wx, wy), `rows` rows from z `topZ` down by `pitch`.
std::vector<float> TrueSlice(const DentalPhantom& phantom, double cx, double cy, double wx,
                             double wy, int columns, int rows, double topZ, double pitch);

}  // namespace zor::phantom

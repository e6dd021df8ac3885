#pragma once
// Comparison of a reconstructed volume with the phantom it was acquired from: what a reader of
// the crosses would judge (shapes, attenuation values, contrast, sharpness along the arch).
#include <cstdint>
#include <string>
#include <vector>

#include "phantom/DentalPhantom.h"

class VolumeClass;

namespace zor::phantom {

/// One cross-section: the phantom's true one and the reconstructed one (both 1/mm, rows × cols)
/// and their normalised cross-correlation. Interior holds, per pixel, the tissue where the
/// pixel lies well inside one tissue (the same across the plane's thickness and 0.3 mm around
/// it in the plane, inside the volume-of-interest cylinder), else Tissue::Air.
struct SliceComparison {
    double Position = 0.0;
    int Width = 0, Height = 0;
    std::vector<float> Truth, Reconstructed;
    std::vector<Tissue> Interior;
    double Ncc = 0.0;
};

/// Cuts the volume at each position (angle 0) and the phantom along the same plane. The truth
/// is averaged along the arch over the thickness of one volume plane (slabSigmaMm 0, the thin
/// truth a reader judges by), or with a Gaussian of slabSigmaMm (a slab truth, for reference).
/// The NCC counts the pixels inside the volume-of-interest cylinder (diameter = the volume's
/// extent along the arch); NaN anywhere makes it NaN.
std::vector<SliceComparison> CompareWithTruth(const DentalPhantom& phantom, VolumeClass& volume,
                                              const std::vector<double>& positions,
                                              double slabSigmaMm = 0.0);

/// Normalised cross-correlation of two equally sized images; NaN when either is constant.
double Ncc(const std::vector<float>& a, const std::vector<float>& b);

/// Reconstructed values in the interior of one tissue, over all compared cross-sections.
struct TissueStats {
    Tissue Kind = Tissue::Air;
    size_t Pixels = 0;
    double TrueMean = 0.0;           ///< 1/mm
    double ReconstructedMean = 0.0;  ///< 1/mm
    double ReconstructedSd = 0.0;    ///< 1/mm, spread over the pixels
    double MeanAbsError = 0.0;       ///< mean |reconstructed - true|, 1/mm
    /// MeanAbsError relative to TrueMean; NaN without pixels.
    double RelativeError() const;
};

/// The figures of one examination against the phantom.
struct QualityMeasures {
    std::vector<double> Positions, NccThin, NccSlab;
    double MeanNccThin = 0.0, MeanNccSlab = 0.0;
    TissueStats Enamel, Dentine, Pulp, Cortical, Trabecular, Canal;
    /// |mean a - mean b| / sqrt((var a + var b) / 2) of the reconstructed interiors; NaN when
    /// a tissue has fewer than 20 pixels (the canal lies behind the premolars only).
    double PulpDentineCnr = 0.0, CanalBoneCnr = 0.0;
    /// Sum of the reconstructed values over the sum of the thin truth's, all compared
    /// cross-sections together: the attenuation the volume holds in all.
    double ValueRatio = 0.0;
};

/// Thin-truth and slab-truth NCC per position, the tissues' values and the contrasts.
QualityMeasures MeasureQuality(const DentalPhantom& phantom, VolumeClass& volume,
                               const std::vector<double>& positions, double slabSigmaMm = 1.0);

/// Reverses the volume along its first axis (the arch): the picture a mirrored chain shows.
void ReverseAlongArch(VolumeClass& volume);

/// Sharpness of the reconstruction, from a 0.4 mm bead (0.5/mm) added to the measured projections
/// at the volume centre: the reconstruction of projections + bead minus that of the projections
/// alone is the system's response to the bead in this very anatomy, noise and nonlinear steps
/// included.
struct Resolution {
    double SliceFwhmMm = 0.0;     ///< slice sensitivity along the arch (viewing direction)
    double AcrossFwhmMm = 0.0;    ///< line spread across the arch, in the cross-section
    double AcrossEdgeMm = 0.0;    ///< 10-90 % width of the edge spread across the arch
    double VerticalEdgeMm = 0.0;  ///< 10-90 % width of the edge spread vertically
};

/// Reconstructs the projections of `workFolder` with and without the bead (in a temporary
/// folder inside it, removed afterwards) with `trajectoryName`. False with a reason in `error`.
bool MeasureResolution(const std::string& workFolder, const std::string& trajectoryName,
                       Resolution& out, std::string* error);

/// Side-by-side picture: for each comparison a row [truth | reconstruction | |difference| |
/// measured interiors], the first three mapped with the truth's range to 16-bit grey, the last
/// with a grey per tissue (enamel white, then dentine, cortical bone, trabecular bone, pulp,
/// canal; black: not counted). Returns width/height through the references.
std::vector<uint16_t> ComparisonMontage(const std::vector<SliceComparison>& c, int& width,
                                        int& height);

}  // namespace zor::phantom

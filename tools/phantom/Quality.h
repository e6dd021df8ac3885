#pragma once
// Comparison of a reconstructed volume with the phantom it was acquired from.
#include <cstdint>
#include <vector>

#include "phantom/DentalPhantom.h"

class VolumeClass;

namespace zor::phantom {

/// One cross-section: the phantom's true one and the reconstructed one (both 1/mm, rows × cols)
/// and their normalised cross-correlation.
struct SliceComparison {
    double Position = 0.0;
    int Width = 0, Height = 0;
    std::vector<float> Truth, Reconstructed;
    double Ncc = 0.0;
};

/// Cuts the volume at each position (angle 0) and the phantom along the same plane. The truth
/// is averaged along the arch over the thickness of one volume plane (slabSigmaMm 0), or with a
/// Gaussian of slabSigmaMm, the slab the reconstruction is built to show. The NCC counts the pixels
/// inside the volume-of-interest cylinder (diameter = the volume's extent along the arch); NaN
/// anywhere makes it NaN.
std::vector<SliceComparison> CompareWithTruth(const DentalPhantom& phantom, VolumeClass& volume,
                                              const std::vector<double>& positions,
                                              double slabSigmaMm = 0.0);

/// Normalised cross-correlation of two equally sized images; NaN when either is constant.
double Ncc(const std::vector<float>& a, const std::vector<float>& b);

/// Side-by-side picture: for each comparison a row [truth | reconstruction], both mapped with
/// the truth's range to 16-bit grey. Returns width/height through the references.
std::vector<uint16_t> ComparisonMontage(const std::vector<SliceComparison>& c, int& width,
                                        int& height);

}  // namespace zor::phantom

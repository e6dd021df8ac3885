#pragma once
// The workloads of the filter benchmarks, shared with their OpenCV anchor (bench/compare).
#include <string>
#include <vector>

#include "plugins/FilterList.h"

namespace zor::bench {

inline constexpr int kCrosses = 48;
inline constexpr int kCrossWidth = 240;
inline constexpr int kCrossHeight = 270;
inline constexpr int kPanoramicWidth = 2693;
inline constexpr int kPanoramicHeight = 1538;
inline constexpr double kGamma = 1.100000023841858;
inline constexpr double kBrightness = 0.1;
inline constexpr double kContrast = 0.2;

/// Loads the plug-ins built with the project; false when OrvixFilters.so is missing.
bool LoadBuiltFilters();
/// A 16-bit test image: smooth anatomy-like gradients, edges and noise.
plugins::FilterImage MakeImage(int width, int height, unsigned seed);
/// The cross chain with unsharp on: the unsharp bundle, gamma 1.1, linear.
std::vector<std::string> CrossChain();
/// The panoramic's treatment: the filter strings of its description.
std::vector<std::string> PanoramicTreatment();
/// Applies `filters` to every source into its destination, the images split across `threads`.
void ApplyAll(const std::vector<std::string>& filters,
              const std::vector<plugins::FilterImage>& sources,
              std::vector<plugins::FilterImage>& destinations, int threads);

}  // namespace zor::bench

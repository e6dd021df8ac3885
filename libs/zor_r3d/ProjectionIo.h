#pragma once
// Projection images "3DTS_image_projection_<i>.tif": 16-bit grey TIFF with a description.
#include <cstdint>
#include <string>
#include <vector>

namespace zor_r3d {

/// Detector value of an unattenuated ray; a sample s stands for the line integral
/// -ln(s / kFlatValue) (samples of 0 are read as 1).
inline constexpr double kFlatValue = 60000.0;

/// "<folder>3DTS_image_projection_<index>.tif", index counted from 1.
std::string ProjectionPath(const std::string& folder, int index);

/// Writes rows top first, uncompressed, with `description` in tag 270. False on any error.
bool WriteGrey16Tiff(const std::string& path, int width, int height,
                     const std::vector<uint16_t>& samples, const std::string& description);
/// Reads a 16-bit single-channel TIFF of exactly width × height (0 = any size: then width and
/// height receive the size). False for a missing, unreadable or differently shaped file and for
/// anything but a regular file; then `*reason` (when given) says why. The file is read, not
/// mapped: truncated while it is read, it gives an error, not SIGBUS.
bool ReadGrey16Tiff(const std::string& path, int& width, int& height,
                    std::vector<uint16_t>& samples, std::string* description = nullptr,
                    std::string* reason = nullptr);

}  // namespace zor_r3d

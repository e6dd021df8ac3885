#pragma once
// A support engineer's view of a panoramic file: why it loads or is refused.
#include <string>

#include "images/ImageSettings.h"

namespace zor::images {

/// Reads the panoramic TIFF at `path` as step 2 would (without waiting or showing anything)
/// and describes it in plain text: the load pre-check, the description form found, the
/// `PanoramicInfo` fields, `ProjectionId`, `NormalisedDescription`, the treatment filter
/// strings, the LUT file looked for under `settings.m_InstallDir` and whether it exists, and
/// the messages the operator would have seen. Ends with "result: ..." .
std::string DescribePanoramic(const std::string& path, const ImageSettings& settings);

}  // namespace zor::images

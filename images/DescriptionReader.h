#pragma once
// Readers of a panoramic's description: the comma form (tag 270) and the Technics form
// (a key=value block inside the XMP packet of tag 700).
#include <string>
#include <string_view>

#include "images/ImageSettings.h"
#include "images/PanoramicInfo.h"

namespace zor::images {

/// Outcome of reading a description into `PanoramicInfo`.
enum class ReadStatus {
    Read,               ///< keys read; continue with the LUT
    NotParsed,          ///< comma form broke the grammar; keys untouched, continue with the LUT
    ProjectionRefused,  ///< projection major number other than 0; the load fails
    Failed,             ///< missing markers or projection numbers; the load fails silently
};

/// Technics lookup of a text value: the first occurrence of `key` (which ends in "=") up to the
/// next CR LF. False when the key is absent or no CR LF follows it.
bool ReadDescriptionValue(std::string_view block, std::string_view key, std::string& out);
/// Technics lookup of an integer: the character after `key` must be a decimal digit; the value
/// is the run of digits (saturating). A sign makes the key count as absent.
bool ReadDescriptionInt(std::string_view block, std::string_view key, int& out);

/// Reads a comma-form description: `NormalisedDescription` becomes the text (cut to whole
/// entries within 999 bytes), the keys are looked up with the comma defaults, then the
/// projection. `settings` give the crop shares.
ReadStatus ReadCommaForm(const std::string& description, const ImageSettings& settings,
                         PanoramicInfo& info);

/// Reads the Technics block found in `xmp` with the Technics defaults, the projection, and
/// builds the comma-form `NormalisedDescription`.
ReadStatus ReadTechnicsForm(std::string_view xmp, const ImageSettings& settings,
                            PanoramicInfo& info);

/// The text strictly between the Technics markers; false when a marker is missing.
bool ExtractTechnicsBlock(std::string_view xmp, std::string_view& block);

}  // namespace zor::images

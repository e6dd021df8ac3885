#pragma once
// Settings and hooks the image layer receives from the application above it.
#include <functional>
#include <string>

namespace zor::images {

/// The application settings the image layer reads (copied from the application object).
struct ImageSettings {
    std::string m_InstallDir;             ///< install directory, no trailing separator needed
    bool m_IsPanoramicLimited = true;     ///< only part of the panoramic width is usable
    int m_PanoramicLimitPercentage = 60;  ///< usable percentage when limited
};

/// Translates a tagged text ("_[...]_"); the default shows the tag's text without delimiters.
using Translate = std::function<std::string(const std::string& tag)>;

/// The tag's own text: "_[Zoom]_" gives "Zoom"; anything else is returned unchanged.
std::string UntranslatedTag(const std::string& tag);

}  // namespace zor::images

#pragma once
// INI look-ups with the semantics of the private profile functions.
#include <filesystem>
#include <string>

namespace zor::platform {

/// Sections and keys case-insensitive, ';' comment lines, values trimmed of surrounding blanks,
/// "\r\n" accepted. A missing file, section or key gives the default. Integers are read as
/// optional blanks and sign, then leading decimal digits (a value without digits is 0).
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::filesystem::path& file);
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue,
                                    const std::filesystem::path& file);

}  // namespace zor::platform

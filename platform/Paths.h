#pragma once
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zor::platform {

/// A file or folder of the installation: `installDir` followed by each of `pieces` as a
/// folder or file name, e.g. InstallPath(dir, {"config_zor", "zor_manager", "info.bmp"}).
std::filesystem::path InstallPath(const std::filesystem::path& installDir,
                                  std::initializer_list<std::string_view> pieces);

/// Turns every backslash of a system relative path into '/'.
std::string ToPosixPath(std::string path);

}  // namespace zor::platform

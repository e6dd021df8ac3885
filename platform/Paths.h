#pragma once
#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace zor::platform {

/// A file or folder of the installation: `installDir` followed by each of `pieces` as a
/// folder or file name, e.g. InstallPath(dir, {"config_zor", "zor_manager", "info.bmp"}).
std::filesystem::path InstallPath(const std::filesystem::path& installDir,
                                  std::initializer_list<std::string_view> pieces);

}  // namespace zor::platform

#include "platform/Paths.h"

#include <algorithm>

namespace zor::platform {

std::filesystem::path InstallPath(const std::filesystem::path& installDir,
                                  std::initializer_list<std::string_view> pieces) {
    std::filesystem::path path = installDir;
    for (std::string_view piece : pieces)
        path /= piece;
    return path;
}

std::string ToPosixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace zor::platform

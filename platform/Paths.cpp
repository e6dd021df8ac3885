#include "platform/Paths.h"

namespace zor::platform {

std::filesystem::path InstallPath(const std::filesystem::path& installDir,
                                  std::initializer_list<std::string_view> pieces) {
    std::filesystem::path path = installDir;
    for (std::string_view piece : pieces)
        path /= piece;
    return path;
}

}  // namespace zor::platform

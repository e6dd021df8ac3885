#include "platform/Paths.h"

#include <algorithm>

namespace zor::platform {

std::string ToPosixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string JoinRaw(const std::string& base, const std::string& piece) {
    return base + ToPosixPath(piece);
}

std::string JoinWithSeparator(const std::string& base, const std::string& piece) {
    const std::string tail = ToPosixPath(piece);
    const size_t start = tail.find_first_not_of('/');
    if (start == std::string::npos)
        return base;  // nothing to append
    if (base.empty())
        return tail.substr(start);
    return base + (base.back() == '/' ? "" : "/") + tail.substr(start);
}

}  // namespace zor::platform

#include "platform/Display.h"

#include <cstdlib>
#include <string_view>

namespace zor::platform {

bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return std::string_view(platform) != "offscreen";
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

}  // namespace zor::platform

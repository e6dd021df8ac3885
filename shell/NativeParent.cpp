#include "shell/NativeParent.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>

namespace zor::shell {

namespace {

bool X11WindowExists(uint64_t id) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || id > UINT32_MAX) return false;
    xcb_connection_t* connection = x11->connection();
    const auto cookie = xcb_get_window_attributes(connection, static_cast<xcb_window_t>(id));
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(connection, cookie, &error);
    const bool exists = reply != nullptr && error == nullptr;
    std::free(reply);
    std::free(error);
    return exists;
}

}  // namespace

QWindow* FindForeignWindow(uint64_t id) {
    if (id == 0 || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    if (!X11WindowExists(id)) return nullptr;
    return QWindow::fromWinId(static_cast<WId>(id));
}

}  // namespace zor::shell

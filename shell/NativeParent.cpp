#include "shell/NativeParent.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>

namespace zor::shell {

namespace {

bool X11WindowExists(uint64_t id) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || id > UINT32_MAX)
        return false;
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

QPoint MapFromScreen(const QWindow& parent, const QPoint& screenPosition) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return screenPosition;
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup);
    if (!screen.data)
        return screenPosition;
    const auto cookie = xcb_translate_coordinates(
        connection, screen.data->root, static_cast<xcb_window_t>(parent.winId()),
        static_cast<int16_t>(screenPosition.x()), static_cast<int16_t>(screenPosition.y()));
    xcb_translate_coordinates_reply_t* reply =
        xcb_translate_coordinates_reply(connection, cookie, nullptr);
    if (!reply)
        return screenPosition;
    const QPoint client(reply->dst_x, reply->dst_y);
    std::free(reply);
    return client;
}

QWindow* FindForeignWindow(uint64_t id) {
    if (id == 0 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    if (!X11WindowExists(id))
        return nullptr;
    return QWindow::fromWinId(static_cast<WId>(id));
}

}  // namespace zor::shell

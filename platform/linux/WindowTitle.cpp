// X11: the title properties are written directly on the toolkit's own connection. Wayland gives a
// client no way to override the title the toolkit sends; offscreen has nothing to show it.
#include "WindowTitle.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace WindowTitle {
namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void keepEmpty(std::uintptr_t nativeWindow) {
    // The offscreen platform answers as an X11 application too, but without a connection.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    const xcb_atom_t utf8String = atomNamed(connection, "UTF8_STRING");
    const xcb_atom_t netWmName = atomNamed(connection, "_NET_WM_NAME");
    if (utf8String == XCB_ATOM_NONE || netWmName == XCB_ATOM_NONE) {
        return;
    }
    // Present and empty rather than deleted: a window manager that finds no title at all shows
    // a made-up one ("Unnamed Window").
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, netWmName, utf8String, 8, 0, "");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, "");
    xcb_flush(connection);
}

} // namespace WindowTitle

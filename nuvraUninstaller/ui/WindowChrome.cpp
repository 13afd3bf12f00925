#include "ui/WindowChrome.h"

#include <QGuiApplication>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

namespace WindowChrome {

void applyFixedChrome(QWindow& window, int contentWidth, int contentHeight) {
    // A title bar and a close button only: no minimise, maximise or full-screen button, and with
    // minimum = maximum size no resize handle either. Window managers read these as the Motif
    // hints and the size hints on X11, as the toplevel's size bounds on Wayland. A dialog rather
    // than a normal window: window managers such as openbox put "Unnamed Window" into the title
    // bar of a normal window whose title is empty, and leave a dialog's empty title empty.
    window.setFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowCloseButtonHint);
    const QSize content(contentWidth, contentHeight);
    window.setMinimumSize(content);
    window.setMaximumSize(content);
    window.resize(content);
    window.setTitle(QString());
}

#if QT_CONFIG(xcb)
namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

void clearX11Title(xcb_connection_t* connection, xcb_window_t window) {
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

} // namespace
#endif

void keepTitleEmpty(QWindow& window) {
#if QT_CONFIG(xcb)
    // The offscreen platform answers as an X11 application too, but without a connection.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->connection()) {
        clearX11Title(x11->connection(), static_cast<xcb_window_t>(window.winId()));
    }
#else
    Q_UNUSED(window);
#endif
    // On Wayland Qt 6.4 sends the toplevel title itself, application name included, with no way
    // to override it from here; on macOS the title is the window's own.
}

} // namespace WindowChrome

#include "ui/WindowChrome.h"

#include "WindowTitle.h"

#include <QGuiApplication>
#include <QWindow>

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

void keepTitleEmpty(QWindow& window) {
    WindowTitle::keepEmpty(static_cast<std::uintptr_t>(window.winId()));
}

} // namespace WindowChrome

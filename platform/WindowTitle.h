#pragma once

#include <cstdint>

// The window's title as the window system shows it. The window toolkit hands the window system
// the application's name in place of an empty title; this puts the empty title back where the
// window system reads it, leaving the application's name (window class, desktop file, settings
// paths) as it is. Call on the main thread once the native window exists.
namespace WindowTitle {

// `nativeWindow` is the toolkit's native handle of the window (QWindow::winId()).
void keepEmpty(std::uintptr_t nativeWindow);

} // namespace WindowTitle

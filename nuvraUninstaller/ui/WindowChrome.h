#pragma once

class QWindow;

// The fixed window's look to the window system: a title bar with a close button and nothing else
// (not resizable, no maximise or minimise button, no full screen), and a title that stays empty.
namespace WindowChrome {

// Call before the window is created: flags, fixed size, empty title.
void applyFixedChrome(QWindow& window, int contentWidth, int contentHeight);

// Call once the native window exists (after QWindow::create), and again after any title change.
// Qt hands the window system the application's name in place of an empty title; this puts the
// empty title back where the window system reads it, leaving the application's name (window
// class, desktop file, settings paths) as it is.
void keepTitleEmpty(QWindow& window);

} // namespace WindowChrome

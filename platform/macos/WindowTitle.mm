// macOS: the title bar stays, with its close button, and shows no title text.
#include "WindowTitle.h"

#import <AppKit/AppKit.h>

namespace WindowTitle {

void keepEmpty(std::uintptr_t nativeWindow) {
    // The toolkit's native handle of a window on macOS is its content view.
    NSView* view = (__bridge NSView*)reinterpret_cast<void*>(nativeWindow);
    view.window.titleVisibility = NSWindowTitleHidden;
}

} // namespace WindowTitle

// "Show in Finder" on macOS: NSWorkspace selects the file in a Finder window.
#include "FileManagerReveal.h"

#import <AppKit/AppKit.h>

namespace FileManagerReveal {

void reveal(const std::string& path) {
    @autoreleasepool {
        NSString* text = [NSString stringWithUTF8String:path.c_str()];
        if (text == nil)
            return;
        NSURL* url = [NSURL fileURLWithPath:text];
        [[NSWorkspace sharedWorkspace]
            activateFileViewerSelectingURLs:[NSArray arrayWithObject:url]];
    }
}

} // namespace FileManagerReveal

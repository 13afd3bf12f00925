// AppKit: the subset our Objective-C++ files use (NSWorkspace, a window's title visibility). Written from Apple's AppKit
// reference.
#pragma once

#import <Foundation/Foundation.h>

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
- (void)activateFileViewerSelectingURLs:(NSArray*)fileURLs;
@end

typedef NSInteger NSWindowTitleVisibility;
enum : NSInteger { NSWindowTitleVisible = 0, NSWindowTitleHidden = 1 };

@interface NSWindow : NSObject
@property NSWindowTitleVisibility titleVisibility;
@end

@interface NSView : NSObject
@property(readonly, weak) NSWindow* window;
@end

// AppKit: the subset our Objective-C++ files use (NSWorkspace, a window's title visibility).
// Written from Apple's AppKit reference, in the shapes of Apple's headers.
#pragma once

#import <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
- (void)activateFileViewerSelectingURLs:(NSArray<NSURL*>*)fileURLs;
@end

typedef NSInteger NSWindowTitleVisibility;
enum : NSInteger { NSWindowTitleVisible = 0, NSWindowTitleHidden = 1 };

@interface NSWindow : NSObject
@property NSWindowTitleVisibility titleVisibility;
@end

@interface NSView : NSObject
// Not a weak reference: AppKit does not retain the window, and it may be gone.
@property(nullable, readonly, unsafe_unretained) NSWindow* window;
@end

NS_ASSUME_NONNULL_END

// AppKit: the subset our Objective-C++ files use (NSWorkspace). Written from Apple's AppKit
// reference.
#pragma once

#import <Foundation/Foundation.h>

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
- (void)activateFileViewerSelectingURLs:(NSArray*)fileURLs;
@end

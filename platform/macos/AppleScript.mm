// The administrator script on macOS: NSAppleScript runs the source, and the system shows its own
// password dialog for "with administrator privileges".
#include "AppleScript.h"

#import <Foundation/Foundation.h>

// Apple documents NSAppleScript as safe to use on the main thread only.
bool AppleScript::systemRequiresMainThread() {
    return true;
}

std::optional<AppleScript::ErrorInfo> AppleScript::systemExecute() const {
    @autoreleasepool {
        NSString* source = [NSString stringWithUTF8String:source_.c_str()];
        NSAppleScript* script = source != nil ? [[NSAppleScript alloc] initWithSource:source] : nil;
        if (script == nil) {
            return ErrorInfo{"Could not create the script.", 1};
        }
        NSDictionary<NSString*, id>* errorInfo = nil;
        if ([script executeAndReturnError:&errorInfo] != nil) {
            return std::nullopt;
        }
        // A dismissed password dialog arrives as -128 "User canceled.", like any other error:
        // the message and number are passed on as the system gave them.
        ErrorInfo error;
        id message = [errorInfo objectForKey:NSAppleScriptErrorMessage];
        if ([message isKindOfClass:[NSString class]]) {
            if (const char* text = [(NSString*)message UTF8String]) {
                error.message = std::string(text);
            }
        }
        id number = [errorInfo objectForKey:NSAppleScriptErrorNumber];
        if ([number isKindOfClass:[NSNumber class]]) {
            error.number = [(NSNumber*)number longValue];
        }
        return error;
    }
}

// Foundation: the subset our Objective-C++ files use (root object, strings, numbers, arrays,
// dictionaries, URLs, NSAppleScript). Written from Apple's Foundation reference; compiled with
// automatic reference counting, like the real build.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// objc.h (64-bit Intel; arm64 makes BOOL a bool)
typedef signed char BOOL;
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#define nil nullptr

typedef long NSInteger;
typedef unsigned long NSUInteger;

@class NSString;

__attribute__((objc_root_class))
@interface NSObject
+ (instancetype)alloc;
+ (Class)class;
- (instancetype)init;
- (BOOL)isKindOfClass:(Class)aClass;
@end

@interface NSString : NSObject
+ (instancetype)stringWithUTF8String:(const char*)nullTerminatedCString;
@property(readonly) const char* UTF8String;
@end

@interface NSNumber : NSObject
@property(readonly) long longValue;
@property(readonly) NSInteger integerValue;
@end

@interface NSArray : NSObject
+ (instancetype)arrayWithObject:(id)anObject;
@property(readonly) NSUInteger count;
@end

@interface NSDictionary : NSObject
- (id)objectForKey:(id)aKey;
@end

@interface NSURL : NSObject
+ (NSURL*)fileURLWithPath:(NSString*)path;
@end

@interface NSAppleEventDescriptor : NSObject
@end

// The keys of the error dictionary NSAppleScript fills in.
extern NSString* const NSAppleScriptErrorMessage;
extern NSString* const NSAppleScriptErrorNumber;

@interface NSAppleScript : NSObject
- (instancetype)initWithSource:(NSString*)source;
- (NSAppleEventDescriptor*)executeAndReturnError:(NSDictionary**)errorInfo;
@end

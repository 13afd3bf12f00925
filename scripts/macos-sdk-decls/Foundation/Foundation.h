// Foundation: the subset our Objective-C++ files use (root object, strings, numbers, arrays,
// dictionaries, URLs). Written from Apple's Foundation reference, in the shapes of
// Apple's headers: lightweight generics, nullability (non-null unless marked), C linkage for the
// exported constants. Compiled with automatic reference counting, like the real build.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// objc.h: the compiler says which BOOL the target's runtime uses (bool on arm64, signed char on
// 64-bit Intel), exactly as Apple's header honours it.
#if __OBJC_BOOL_IS_BOOL
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#define nil nullptr

#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#ifdef __cplusplus
#define FOUNDATION_EXPORT extern "C"
#else
#define FOUNDATION_EXPORT extern
#endif

typedef long NSInteger;
typedef unsigned long NSUInteger;

NS_ASSUME_NONNULL_BEGIN

@class NSString;

__attribute__((objc_root_class))
@interface NSObject
+ (instancetype)alloc;
+ (Class)class;
- (instancetype)init;
- (BOOL)isKindOfClass:(Class)aClass;
@end

@interface NSString : NSObject
+ (nullable instancetype)stringWithUTF8String:(const char*)nullTerminatedCString;
@property(nullable, readonly) const char* UTF8String;
@end

@interface NSNumber : NSObject
@property(readonly) long longValue;
@property(readonly) NSInteger integerValue;
@end

@interface NSArray<__covariant ObjectType> : NSObject
+ (instancetype)arrayWithObject:(ObjectType)anObject;
@property(readonly) NSUInteger count;
@end

@interface NSDictionary<__covariant KeyType, __covariant ObjectType> : NSObject
- (nullable ObjectType)objectForKey:(KeyType)aKey;
@end

@interface NSURL : NSObject
+ (NSURL*)fileURLWithPath:(NSString*)path;
@end

NS_ASSUME_NONNULL_END

// Carbon, HIToolbox Text Input Source Services (TextInputSources.h): the subset our Mac files use.
// Written from Apple's Text Input Source Services reference.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

NUVRA_DECL_EXTERN_C_BEGIN

// CarbonCore MacErrors.h
enum { paramErr = -50 };

typedef struct __TISInputSource* TISInputSourceRef;

CFTypeID TISInputSourceGetTypeID(void);

extern const CFStringRef kTISPropertyInputSourceID;
extern const CFStringRef kTISPropertyBundleID;
extern const CFStringRef kTISPropertyInputSourceIsEnabled;
extern const CFStringRef kTISPropertyInputSourceIsSelectCapable;

// The value belongs to the source (Get rule): never released by the caller.
void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey);
CFArrayRef TISCreateInputSourceList(CFDictionaryRef properties, Boolean includeAllInstalled)
    CF_RETURNS_RETAINED;
TISInputSourceRef TISCopyCurrentKeyboardInputSource(void) CF_RETURNS_RETAINED;
OSStatus TISSelectInputSource(TISInputSourceRef inputSource);
OSStatus TISEnableInputSource(TISInputSourceRef inputSource);
OSStatus TISDisableInputSource(TISInputSourceRef inputSource);

NUVRA_DECL_EXTERN_C_END

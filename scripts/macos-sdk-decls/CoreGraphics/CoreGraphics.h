// Core Graphics: the window server session (CGSession.h). Apple's Core Graphics headers declare
// their functions with C linkage (CF_EXTERN_C_BEGIN), so C++ callers link to the C symbol.
#pragma once
#include <CoreFoundation/CoreFoundation.h>

NUVRA_DECL_EXTERN_C_BEGIN

// The caller's window server session, or NULL when it runs outside a GUI session or the window
// server is disabled. The caller releases the dictionary.
CFDictionaryRef CGSessionCopyCurrentDictionary(void) CF_RETURNS_RETAINED;

NUVRA_DECL_EXTERN_C_END

// Core Graphics: the window server session (CGSession.h).
#pragma once
#include <CoreFoundation/CoreFoundation.h>

// The caller's window server session, or NULL when it runs outside a GUI session or the window
// server is disabled. The caller releases the dictionary.
CFDictionaryRef CGSessionCopyCurrentDictionary(void) CF_RETURNS_RETAINED;

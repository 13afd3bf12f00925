#pragma once

// SystemConfiguration: the console user of the dynamic store.

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __SCDynamicStore* SCDynamicStoreRef;

// The name of the user at the console (NULL: nobody, or an error); the caller releases it. A NULL
// store uses a temporary session. uid and gid, when not NULL, receive that user's ids.
CFStringRef SCDynamicStoreCopyConsoleUser(SCDynamicStoreRef store, uid_t* uid,
                                          gid_t* gid) CF_RETURNS_RETAINED;

#ifdef __cplusplus
}
#endif

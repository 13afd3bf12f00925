// sysctl(3) by name: the subset our Mac files use. Written from Apple's sysctl(3) manual.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

NUVRA_DECL_EXTERN_C_BEGIN

int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

NUVRA_DECL_EXTERN_C_END

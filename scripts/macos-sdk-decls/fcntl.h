// <fcntl.h> as macOS declares it: the subset our Mac files use, with Apple's constant values
// (fcntl(2), open(2)). AT_SYMLINK_NOFOLLOW is 0x0020 on macOS, not Linux's 0x100.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

NUVRA_DECL_EXTERN_C_BEGIN

#define F_GETFD 1
#define F_SETFD 2
#define FD_CLOEXEC 1
#define AT_FDCWD -2
#define AT_SYMLINK_NOFOLLOW 0x0020

int fcntl(int fildes, int cmd, ...);

NUVRA_DECL_EXTERN_C_END

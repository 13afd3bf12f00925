// <unistd.h>: the host's POSIX declarations, which macOS shares, plus the Darwin-only names our
// Mac files use, with Apple's values (confstr(3)).
#pragma once

#include_next <unistd.h>

#define _CS_DARWIN_USER_DIR 65536
#define _CS_DARWIN_USER_TEMP_DIR 65537
#define _CS_DARWIN_USER_CACHE_DIR 65538

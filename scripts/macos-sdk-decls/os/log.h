// The unified logging system (os/log.h): the subset our Mac files use. Written from Apple's
// Logging reference. os_log_error is a macro whose format must be a string literal; clang checks
// it with the os_log format rules (privacy annotations such as %{public}s).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

NUVRA_DECL_EXTERN_C_BEGIN

typedef struct os_log_s* os_log_t;
typedef uint8_t os_log_type_t;
enum { OS_LOG_TYPE_DEFAULT = 0x00, OS_LOG_TYPE_INFO = 0x01, OS_LOG_TYPE_DEBUG = 0x02,
       OS_LOG_TYPE_ERROR = 0x10, OS_LOG_TYPE_FAULT = 0x11 };

os_log_t os_log_create(const char* subsystem, const char* category);

// What the macros expand to, declared here so that the format is checked like Apple's.
void nuvra_decl_os_log_with_type(os_log_t log, os_log_type_t type, const char* format, ...)
    __attribute__((format(os_log, 3, 4)));

NUVRA_DECL_EXTERN_C_END

#define os_log_with_type(log, type, format, ...)                                                   \
    nuvra_decl_os_log_with_type(log, type, "" format, ##__VA_ARGS__)
#define os_log_error(log, format, ...)                                                             \
    os_log_with_type(log, OS_LOG_TYPE_ERROR, format, ##__VA_ARGS__)

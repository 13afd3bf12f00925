// <spawn.h> as macOS declares it: the subset our Mac files use. Written from Apple's
// posix_spawn(2), posix_spawnattr_setflags(3) and posix_spawn_file_actions_addclose(3) manuals.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

NUVRA_DECL_EXTERN_C_BEGIN

typedef void* posix_spawnattr_t;
typedef void* posix_spawn_file_actions_t;

// Apple's flag: only the descriptors named by the file actions reach the child.
#define POSIX_SPAWN_CLOEXEC_DEFAULT 0x4000

int posix_spawnattr_getflags(const posix_spawnattr_t* attr, short* flags);
int posix_spawnattr_setflags(posix_spawnattr_t* attr, short flags);
int posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* file_actions, int filedes,
                                     int newfiledes);
int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t* file_actions, int filedes);

NUVRA_DECL_EXTERN_C_END

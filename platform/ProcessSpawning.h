#pragma once

#include <spawn.h>

// The parts of starting a child with posix_spawn that each system spells its own way.
namespace ProcessSpawning {

// The child gets descriptors 0, 1 and 2 and nothing else, so a descriptor that another thread or a
// library opened without close-on-exec never leaks into it. Call after the attribute flags are set
// and after the file actions that place the child's standard streams.
void inheritOnlyStandardStreams(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes);

// A pipe whose two ends are close-on-exec; 0 on success, else -1 with errno set.
int closeOnExecPipe(int ends[2]);

} // namespace ProcessSpawning

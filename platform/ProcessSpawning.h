#pragma once

#include <spawn.h>
#include <sys/types.h>

// The parts of starting a child with posix_spawn that each system spells its own way.
namespace ProcessSpawning {

// The child gets descriptors 0, 1 and 2 and nothing else, so a descriptor that another thread or a
// library opened without close-on-exec never leaks into it. Call after the attribute flags are set
// and after the file actions that place the child's standard streams.
void inheritOnlyStandardStreams(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes);

// A pipe whose two ends are close-on-exec; 0 on success, else -1 with errno set.
int closeOnExecPipe(int ends[2]);

// A close-on-exec descriptor that becomes readable once `child` (a child of ours, not yet reaped)
// has ended, so a wait for it can sit in poll() beside pipes and a deadline: a process descriptor
// on Linux, a kqueue watching the process on macOS. -1 when the child has already ended or none
// can be made; the caller closes it. Reaping stays waitpid's.
int exitNotifier(pid_t child);

} // namespace ProcessSpawning

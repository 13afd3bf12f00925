#pragma once

#include <limits>
#include <string>
#include <sys/types.h>
#include <vector>

// Waiting for events, never for a time: a busy machine makes any deadline too short one day. A
// wait that never ends is ended by the test runner's own timeout, which then names the test.
namespace Waiting {

// Qt's wait handles events until its condition holds; only the test runner's timeout limits it,
// so a busy machine can make a test slow but never make it fail.
inline constexpr int untilItHappens = std::numeric_limits<int>::max();

// Until every one of the processes has ended (any process, not only children; a process that is
// already gone counts as ended).
void untilEnded(const std::vector<pid_t>& pids);

// Until the file at `path` holds `text` (true), or until the process `writer`, when given, has
// ended without writing it (false). Its folder must exist; the file need not yet.
bool untilFileHolds(const std::string& path, const std::string& text, pid_t writer = -1);

} // namespace Waiting

#pragma once

#include <optional>
#include <string>

// A check of a module file before the system's loader maps it. The loader maps a module's
// segments straight from the file, so one cut short (a damaged copy, a disk that filled up while
// it was written) still loads, and the first touch of a page past the file's end kills the
// process with SIGBUS: no message, no log line. Checked first, it is refused with a reason.
namespace LoadableModule {

// Why the module at `path` cannot be loaded whole (for example "cut short: a segment reaches
// past its end"), or none when every segment the loader maps lies within the file. Files that are
// not modules of this system at all are left to the loader, which refuses them with its own
// message.
std::optional<std::string> damage(const std::string& path);

} // namespace LoadableModule

#pragma once

#include <string>

// "Show in Finder": a file-manager window with one file selected. Call on the main thread of a
// running application event loop; it returns at once, so a slow file manager never freezes the
// window.
namespace FileManagerReveal {

// `path` is an absolute file path; whether the file exists is not tested first.
void reveal(const std::string& path);

} // namespace FileManagerReveal

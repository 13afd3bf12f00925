#pragma once

#include <string>

// A small message box of the system's own, for a start that cannot go on: shown without any window
// of ours and without a window session, so a person who opened the application sees why nothing
// else appears. Blocks until the person dismisses it, or for at most `timeoutSeconds`.
namespace AlertDialog {

// False when no box could be shown (no display, no service that shows one).
bool show(const std::string& headline, const std::string& message, int timeoutSeconds);

} // namespace AlertDialog

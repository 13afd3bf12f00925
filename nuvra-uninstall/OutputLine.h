#pragma once

#include <cstdio>
#include <string_view>

// Writes and flushes at once: a management tool follows the output while the run goes on, and
// a line must be out before the next step starts.
void writeOut(std::string_view text, std::FILE* stream = stdout);

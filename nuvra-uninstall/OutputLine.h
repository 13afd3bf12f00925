#pragma once

#include <cstdio>
#include <string_view>

// Writes and flushes at once: a management tool follows the output while the run goes on, and
// a line must be out before the next step starts.
//
// A failed write to standard output (a full disk, a closed pipe) is remembered rather than
// ending a removal half-way; the command then ends with outputFailure() instead of a status that
// would tell a script it got the whole answer.
void writeOut(std::string_view text, std::FILE* stream = stdout);

// `status` unchanged when every write to standard output went through; otherwise 70 (internal
// error) after one sentence on standard error.
int outputFailure(int status);

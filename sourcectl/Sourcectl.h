#pragma once

#include "TextInputSources.h"

#include <ostream>
#include <string>
#include <vector>

// The whole of sourcectl: `args` is the argument vector (element 0 the program path, element 1
// the command word, anything after it ignored). Prints plain UTF-8 lines to `out` and returns
// the exit status, 0 or 1. Reaches input sources only through `sources`.
int runSourcectl(const std::vector<std::string>& args, TextInputSources& sources,
                 std::ostream& out);

#pragma once

#include "CommandLine.h"
#include "ExitStatus.h"

// The two subcommands, run once the account to act for is settled. Output goes to standard
// output; questions and the inventory shown before one go to standard error when standard output
// carries JSON, so that it stays one document or one object per line.
ExitStatus runInventory(const CommandLine& command);
ExitStatus runUninstall(const CommandLine& command);

#pragma once

#include "CommandLine.h"
#include "ExitStatus.h"

// The two subcommands, run once the account to act for is settled. Output goes to standard
// output; the question and the inventory shown before it go to standard error, so that JSON output
// stays one document or one object per line and `run > file` does not hide the question.
ExitStatus runInventory(const CommandLine& command);
ExitStatus runUninstall(const CommandLine& command);
// run --all-users (AllUsersRun.cpp): root only, the account not yet chosen.
ExitStatus runForAllUsers(const CommandLine& command);

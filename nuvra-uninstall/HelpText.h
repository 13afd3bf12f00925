#pragma once

// The text of --help: synopsis, subcommands, options and the exit-status table.
extern const char* const helpText;

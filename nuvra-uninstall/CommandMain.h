#pragma once

// The whole command, from its arguments to its exit status: main() is only this, so that a test
// program can run the very same command with shorter deadlines.
int commandMain(int argc, char** argv);

#pragma once

// The headless half of the application: "--inventory" anywhere among the arguments (exact match)
// runs the preflight scan, prints its summary and one line feed, and the process exits 0. It is
// decided before any GUI object exists, so it works with no display at all.
namespace InventoryMode {

bool isRequested(int argc, char** argv);

// Runs the scan and prints the summary; returns the exit status (always 0).
int run();

} // namespace InventoryMode

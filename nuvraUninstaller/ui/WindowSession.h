#pragma once

// The windowed session, built as a module of its own that the application loads only when it opens
// its window: the inventory mode then never loads the window's libraries (Qt Quick, QML, GUI,
// D-Bus, ICU…), which cost more than the whole scan.
//
// The entry point has C linkage so the loader finds it by this name. The front has already
// claimed the session (foundation/InstanceClaim.h) and installed the crash handlers;
// `activationSocket` is where later starts knock, or -1.
#define NUVRA_WINDOW_SESSION_ENTRY "nuvraWindowSessionMain"

extern "C" int nuvraWindowSessionMain(int argc, char** argv, int activationSocket);

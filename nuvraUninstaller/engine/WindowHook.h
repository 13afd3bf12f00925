#pragma once

// The engine's only way to reach the window: move it aside before the administrator password
// dialog appears and bring it back afterwards. The application shell installs the hook; with none
// installed (inventory mode, tests) both calls do nothing. Both are called on the main thread.
namespace WindowHook {

struct Hook {
    virtual ~Hook() = default;
    virtual void makeRoomForSystemDialog() = 0;
    virtual void recenterWindow() = 0;
};

void install(Hook* hook); // not owned; nullptr removes it
Hook* installed();

} // namespace WindowHook

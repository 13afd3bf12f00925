#pragma once

#include <string>

// When macOS refuses a removal (App Management, App Data, a protected folder), what the person
// reading the warning can do about it depends on who runs the uninstaller: someone at the window
// allows it in System Settings; an administrator behind a management tool deploys a privacy
// preferences profile. The front end says which at start-up, before any removal runs; without it,
// the window's advice.
namespace AccessAdvice {

enum class Audience { windowUser, administrator };

void install(Audience audience);

// The sentences that follow "Could not remove <path>." when the removal was refused.
std::string forRefusedRemoval();

} // namespace AccessAdvice

#pragma once

// The summary the full scene must produce, worked out by hand from sim/README.md and sim/scene:
// - all four application bundles exist;
// - installer receipts: ai.nuvra.macos.pkg, ai.nuvra.inputmethod.pkg = 2 (the decoys'
//   com.example.nuvranotes.pkg, ai.nuvranotes.pkg, com.ai.nuvra.bridge.pkg, ai_nuvra_legacy.pkg
//   are not ours);
// - nuvraInput.app in both Input Methods folders (KanaPad.app is not ours);
// - one input method with one input mode → 2 registered sources (the home copy repeats them);
// - keyboard settings: enabled 2 + selected 2 + history 1 + disabled 1 (nested mention) = 6;
// - data: launch agents 4 (tis-helper.plist, autostart.plist.bak, NuvraAgent.plist,
//   com.nuvra.agent.plist) + group containers 2 + preferences 2 + logs 2 + library folders 11 +
//   temporary remnants 3 = 24;
// - /tmp/nuvra exists;
// - Keychain: ai.nuvra.auth.session, ai.nuvra.auth.pendingPKCE, ai.nuvra.sync.token = 3.
inline constexpr const char* fullSceneSummary =
    "[Apps]\n"
    "  - nuvra.app: /Applications (admin)\n"
    "  - nuvra.app: ~/Applications\n"
    "  - NuvraAgent.app (old version): /Applications (admin)\n"
    "  - NuvraAgent.app (old version): ~/Applications\n"
    "  - Installer receipts: 2 packages (admin)\n"
    "[Input method]\n"
    "  - nuvraInput.app: /Library/Input Methods (admin)\n"
    "  - nuvraInput.app: ~/Library/Input Methods\n"
    "  - Input source registration: 2 sources\n"
    "  - Keyboard settings entries: 6 entries\n"
    "[Data & settings]\n"
    "  - Settings and app data: 24 items\n"
    "  - Temporary files: /tmp/nuvra (admin)\n"
    "  - Sign-in data (Keychain): 3 items\n"
    "[Permissions]\n"
    "  - Microphone and Accessibility records: Will be reset";

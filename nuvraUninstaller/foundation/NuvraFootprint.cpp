#include "foundation/NuvraFootprint.h"

#include "foundation/TargetUser.h"

namespace NuvraFootprint {

const List& productBundleIDs() {
    static const List list{"ai.nuvra.inputmethod.NuvraAgent", "ai.nuvra.inputmethod.NuvraInput"};
    return list;
}

const List& appGroupIDs() {
    static const List list{"group.ai.nuvra.macos.shared", "group.ai.nuvra.shared"};
    return list;
}

const List& legacyLaunchAgentNames() {
    static const List list{"ai.nuvra.tis-helper",        "ai.nuvra.agent.autostart",
                           "ai.nuvra.inputmethod.agent", "ai.nuvra.inputmethod.NuvraAgent",
                           "ai.nuvra.NuvraAgent",        "com.nuvra.agent",
                           "com.nuvra.NuvraAgent"};
    return list;
}

const List& processExactNames() {
    static const List list{"nuvra", "nuvraInput", "NuvraAgent"};
    return list;
}

const List& processPathPatterns() {
    static const List list{"nuvra.app/Contents/MacOS/", "nuvraInput.app/Contents/MacOS/",
                           "NuvraAgent.app/Contents/MacOS/"};
    return list;
}

const List& knownKeychainAccounts() {
    static const List list{"ai.nuvra.auth.session", "ai.nuvra.auth.pendingPKCE"};
    return list;
}

const List& intlDataCacheNames() {
    static const List list{"com.apple.IntlDataCache.le", "com.apple.IntlDataCache.le.kbdx"};
    return list;
}

const List& tccServices() {
    static const List list{"Microphone", "Accessibility", "ListenEvent", "PostEvent"};
    return list;
}

const List& legacyBundleIDs() {
    static const List list{"com.nuvra.agent", "com.nuvra.NuvraAgent"};
    return list;
}

const List& tempDirPrefixes() {
    static const List list{"nuvra-agent-sourcectl-", "nuvraInstaller"};
    return list;
}

const List& hiToolboxKeys() {
    static const List list{"AppleEnabledInputSources", "AppleSelectedInputSources",
                           "AppleInputSourceHistory", "AppleDisabledInputSources"};
    return list;
}

List legacyLaunchAgentPlists() {
    const std::string folder = TargetUser::homeDirectory() + "/Library/LaunchAgents/";
    List paths;
    for (const std::string& label : legacyLaunchAgentNames()) {
        paths.push_back(folder + label + ".plist");
        paths.push_back(folder + label + ".plist.bak");
    }
    return paths;
}

List preferencePlists() {
    List paths;
    for (const std::string& id : productBundleIDs()) {
        paths.push_back(TargetUser::homeDirectory() + "/Library/Preferences/" + id + ".plist");
    }
    return paths;
}

List groupContainerDirs() {
    List paths;
    for (const std::string& id : appGroupIDs()) {
        paths.push_back(TargetUser::homeDirectory() + "/Library/Group Containers/" + id);
    }
    return paths;
}

List logDirs() {
    return {TargetUser::homeDirectory() + "/Library/Logs/nuvra",
            TargetUser::homeDirectory() + "/Library/Logs/NuvraInstaller"};
}

List libraryDataDirs() {
    List paths;
    for (const std::string& id : productBundleIDs()) {
        paths.push_back(TargetUser::homeDirectory() + "/Library/Application Support/" + id);
        paths.push_back(TargetUser::homeDirectory() + "/Library/Caches/" + id);
        paths.push_back(TargetUser::homeDirectory() + "/Library/HTTPStorages/" + id);
        paths.push_back(TargetUser::homeDirectory() + "/Library/WebKit/" + id);
        paths.push_back(TargetUser::homeDirectory() + "/Library/Saved Application State/" + id +
                        ".savedState");
    }
    paths.push_back(TargetUser::homeDirectory() + "/Library/Application Support/nuvra");
    return paths;
}

List canonicalBundlePaths() {
    return {"/Library/Input Methods/nuvraInput.app",
            TargetUser::homeDirectory() + "/Library/Input Methods" + "/" + "nuvraInput.app",
            "/Applications/nuvra.app",
            TargetUser::homeDirectory() + "/Applications" + "/" + "nuvra.app",
            "/Applications/NuvraAgent.app",
            TargetUser::homeDirectory() + "/Applications" + "/" + "NuvraAgent.app"};
}

} // namespace NuvraFootprint

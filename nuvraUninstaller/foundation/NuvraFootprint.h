#pragma once

#include <string>
#include <vector>

// The single catalogue of everything the product can leave on a Mac. Constant lists are fixed;
// path lists are rebuilt on every call from the current home folder by plain concatenation (no
// normalisation, no tilde expansion, no existence test). Order matters: callers report and remove
// in the order given here.
namespace NuvraFootprint {

using List = std::vector<std::string>;

inline constexpr const char* looseMatchNeedle = "nuvra";
inline constexpr const char* lsSweepNeedle = "nuvraInput.app";
// The product's folder in the temporary folder every account shares.
inline constexpr const char* sharedTemporaryFolder = "/tmp/nuvra";

// The agent's identifier first, then the input method's.
const List& productBundleIDs();
const List& appGroupIDs();
const List& legacyLaunchAgentNames();
const List& processExactNames();
const List& processPathPatterns();
const List& knownKeychainAccounts();
const List& intlDataCacheNames();
const List& tccServices();
const List& legacyBundleIDs();
const List& tempDirPrefixes();
const List& hiToolboxKeys();

// The input method's bundle identifier (second entry of productBundleIDs).
inline const std::string& inputMethodBundleID() {
    return productBundleIDs()[1];
}

List legacyLaunchAgentPlists(); // 14: per label its .plist then its .plist.bak
List preferencePlists();        // 2
List groupContainerDirs();      // 2
List logDirs();                 // 2
List libraryDataDirs();         // 11
List canonicalBundlePaths();    // 6: each bundle at system level, then in the home folder

} // namespace NuvraFootprint

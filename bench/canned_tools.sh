# shellcheck shell=bash
# Sourced inside the simulated Mac (sim/run): records what the fake macOS tools answer for the
# planted scene, then puts bench/canned_tool in their place, so timings measure our code and not
# the fakes' Python start-up. Every write lands in the simulated Mac's throwaway overlay.
#
#   install_canned_tools CANNED_TOOL_BINARY

readonly canned_dir=/var/db/bench-canned
readonly lsregister_path=/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/Support/lsregister

install_canned_tools() {
    local binary=$1
    [[ ${SIM:-} == 1 && -d /var/db/sim ]] || { echo "not inside the simulated Mac" >&2; return 1; }
    mkdir -p "$canned_dir"
    /usr/bin/security dump-keychain >"$canned_dir/security.dump-keychain" 2>&1 || true
    /usr/bin/defaults export com.apple.HIToolbox - >"$canned_dir/defaults.export" 2>&1 || true
    "$lsregister_path" -dump >"$canned_dir/lsregister.-dump" 2>&1 || true
    /usr/bin/getconf DARWIN_USER_CACHE_DIR >"$canned_dir/getconf" 2>&1 || true
    /usr/sbin/pkgutil --pkgs >"$canned_dir/pkgutil.--pkgs" 2>&1 || true
    # Deleting a Keychain item answers "not found", as for an item already gone: a stand-in that
    # always succeeded would be asked again and again.
    echo "security: SecKeychainSearchCopyNext: The specified item could not be found in the keychain." \
        >"$canned_dir/security.delete-generic-password"
    echo 44 >"$canned_dir/security.delete-generic-password.status"
    local agent
    for agent in "$HOME"/Library/LaunchAgents/ai.nuvra*.plist; do
        [[ -e $agent ]] && /usr/libexec/PlistBuddy -c "Print :Label" "$agent" >"$canned_dir/PlistBuddy.-c" 2>&1
        break
    done
    local tool
    for tool in /usr/bin/security /usr/bin/defaults /usr/bin/getconf /usr/bin/tccutil /usr/bin/pkill \
        /usr/bin/killall \
        /usr/bin/pkexec /bin/launchctl /usr/libexec/PlistBuddy /usr/sbin/pkgutil "$lsregister_path"; do
        rm -f "$tool" && cp "$binary" "$tool" && chmod 755 "$tool"
    done
}

# Every canned call first waits this many milliseconds (0: none).
set_tool_delay() {
    echo "$1" >"$canned_dir/delay-ms"
}

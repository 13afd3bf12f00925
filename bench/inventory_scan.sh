#!/bin/bash
# The anchor of the inventory figure: the preflight scan's existence tests, listings and tool calls
# written as a plain bash script, printing the same counts the inventory shows.
shopt -s nullglob
home=$HOME
count=0

for app in /Applications/nuvra.app "$home/Applications/nuvra.app" /Applications/NuvraAgent.app \
    "$home/Applications/NuvraAgent.app"; do
    [[ -e $app ]] && echo "app: $app"
done
sources=0
for folder in "/Library/Input Methods" "$home/Library/Input Methods"; do
    for bundle in "$folder"/nuvraInput*.app; do
        echo "input method: $bundle"
        [[ -r $bundle/Contents/Info.plist ]] && ((sources += 1))
    done
done
echo "input source registrations: $sources"
echo "keyboard settings entries: $(/usr/bin/defaults export com.apple.HIToolbox - | grep -ci nuvra)"

ids=(ai.nuvra.inputmethod.NuvraAgent ai.nuvra.inputmethod.NuvraInput)
candidates=()
for label in ai.nuvra.tis-helper ai.nuvra.agent.autostart ai.nuvra.inputmethod.agent \
    ai.nuvra.inputmethod.NuvraAgent ai.nuvra.NuvraAgent com.nuvra.agent com.nuvra.NuvraAgent; do
    candidates+=("$home/Library/LaunchAgents/$label.plist" "$home/Library/LaunchAgents/$label.plist.bak")
done
for group in group.ai.nuvra.macos.shared group.ai.nuvra.shared; do
    candidates+=("$home/Library/Group Containers/$group")
done
for id in "${ids[@]}"; do candidates+=("$home/Library/Preferences/$id.plist"); done
candidates+=("$home/Library/Logs/nuvra" "$home/Library/Logs/NuvraInstaller")
for id in "${ids[@]}"; do
    candidates+=("$home/Library/Application Support/$id" "$home/Library/Caches/$id"
        "$home/Library/HTTPStorages/$id" "$home/Library/WebKit/$id"
        "$home/Library/Saved Application State/$id.savedState")
done
candidates+=("$home/Library/Application Support/nuvra")
candidates+=("$TMPDIR"nuvra-agent-sourcectl-* "$TMPDIR"nuvraInstaller*)
for path in "${candidates[@]}"; do
    [[ -e $path ]] && ((count += 1))
done
echo "settings and app data: $count"
[[ -e /tmp/nuvra ]] && echo "temporary files: /tmp/nuvra"
echo "installer receipts: $(/usr/sbin/pkgutil --pkgs | grep -c '^ai\.nuvra\.')"
echo "keychain: $(/usr/bin/security dump-keychain | grep -o '"acct"<blob>="ai\.nuvra\.[^"]*"' | sort -u | wc -l)"

# shellcheck shell=bash
# Sourced by the shell-script tools: the per-user folder ("/var/folders/xx/…") the system names for
# an account. Listed accounts (in $SIM_STATE_DIR/users) have theirs; any other account gets one
# derived from its user id, as macOS names one for every account (it may not exist yet).
sim_darwin_user_dir() {
    local uid=$1 u_uid u_dir
    while IFS=$'\t' read -r _ u_uid _ _ u_dir; do
        if [[ $u_uid == "$uid" && -n $u_dir ]]; then
            printf '%s\n' "$u_dir"
            return
        fi
    done </var/db/sim/users 2>/dev/null
    printf '/var/folders/zz/zyxvpxvq6csfxvn_n%07d0000gn\n' "$uid"
}

# shellcheck shell=bash
# Sourced by the shell-script tools: appends "$0 $@" to the call log as one JSON array line and
# the caller's real user id after a tab, the same encoding simtool.py writes.

sim_json_string() {
    local s=$1
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    s=${s//$'\n'/\\n}
    s=${s//$'\t'/\\t}
    s=${s//$'\r'/\\r}
    if [[ $s == *[$'\x01'-$'\x1f']* ]]; then
        local out="" c i
        for ((i = 0; i < ${#s}; i++)); do
            c=${s:i:1}
            if [[ $c == [$'\x01'-$'\x1f'] ]]; then
                printf -v c '\\u%04x' "'$c"
            fi
            out+=$c
        done
        s=$out
    fi
    printf '"%s"' "$s"
}

sim_log_call() {
    local line="[" arg first=1
    for arg in "$0" "$@"; do
        ((first)) || line+=", "
        first=0
        line+=$(LC_ALL=C sim_json_string "$arg")
    done
    line+="]"$'\t'"uid=$UID"
    printf '%s\n' "$line" >>/var/log/sim/calls.log 2>/dev/null || true
}

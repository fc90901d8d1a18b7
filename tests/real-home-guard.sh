#!/bin/sh
# Fails when the tests wrote into the home of the person running them: `record LIST` lists
# what the program keeps there (settings, journals, the debug log, the user service) before
# the tests, `compare LIST` lists it again after them and fails on any difference.
set -eu
mode=$1
list=$2

state=${XDG_STATE_HOME:-}
case $state in /*) ;; *) state=$HOME/.local/state ;; esac
config=${XDG_CONFIG_HOME:-}
case $config in /*) ;; *) config=$HOME/.config ;; esac

snapshot() {
    for path in "$state/quillmarch" "$config/Quillmarch.conf" "$config/Brackenfold.conf" \
        "$config/systemd/user/quillmarch.service"; do
        [ -e "$path" ] || continue
        find "$path" -printf '%p %y %s %T@\n'
    done | LC_ALL=C sort
}

case $mode in
record)
    snapshot >"$list"
    ;;
compare)
    if ! snapshot | diff "$list" - >"$list.diff"; then
        echo "The tests wrote into the real home ($HOME):"
        cat "$list.diff"
        exit 1
    fi
    ;;
*)
    echo "usage: $0 record|compare LIST" >&2
    exit 2
    ;;
esac

# Sourced by the end-to-end scripts. Each runs in a scratch folder with settings of its own; the caller sets
# program, reg (dawdlex-reg) and shots (the screenshot folder). Every wait polls with a limit that only a
# broken run reaches.
set -euo pipefail
work=$(mktemp -d)
pid=
pids=()
cleanup() {
    local p
    for p in $pid "${pids[@]}"; do
        { kill -KILL "$p" && wait "$p"; } 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config
key='HKCU\Software\Pendlewick\Dawdlex'

fail() {
    echo "FAIL: $*" >&2
    import -window root "$shots/$(basename "$0")-failure.png" 2>/dev/null || true
    exit 1
}
# Runs "$@" until it succeeds, for up to 30 s: the machine may be loaded.
poll() {
    local deadline=$((SECONDS + 30))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 | grep .; }
window() { poll visible "$1" || fail "no window \"$1\""; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1 sleep 0.3; }
# Replaces the text of the box at x, y of window $1 with $4.
type_into() {
    click "$1" "$2" "$3"
    xdotool key ctrl+a type --delay 20 "$4"
    sleep 0.3
}
start() { "$program" & pid=$!; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_end() {
    poll ended || fail "the program still runs after $1"
    local status=0
    wait "$pid" || status=$?
    pid=
    [ "$status" -eq 0 ] || fail "the program ended with status $status after $1"
}
# Empty texts are stored with their NUL, which the listing shows as it is.
stored() { "$reg" query "$key" /v "$1" | tr -d '\0' | sed -n "s/^ *$1 *REG_SZ *//p"; }
expect_stored() { [ "$(stored "$1")" = "$2" ] || fail "$1 is stored as '$(stored "$1")', expected '$2'"; }
values() { "$reg" query "$key" | tr -d '\0'; }
expect_16_values() { [ "$(values | grep -c ' REG_SZ ')" -eq 16 ] || fail "not the 16 settings stored: $(values)"; }
# An X server of the caller's own, which it can end: its number goes to own_display, its process to xserver.
own_xserver() {
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -noreset -screen 0 800x600x24 2>/dev/null &
    xserver=$!
    pids+=("$xserver")
    read -r -t 30 -u "$display_fd" own_display || fail "the step's own X server did not start"
}

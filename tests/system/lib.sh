# Shared by the system tests: the real Kestrow.exe in the system-test Wine prefix.
# Needs KESTROW_EXE, WINTOOL, SYSTEST_DIR (set by ctest) and KESTROW_SYS_PREFIX, DISPLAY
# (set by scripts/run-tests.sh).
set -uo pipefail
export WINEPREFIX="${KESTROW_SYS_PREFIX:?run through make test}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wt() { wine "$WINTOOL" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
csv() { cat "$SYSTEST_DIR/Kestrow.csv" 2>/dev/null; }
today() { date +%d/%m/%Y; }

kestrow_pid=""
# Starts a fresh copy of Kestrow.exe; its Wine debug output goes to $KESTROW_TRACE when set.
start_kestrow() {
    rm -rf "$SYSTEST_DIR"
    mkdir -p "$SYSTEST_DIR"
    cp "$KESTROW_EXE" "$SYSTEST_DIR/Kestrow.exe"
    wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>"${KESTROW_TRACE:-/dev/null}" &
    kestrow_pid=$!
    wt wait Kestrow 20000 >/dev/null || { fail "Kestrow's window never appeared"; finish; }
}

# Waits up to $2 seconds for the log to hold line $1 exactly.
wait_for_line() {
    local line=$1 limit=$2 start=$SECONDS
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        csv | tr -d '\r' | grep -qxF -- "$line" && return 0
        sleep 0.2
    done
    return 1
}

stop_kestrow() {
    [ -n "$kestrow_pid" ] || return 0
    wt close Kestrow >/dev/null
    local ms
    if ms=$(wt gone Kestrow 6000); then echo "ended ${ms} ms after the close request"; else fail "still running 6 s after close"; fi
    for _ in $(seq 50); do kill -0 "$kestrow_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$kestrow_pid" 2>/dev/null
    kestrow_pid=""
    echo "${ms:-9999}"
}

finish() {
    [ -n "$kestrow_pid" ] && { wt close Kestrow >/dev/null; sleep 4; kill "$kestrow_pid" 2>/dev/null; }
    if [ "$failures" -eq 0 ]; then echo "PASS"; exit 0; fi
    echo "$failures failure(s)"
    exit 1
}

# Waits up to $1 seconds for each of the lines that follow, then checks that the log holds
# exactly those lines and no other.
expect_exactly_lines() {
    local limit=$1; shift
    local line
    for line in "$@"; do
        wait_for_line "$line" "$limit" || fail "no line $line"
    done
    sleep 2
    local lines
    lines=$(csv | grep -c '')
    [ "$lines" -eq $# ] || { fail "expected exactly $# lines, log has $lines:"; csv; }
}

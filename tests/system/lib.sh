# Shared by the system test and bench/shutdown.sh: the real Kestrow.exe in a Wine
# prefix. Needs KESTROW_EXE, TESTTOOL (testtool.exe), SYSTEST_DIR and WINEPREFIX, and the display
# of the ctest fixture (KESTROW_DISPLAY_FILE) or DISPLAY: ctest gives them all.
set -uo pipefail
: "${WINEPREFIX:?run through ctest (make test)}"
[ -n "${KESTROW_DISPLAY_FILE:-}" ] && source "$KESTROW_DISPLAY_FILE"
# Every wait is for the thing itself; the limit only ends a run whose build is truly broken.
limit=${KESTROW_WAIT_LIMIT:-60}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wt() { wine "$TESTTOOL" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
csv() { cat "$SYSTEST_DIR/Kestrow.csv" 2>/dev/null; }
# Polls command $@ until it succeeds; 1 after the limit.
wait_until() {
    local start=$SECONDS
    until "$@"; do
        [ $((SECONDS - start)) -lt "$limit" ] || return 1
        sleep 0.1
    done
}

# Starts the program from its own folder and waits for its window and for the first snapshot
# of every monitor, told by its trace: changes made before it would not be reported.
# KESTROW_WINEDEBUG adds Wine debug channels to that output ($SYSTEST_DIR/debug.txt);
# KESTROW_KEEP keeps the folder, log and saved snapshots of the last run.
kestrow_pid=""
start_kestrow() {
    [ -n "${KESTROW_KEEP:-}" ] || rm -rf "$SYSTEST_DIR"
    mkdir -p "$SYSTEST_DIR"
    cp "$KESTROW_EXE" "$SYSTEST_DIR/Kestrow.exe"
    WINEDEBUG="${KESTROW_WINEDEBUG:--all},+debugstr" wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>"$SYSTEST_DIR/debug.txt" &
    kestrow_pid=$!
    wt wait Kestrow $((limit * 1000)) >/dev/null || { fail "Kestrow's window never appeared"; finish; }
    wait_until grep -q "every monitor ready" "$SYSTEST_DIR/debug.txt" || fail "not every monitor was ready"
}

# Complete lines in the log.
log_lines() { csv | grep -c $'\r$'; }

# Asks the program to close and waits until its window is gone and its process ended.
stop_kestrow() {
    [ -n "$kestrow_pid" ] || return 0
    wt close Kestrow >/dev/null
    wt gone Kestrow $((limit * 1000)) >/dev/null || fail "Kestrow still has its window after a close request"
    wait_until eval '! kill -0 "$kestrow_pid" 2>/dev/null' || { fail "Kestrow still running after a close request"; kill "$kestrow_pid"; }
    kestrow_pid=""
}

finish() {
    [ -n "$kestrow_pid" ] && { wt close Kestrow >/dev/null; wt gone Kestrow 10000 >/dev/null; kill "$kestrow_pid" 2>/dev/null; }
    [ "$failures" -eq 0 ] && echo PASS || echo "$failures failure(s)"
    exit $((failures > 0))
}

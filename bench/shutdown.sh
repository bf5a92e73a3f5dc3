#!/usr/bin/env bash
# How long the real Kestrow.exe takes to end after a close request: hidden at rest, shown, in
# the middle of a settle and in the middle of a 5,000-event burst. Prints the median and the
# worst of ROUNDS (default 5) for each. Runs in the prefix and display of scripts/run-bench.sh.
#   bench/shutdown.sh BUILD_DIR
build=$(realpath "${1:-build}")
rounds=${ROUNDS:-5}
export KESTROW_EXE="$build/Kestrow.exe" TESTTOOL="$build/tests/testtool.exe" SYSTEST_DIR="$build/bench-shutdown"
source "$(dirname "$(realpath "$0")")/../tests/system/lib.sh"
testtool="$build/tests/testtool.exe"
run='Software\Microsoft\Windows\CurrentVersion\Run'
visible() { [ "$(wt state Kestrow)" = visible ]; }
gone() { ! kill -0 "$kestrow_pid" 2>/dev/null; }
has_lines() { [ "$(log_lines)" -ge "$1" ]; }
fresh_run() { wine reg delete "HKCU\\$run" /f; wine reg add "HKCU\\$run" /f; } >/dev/null 2>&1

# Milliseconds from the close request until the window is gone (as testtool measures it) and
# until the process has ended.
close_ms() {
    local start window
    start=$(date +%s%N)
    wt close Kestrow >/dev/null
    window=$(wt gone Kestrow 60000) || window=99999
    wait_until gone || { echo "$window 99999"; return; }
    echo "$window $((($(date +%s%N) - start) / 1000000))"
}
figures() {
    local sorted=($(sort -n))
    echo "median ${sorted[$((rounds / 2))]} ms, worst ${sorted[$((rounds - 1))]} ms"
}

for case in hidden shown settle burst; do
    windows=() ends=()
    for _ in $(seq "$rounds"); do
        fresh_run
        start_kestrow RunKeys
        case $case in
        shown) wt show Kestrow && wait_until visible ;;
        settle) wine reg add "HKCU\\$run" /v KTB_Settle /d 'C:\settle.exe' /f >/dev/null 2>&1 ;;
        burst)
            seq -f "setsz|HKCU|$run|KTB_Burst%05g|C:\\burst.exe" 0 4999 | tr '|' '\t' >"$SYSTEST_DIR.ops"
            wine "$testtool" run "$(winepath -w "$SYSTEST_DIR.ops")" </dev/null >/dev/null 2>&1
            wait_until has_lines 300
            ;;
        esac
        read -r window end < <(close_ms)
        windows+=("$window") ends+=("$end")
        kestrow_pid=""
    done
    echo "close request, $case: window gone $(printf '%s\n' "${windows[@]}" | figures)," \
        "process ended $(printf '%s\n' "${ends[@]}" | figures)"
done
fresh_run

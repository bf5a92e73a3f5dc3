#!/usr/bin/env bash
# How long the real Kestrow.exe takes to end after a close request: hidden at rest, shown, in
# the middle of a settle and in the middle of a 5,000-event burst, measured from the trace's
# "closing" so that the requester's start does not count. Prints the median and the worst of
# ROUNDS (default 5) for each. Runs in the prefix and display of scripts/run-bench.sh.
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

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_until at a finer step: these waits are the figures.
wait_fine() {
    local end=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.01
    done
}
# Milliseconds from the close request to the trace's "closing" (the requester's own start
# included), from "closing" to the monitors stopped (as the program tells it) and from
# "closing" to the process ended. The trace is watched from before the request.
close_ms() {
    local request closing_file="$SYSTEST_DIR.closing" stopped ended
    rm -f "$closing_file"
    (wait_fine grep -q "Kestrow: closing" "$SYSTEST_DIR/debug.txt" && now_ms >"$closing_file") &
    local watcher=$!
    request=$(now_ms)
    wt close Kestrow >/dev/null
    wait_fine gone || { kill "$watcher"; echo "99999 99999 99999"; return; }
    ended=$(now_ms)
    wait "$watcher" && [ -s "$closing_file" ] || { echo "99999 99999 99999"; return; }
    stopped=$(sed -n 's/.*Kestrow: monitors stopped in \([0-9]*\) ms.*/\1/p' "$SYSTEST_DIR/debug.txt")
    echo "$(($(cat "$closing_file") - request)) ${stopped:-99999} $((ended - $(cat "$closing_file")))"
}
figures() {
    local sorted=($(sort -n))
    echo "median ${sorted[$((rounds / 2))]} ms, worst ${sorted[$((rounds - 1))]} ms"
}

for case in hidden shown settle burst; do
    requests=() stops=() ends=()
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
        read -r request stopped end < <(close_ms)
        requests+=("$request") stops+=("$stopped") ends+=("$end")
        kestrow_pid=""
    done
    echo "close, $case: closing to monitors stopped $(printf '%s\n' "${stops[@]}" | figures)," \
        "to process ended $(printf '%s\n' "${ends[@]}" | figures);" \
        "request to closing (testtool's start included) $(printf '%s\n' "${requests[@]}" | figures)"
done
fresh_run

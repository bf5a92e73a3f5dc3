#!/usr/bin/env bash
# Nothing lost, nothing invented: rounds of random changes in all nine categories against the
# real program with its real settle and task poll, every CSV line checked against the journal
# (stress.py). scripts/run-soak.sh (make soak) runs it in a fresh prefix that it prepared.
#   stress.sh [SECONDS]   default 60; STRESS_SEED repeats a run
source "$(dirname "$0")/lib.sh"
export KESTROW_CSV="$SYSTEST_DIR/Kestrow.csv"
start_kestrow
[ "$failures" -eq 0 ] || finish
rm -rf "$SYSTEST_DIR.work" && mkdir -p "$SYSTEST_DIR.work"
python3 "$(dirname "$0")/stress.py" "$SYSTEST_DIR.work" "${1:-60}" || fail "the log does not match the journal"
stop_kestrow >/dev/null
finish

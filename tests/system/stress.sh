#!/usr/bin/env bash
# Nothing lost, nothing invented: rounds of random changes in all nine categories against the
# real program with its real settle and task poll, every CSV line checked against the journal
# (stress.py). make soak runs it; scripts/run-soak.sh starts the schedule service it needs.
#   stress.sh [SECONDS]   default 60, or STRESS_SECONDS; STRESS_SEED repeats a run
source "$(dirname "$0")/lib.sh"

seconds=${1:-${STRESS_SECONDS:-60}}
here=$(dirname "$0")
export STRESSHELPER="${STRESSHELPER:-$(dirname "$WINTOOL")/stresshelper.exe}"
export KESTROW_CSV="$SYSTEST_DIR/Kestrow.csv"
work="$SYSTEST_DIR.work"
rm -rf "$work"
mkdir -p "$work"

python3 "$here/stress.py" prepare "$work" || { fail "could not prepare the registry"; finish; }

start_kestrow RunKeys Service Start Install COM Winlogon TaskScheduler ShareDrive FileAssociation
[ "$failures" -eq 0 ] || finish

python3 "$here/stress.py" "$work" "$seconds" || fail "the log does not match the journal (kept in $work)"

stop_kestrow >/dev/null
python3 "$here/stress.py" clean "$work" >/dev/null
finish

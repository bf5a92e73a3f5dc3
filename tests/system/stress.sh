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

# Started by hand, with the debug output that says when each monitor has its first snapshot.
rm -rf "$SYSTEST_DIR"
mkdir -p "$SYSTEST_DIR"
cp "$KESTROW_EXE" "$SYSTEST_DIR/Kestrow.exe"
WINEDEBUG=+debugstr wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>"$work/debug.txt" &
kestrow_pid=$!
wt wait Kestrow 20000 >/dev/null || { fail "Kestrow's window never appeared"; finish; }
monitors="RunKeys Service Start Install COM Winlogon TaskScheduler ShareDrive FileAssociation"
for _ in $(seq 300); do
    missing=""
    for m in $monitors; do grep -q "Monitor${m}Proc ready" "$work/debug.txt" || missing="$missing $m"; done
    [ -z "$missing" ] && break
    sleep 0.2
done
[ -z "$missing" ] || fail "monitors not ready after 60 s:$missing"

python3 "$here/stress.py" "$work" "$seconds" || fail "the log does not match the journal (kept in $work)"

stop_kestrow >/dev/null
python3 "$here/stress.py" clean "$work" >/dev/null
finish

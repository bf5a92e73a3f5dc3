#!/usr/bin/env bash
# The long random-change run (tests/system/stress.sh) against the real program, in a fresh Wine
# prefix of its own: every CSV line checked against the journal of the changes.
#   run-soak.sh BUILD [SECONDS]   (make soak SECONDS=...); STRESS_SEED repeats a run
set -uo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-600}
here=$(dirname "$(realpath "$0")")
rm -rf "$build/wine-soak" # nothing left of an earlier run
source "$here/wine-env.sh" "$build/wine-soak"
trap wine_env_cleanup EXIT
export TESTTOOL="$build/tests/testtool.exe"
# The job route of the task monitor needs the schedule service; the user's RunOnce and Network
# keys are missing from a fresh prefix; stress.py tells the task polls by a work item that
# nothing else touches, whose file each poll opens. All there before the program starts.
wine net start schedule </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f >/dev/null 2>&1
wine reg add 'HKCU\Network' /f >/dev/null 2>&1
wine "$TESTTOOL" addtask KsSTaskClock 'C:\KsS\clock.exe' </dev/null >/dev/null 2>&1
for _ in $(seq 300); do
    wine "$TESTTOOL" jobs </dev/null 2>/dev/null | grep -q 'clock\.exe' && break
    sleep 0.2
done
KESTROW_EXE="$build/Kestrow.exe" TESTTOOL="$TESTTOOL" SYSTEST_DIR="$build/systest/soak" bash "$here/../tests/system/stress.sh" "$seconds"

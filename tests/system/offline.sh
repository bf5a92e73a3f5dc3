#!/usr/bin/env bash
# Changes made while the program was not running are reported at its next start; a damaged
# snapshot file is set aside with a word to the user; the user's switch turns it off.
source "$(dirname "$0")/lib.sh"

run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
loc='HKCU/Software\Microsoft\Windows\CurrentVersion\Run'
reg() { wine reg "$@" /f >/dev/null 2>&1; }
th() { wine "$(dirname "$WINTOOL")/stresshelper.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
clean_up() {
    for v in KTO_Kept KTO_Gone KTO_Added KTO_Bad KTO_After KTO_Off KTO_Mark1 KTO_Mark2 KTO_Mark3 KTO_Mark4; do
        reg delete "$run" /v "$v"
    done
    reg delete 'HKCU\Software\Kestrow' /v ReportOffline
    th deltask KTO_Task >/dev/null
}
line() { echo "\"$(today)\",\"Auto Run\",\"$1\",\"$loc\",\"$2\""; }
# Wine's schedule service also lists a saved work item as a job, under an id of its own: those
# lines are left out of the counts.
count() { csv | grep -cvE '^"[^"]*","Task Scheduler","[A-Za-z]+","[0-9]+",'; }
# Starts the program again in the same folder; a marker value made after its start is the
# last line: the lines for what changed while it was closed come before it.
restart() {
    KESTROW_KEEP=1 start_kestrow RunKeys TaskScheduler
    reg add "$run" /v "$1" /d m
    wait_for_line "$(line New "$1=m")" || fail "no line for the marker $1"
}

clean_up
reg add "$run" /v KTO_Kept /d 1
reg add "$run" /v KTO_Gone /d 2
start_kestrow RunKeys TaskScheduler
stop_kestrow
[ "$(count)" -eq 0 ] || { fail "a first run reported something:"; csv; }

reg add "$run" /v KTO_Added /d 3
reg delete "$run" /v KTO_Gone
th addtask KTO_Task 'C:\kto.exe' >/dev/null || fail "could not save a task"
restart KTO_Mark1
stop_kestrow
expected=("$(line New KTO_Added=3)" "$(line Deleted KTO_Gone=2)" "$(line New KTO_Mark1=m)"
    "\"$(today)\",\"Task Scheduler\",\"New\",\"KTO_Task.job\",\";C:\\kto.exe\"")
for l in "${expected[@]}"; do has_line "$l" || fail "no line $l"; done
[ "$(count)" -eq 4 ] || { fail "expected 4 lines after the restart:"; csv; }

# A damaged file: nothing reported, the user told, the file kept aside, the next start sound.
printf 'Kestrow saved snapshots 1\n[HKCU\\broken' >"$SYSTEST_DIR/Kestrow.snapshots"
reg add "$run" /v KTO_Bad /d 4
restart KTO_Mark2
wt text Kestrow 1012 | grep -qF 'could not be read' || fail "not told of the damaged file: $(wt text Kestrow 1012)"
stop_kestrow
[ -f "$SYSTEST_DIR/Kestrow.snapshots.bad" ] || fail "the damaged file was not kept aside"
[ "$(count)" -eq 5 ] || { fail "expected only the marker after a damaged file:"; csv; }
reg add "$run" /v KTO_After /d 5
restart KTO_Mark3
stop_kestrow
has_line "$(line New KTO_After=5)" || fail "the start after a damaged file reported nothing"
[ "$(count)" -eq 7 ] || { fail "expected 7 lines:"; csv; }

# Switched off: the start reports nothing of what changed meanwhile.
reg add 'HKCU\Software\Kestrow' /v ReportOffline /t REG_DWORD /d 0
reg add "$run" /v KTO_Off /d 6
restart KTO_Mark4
stop_kestrow
[ "$(count)" -eq 8 ] || { fail "switched off, yet reported:"; csv; }

clean_up
finish

#!/usr/bin/env bash
# Auto Start from the Options dialog of the real program, run from a folder whose name holds a
# space: OK writes the quoted path under the machine's Run key and registers the event source on
# the bare path, and the Auto Run monitor reports the new value after its settle; unticking
# removes the value again.
source "$(dirname "$0")/lib.sh"

run='Software\Microsoft\Windows\CurrentVersion\Run'
source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Kestrow'
wine reg delete "HKLM\\$run" /v Kestrow /f >/dev/null 2>&1
wine reg delete "$source" /f >/dev/null 2>&1
SYSTEST_DIR="$SYSTEST_DIR/Kestrow Test"

is_state() { [ "$(wt state "$1")" = "$2" ]; }
is_checked() { [ "$(wt checked "Kestrow Options" 1009)" = "$1" ]; }

# Works the Options dialog: ticks or unticks Auto Start (to $1), then OK.
set_auto_start() {
    wt click Kestrow 1010 || { fail "no Options button"; return 1; }
    # Shown only once its controls hold their settings.
    wait_until is_state "Kestrow Options" visible || { fail "the Options dialog never appeared"; return 1; }
    is_checked "$1" || wt click "Kestrow Options" 1009
    wait_until is_checked "$1" || fail "Auto Start is not $1 after the click"
    wt click "Kestrow Options" 1
    wt gone "Kestrow Options" $((limit * 1000)) >/dev/null || fail "OK did not close the Options dialog"
}

start_kestrow RunKeys
wt show Kestrow
wait_until is_state Kestrow visible || fail "the tray click did not show the window"

program=$(winepath -w "$SYSTEST_DIR/Kestrow.exe" 2>/dev/null | tr -d '\r')
set_auto_start 1
stored=$(wine reg query "HKLM\\$run" /v Kestrow 2>/dev/null | tr -d '\r' | sed -n 's/^ *Kestrow *REG_SZ *//p')
[ "$stored" = "\"$program\"" ] || fail "stored '$stored', expected the quoted path \"$program\""
registered=$(wine reg query "$source" 2>/dev/null | tr -d '\r' | sed -n 's/^ *\(EventMessageFile\|TypesSupported\) *//p')
[ "$registered" = "REG_EXPAND_SZ    $program
REG_DWORD    0x4" ] || fail "event source: '$registered'"

# The log quotes the value's own quotes by doubling them.
line="\"$(today)\",\"Auto Run\",\"New\",\"HKLM/$run\",\"Kestrow=\"\"$program\"\"\""
wait_for_line "$line" || { fail "no line $line"; csv; }

set_auto_start 0
wine reg query "HKLM\\$run" /v Kestrow >/dev/null 2>&1 && fail "the value is still there after OK without Auto Start"
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKLM/$run\",\"Kestrow=\"\"$program\"\"\""
wait_for_line "$line" || { fail "no line $line"; csv; }

wine reg delete "HKLM\\$run" /v Kestrow /f >/dev/null 2>&1
wine reg delete "$source" /f >/dev/null 2>&1
stop_kestrow >/dev/null
finish

#!/usr/bin/env bash
# Faults the real program must survive, with the real 5-second settle:
#  1. watched keys (HKCU RunOnce, HKCU\Network) and the user's Startup folder deleted and
#     created again while watched: what disappeared is reported Deleted, what came back New,
#     and later changes still show;
#  2. the log held open by another program during a burst: every line arrives afterwards,
#     in order;
#  3. Exit in the middle of a settle and in the middle of a 5,000-event burst: the program
#     ends and the log holds whole lines only (make bench times the end).
source "$(dirname "$0")/lib.sh"

reghelper="$(dirname "$WINTOOL")/reghelper.exe"
run='Software\Microsoft\Windows\CurrentVersion\Run'
runonce='Software\Microsoft\Windows\CurrentVersion\RunOnce'
# The log read strictly: records of five quoted fields ended by CR LF, nothing else. Prints
# the number of records, or what is wrong (exit 1).
check_log() {
    [ -f "$SYSTEST_DIR/Kestrow.csv" ] || { echo 0; return 0; }
    csv | python3 -c '
import re, sys
data = sys.stdin.buffer.read()
record = re.compile(b",".join([rb"\"(?:[^\"]|\"\")*\""] * 5) + rb"\r\n")
pos = n = 0
while pos < len(data):
    m = record.match(data, pos)
    if not m:
        print("broken line at byte %d: %r" % (pos, data[pos:pos + 80]))
        sys.exit(1)
    pos, n = m.end(), n + 1
print(n)'
}
fresh_run
wine reg delete "HKCU\\$runonce" /f >/dev/null 2>&1
wine reg add "HKCU\\$runonce" /v KTF_Gone /d 'C:\gone.exe' /f >/dev/null 2>&1
wine reg delete 'HKCU\Network' /f >/dev/null 2>&1
wine reg add 'HKCU\Network\F' /v RemotePath /d '\\old\share' /f >/dev/null 2>&1
startup=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/StartUp | head -1)
rm -f "$startup"/ktf*
touch "$startup/ktf-gone.lnk"

# 1. Watched keys and the Startup folder deleted and created again.
start_kestrow RunKeys Start ShareDrive
d=$(today)
wine reg delete "HKCU\\$runonce" /f >/dev/null 2>&1
wine reg delete 'HKCU\Network' /f >/dev/null 2>&1
rm -rf "$startup"
wait_for_line "\"$d\",\"Auto Start\",\"Deleted\",\"Personal\",\"ktf-gone.lnk\"" || fail "Startup folder removed: no line"
wait_for_line "\"$d\",\"Auto Run\",\"Deleted\",\"HKCU/$runonce\",\"KTF_Gone=C:\\gone.exe\"" || fail "RunOnce deleted: no line"
wait_for_line "\"$d\",\"Share Resource\",\"Deleted\",\"F\",\"\\\\old\\share\"" || fail "Network deleted: no line"
wine reg add "HKCU\\$runonce" /v KTF_Back /d 'C:\back.exe' /f >/dev/null 2>&1
wine reg add 'HKCU\Network\G' /v RemotePath /d '\\new\share' /f >/dev/null 2>&1
mkdir -p "$startup" && touch "$startup/ktf-back.lnk"
wait_for_line "\"$d\",\"Auto Start\",\"New\",\"Personal\",\"ktf-back.lnk\"" || fail "Startup folder back: no line"
wait_for_line "\"$d\",\"Auto Run\",\"New\",\"HKCU/$runonce\",\"KTF_Back=C:\\back.exe\"" || fail "RunOnce back: no line"
wait_for_line "\"$d\",\"Share Resource\",\"New\",\"G\",\"\\\\new\\share\"" || fail "Network back: no line"
wine reg delete "HKCU\\$runonce" /v KTF_Back /f >/dev/null 2>&1
touch "$startup/ktf-later.lnk"
wait_for_line "\"$d\",\"Auto Start\",\"New\",\"Personal\",\"ktf-later.lnk\"" ||
    fail "the Startup folder that came back is not watched"
wait_for_line "\"$d\",\"Auto Run\",\"Deleted\",\"HKCU/$runonce\",\"KTF_Back=C:\\back.exe\"" ||
    fail "the RunOnce key that came back is not watched"
# Five key lines; the folder: Deleted and New for ".", ".." and a file each, then one New.
[ "$(log_lines)" -eq 12 ] || { fail "expected 12 lines after the key and folder faults:"; csv; }

# 2. The log held open (readers allowed, no writer) while 2,000 values are added, until all
# of them are rows of the list: by then every line was tried.
before=$(log_lines)
rows=$(wt rows Kestrow)
held=$(mktemp)
wine "$reghelper" hold "$(winepath -w "$SYSTEST_DIR/Kestrow.csv")" 3600000 </dev/null >"$held" 2>/dev/null &
holder=$!
wait_until grep -q held "$held" || fail "could not hold the log"
wine "$reghelper" burst HKCU "$run" 2000 KTF_Held </dev/null >/dev/null 2>&1 || fail "burst not written"
has_rows() { [ "$(wt rows Kestrow)" -ge $((rows + 2000)) ]; }
wait_until has_rows || fail "the burst never reached the list"
[ "$(log_lines)" -eq "$before" ] || fail "lines were written while the log was held"
kill "$holder"
wait "$holder" 2>/dev/null
rm -f "$held"
wait_until has_lines $((before + 2000))
got=$(csv | tr -d '\r' | tail -n +$((before + 1)) | sed -n 's/.*"KTF_Held\([0-9]*\)=.*/\1/p')
[ "$got" = "$(seq -f '%05g' 0 1999)" ] || fail "after the hold: $(echo "$got" | grep -c .) of 2000 burst lines, or out of order"
n=$(check_log) || fail "$n"
stop_kestrow

# 3a. Exit in the middle of a settle.
fresh_run
start_kestrow RunKeys
wine reg add "HKCU\\$run" /v KTF_Settle /d 'C:\settle.exe' /f >/dev/null 2>&1
stop_kestrow
n=$(check_log) || fail "$n"

# 3b. Exit in the middle of a 5,000-event burst.
fresh_run
start_kestrow RunKeys
wine "$reghelper" burst HKCU "$run" 5000 KTF_Burst </dev/null >/dev/null 2>&1 || fail "burst not written"
wait_until has_lines 300
at=$(log_lines)
stop_kestrow
echo "Exit in a burst after $at lines: $(log_lines) lines"
[ "$at" -lt 5000 ] || echo "note: the burst was over at Exit"
n=$(check_log) || fail "$n"
got=$(csv | tr -d '\r' | sed -n 's/.*"KTF_Burst\([0-9]*\)=.*/\1/p')
[ "$got" = "$(seq -f '%05g' 0 $(($(log_lines) - 1)))" ] || fail "the burst lines are not the first ones in order"

fresh_run
wine reg delete "HKCU\\$runonce" /f >/dev/null 2>&1
wine reg add "HKCU\\$runonce" /f >/dev/null 2>&1
wine reg delete 'HKCU\Network' /f >/dev/null 2>&1
rm -f "$startup"/ktf*
finish

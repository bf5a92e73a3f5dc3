#!/usr/bin/env bash
# The real program with the real 5-second settle: Run key changes made from outside become
# exact CSV lines, and nothing else; the same events reach the Windows event log with the id
# of their kind and the five texts (Wine's trace of what it receives).
source "$(dirname "$0")/lib.sh"

run='Software\Microsoft\Windows\CurrentVersion\Run'
wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1

KESTROW_WINEDEBUG=-all,+eventlog,fixme+advapi start_kestrow RunKeys

wine reg add "HKLM\\$run" /v Updater /d 'C:\Tools\upd.exe' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKLM/$run\",\"Updater=C:\\Tools\\upd.exe\""
wait_for_line "$line" || fail "no line $line"

wine reg add "HKCU\\$run" /v KestrowSysTest /d 'C:\Program Files\x.exe /q' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKCU/$run\",\"KestrowSysTest=C:\\Program Files\\x.exe /q\""
wait_for_line "$line" || fail "no line $line"

wine reg add "HKCU\\$run" /v KestrowSysTest /d 'C:\y.exe' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Changed\",\"HKCU/$run\",\"KestrowSysTest=C:\\y.exe\""
wait_for_line "$line" || fail "no line $line"

wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKCU/$run\",\"KestrowSysTest=C:\\y.exe\""
wait_for_line "$line" || fail "no line $line"

# The last change marks the end: nothing of the earlier ones may come after it.
wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKLM/$run\",\"Updater=C:\\Tools\\upd.exe\""
wait_for_line "$line" || fail "no line $line"
lines=$(csv | grep -c '')
[ "$lines" -eq 5 ] || { fail "expected exactly 5 lines, log has $lines:"; csv; }
[ "$(csv | grep -c $'\r$')" -eq 5 ] || fail "lines do not end in CR LF"
stop_kestrow >/dev/null

# One line per entry: the event id, then each insertion string (Wine doubles backslashes).
entries=$(tr -d '\r' <"$SYSTEST_DIR/debug.txt" | awk '
    /:fixme:advapi:ReportEventA / { split($0, f, ","); if (n++) print entry; entry = f[4]; next }
    /:trace:eventlog:ReportEventW / { sub(/^[^"]*L"/, ""); sub(/"$/, ""); entry = entry "|" $0 }
    END { if (n) print entry }')
hklm="HKLM/${run//\\/\\\\}" hkcu="HKCU/${run//\\/\\\\}" day="$(today)|Auto Run"
expected="0x00000001|$day|New|$hklm|Updater=C:\\\\Tools\\\\upd.exe
0x00000001|$day|New|$hkcu|KestrowSysTest=C:\\\\Program Files\\\\x.exe /q
0x00000003|$day|Changed|$hkcu|KestrowSysTest=C:\\\\y.exe
0x00000002|$day|Deleted|$hkcu|KestrowSysTest=C:\\\\y.exe
0x00000002|$day|Deleted|$hklm|Updater=C:\\\\Tools\\\\upd.exe"
[ "$entries" = "$expected" ] || { fail "event log entries:"; echo "$entries"; echo "expected:"; echo "$expected"; }
[ "$(grep -c 'RegisterEventSourceA ' "$SYSTEST_DIR/debug.txt")" -eq 1 ] || fail "the event source was not registered exactly once"
finish

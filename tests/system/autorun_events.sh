#!/usr/bin/env bash
# The real program with the real 5-second settle: Run key changes made from outside become
# exact CSV lines, and nothing else.
source "$(dirname "$0")/lib.sh"

run='Software\Microsoft\Windows\CurrentVersion\Run'
wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1

start_kestrow RunKeys

wine reg add "HKLM\\$run" /v Updater /d 'C:\Tools\upd.exe' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKLM/$run\",\"Updater=C:\\Tools\\upd.exe\""
wait_for_line "$line" || fail "no line $line"

wine reg add "HKCU\\$run" /v KestrowSysTest /d 'C:\Program Files\x.exe /q' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKCU/$run\",\"KestrowSysTest=C:\\Program Files\\x.exe /q\""
wait_for_line "$line" || fail "no line $line"

wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKCU/$run\",\"KestrowSysTest=C:\\Program Files\\x.exe /q\""
wait_for_line "$line" || fail "no line $line"

# The last change marks the end: nothing of the earlier ones may come after it.
wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKLM/$run\",\"Updater=C:\\Tools\\upd.exe\""
wait_for_line "$line" || fail "no line $line"
lines=$(csv | grep -c '')
[ "$lines" -eq 4 ] || { fail "expected exactly 4 lines, log has $lines:"; csv; }
[ "$(csv | grep -c $'\r$')" -eq 4 ] || fail "lines do not end in CR LF"
stop_kestrow >/dev/null
finish

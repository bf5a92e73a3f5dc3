#!/usr/bin/env bash
# The real program with the real 5-second settle: Run key changes made from outside become
# exact CSV lines within 8 seconds.
source "$(dirname "$0")/lib.sh"

run='Software\Microsoft\Windows\CurrentVersion\Run'
wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1

start_kestrow
sleep 1

wine reg add "HKLM\\$run" /v Updater /d 'C:\Tools\upd.exe' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKLM/$run\",\"Updater=C:\\Tools\\upd.exe\""
wait_for_line "$line" 8 || fail "no line $line"

wine reg add "HKCU\\$run" /v KestrowSysTest /d 'C:\Program Files\x.exe /q' /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"New\",\"HKCU/$run\",\"KestrowSysTest=C:\\Program Files\\x.exe /q\""
wait_for_line "$line" 8 || fail "no line $line"

wine reg delete "HKCU\\$run" /v KestrowSysTest /f >/dev/null 2>&1
line="\"$(today)\",\"Auto Run\",\"Deleted\",\"HKCU/$run\",\"KestrowSysTest=C:\\Program Files\\x.exe /q\""
wait_for_line "$line" 8 || fail "no line $line"

sleep 1
lines=$(csv | grep -c '')
[ "$lines" -eq 3 ] || { fail "expected exactly 3 lines, log has $lines:"; csv; }
[ "$(csv | grep -c $'\r$')" -eq 3 ] || fail "lines do not end in CR LF"

wine reg delete "HKLM\\$run" /v Updater /f >/dev/null 2>&1
stop_kestrow >/dev/null
finish

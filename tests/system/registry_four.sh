#!/usr/bin/env bash
# The real program with the real 5-second settle: one change under each of the service,
# uninstall, Winlogon and network keys, made together from outside, gives exactly one CSV
# line each, and so does taking them away again.
source "$(dirname "$0")/lib.sh"

services='HKLM\System\CurrentControlSet\Services'
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
winlogon='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
clean_up() {
    wine reg delete "$services\\KestrowSysSvc" /f >/dev/null 2>&1
    wine reg delete "$uninstall\\KestrowSysTool" /f >/dev/null 2>&1
    wine reg delete "$winlogon" /v KestrowSysTest /f >/dev/null 2>&1
    wine reg delete 'HKCU\Network\Q' /f >/dev/null 2>&1
}
clean_up
# Mapped drives are watched only when the key exists at start; a fresh prefix has none.
wine reg add 'HKCU\Network' /f >/dev/null 2>&1

start_kestrow Service Install Winlogon ShareDrive

start=$SECONDS
wine reg add "$services\\KestrowSysSvc" /v ImagePath /t REG_EXPAND_SZ /d 'C:\svc\sys.exe' /f >/dev/null 2>&1
wine reg add "$uninstall\\KestrowSysTool" /v DisplayName /d 'Tool' /f >/dev/null 2>&1
wine reg add "$uninstall\\KestrowSysTool" /v DisplayVersion /d '1.2' /f >/dev/null 2>&1
wine reg add "$winlogon" /v KestrowSysTest /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Network\Q' /v RemotePath /d '\\server\share' /f >/dev/null 2>&1
echo "changes made in $((SECONDS - start)) s"

d=$(today)
lines() {
    echo "\"$d\",\"Service\",\"$1\",\"KestrowSysSvc\",\"C:\\svc\\sys.exe\""
    echo "\"$d\",\"Installs\",\"$1\",\"KestrowSysTool\",\"Tool v1.2\""
    echo "\"$d\",\"WinLogon\",\"$1\",\"KestrowSysTest\",\"1\""
    echo "\"$d\",\"Share Resource\",\"$1\",\"Q\",\"\\\\server\\share\""
}
mapfile -t new < <(lines New)
for line in "${new[@]}"; do wait_for_line "$line" || fail "no line $line"; done
# Taking the changes away marks the end: once those lines are in, nothing of the first
# changes can follow.
clean_up
mapfile -t deleted < <(lines Deleted)
expect_exactly_lines "${new[@]}" "${deleted[@]}"
stop_kestrow >/dev/null
finish

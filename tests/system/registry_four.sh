#!/usr/bin/env bash
# The real program with the real 5-second settle: one change under each of the service,
# uninstall, Winlogon and network keys, made together from outside, gives exactly one CSV
# line each.
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

start_kestrow
sleep 1

start=$SECONDS
wine reg add "$services\\KestrowSysSvc" /v ImagePath /t REG_EXPAND_SZ /d 'C:\svc\sys.exe' /f >/dev/null 2>&1
wine reg add "$uninstall\\KestrowSysTool" /v DisplayName /d 'Tool' /f >/dev/null 2>&1
wine reg add "$uninstall\\KestrowSysTool" /v DisplayVersion /d '1.2' /f >/dev/null 2>&1
wine reg add "$winlogon" /v KestrowSysTest /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Network\Q' /v RemotePath /d '\\server\share' /f >/dev/null 2>&1
echo "changes made in $((SECONDS - start)) s"

d=$(today)
expected=(
    "\"$d\",\"Service\",\"New\",\"KestrowSysSvc\",\"C:\\svc\\sys.exe\""
    "\"$d\",\"Installs\",\"New\",\"KestrowSysTool\",\"Tool v1.2\""
    "\"$d\",\"WinLogon\",\"New\",\"KestrowSysTest\",\"1\""
    "\"$d\",\"Share Resource\",\"New\",\"Q\",\"\\\\server\\share\""
)
expect_exactly_lines 12 "${expected[@]}"
echo "all four lines after $((SECONDS - start)) s"

clean_up
stop_kestrow >/dev/null
finish

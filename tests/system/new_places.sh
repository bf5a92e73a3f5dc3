#!/usr/bin/env bash
# The real program on the places a 64-bit machine adds: the 32-bit programs' registry view,
# the user's uninstall list, keys made after the start, and server paths rewritten in place.
# Each change gives exactly its one line.
source "$(dirname "$0")/lib.sh"

cv='Software\Microsoft\Windows\CurrentVersion'
wow='Software\WOW6432Node\Microsoft\Windows\CurrentVersion'
services='HKLM\System\CurrentControlSet\Services'
clsid='HKCR\CLSID\{4B543502-0000-4000-8000-000000000001}'
reg() { wine reg "$@" /f >/dev/null 2>&1; }
clean_up() {
    reg delete "HKLM\\$cv\\Run" /v KestrowSys32 /reg:32
    reg delete "HKLM\\$cv\\RunOnceEx" /reg:32
    reg delete "HKLM\\$cv\\RunOnceEx"
    reg delete "HKCU\\$cv\\RunOnce"
    reg delete "HKLM\\$cv\\Uninstall\\KestrowSys32" /reg:32
    reg delete "HKCU\\$cv\\Uninstall\\KestrowSysUser"
    reg delete "$clsid" /reg:32
    reg delete "$clsid"
    reg delete "$services\\KestrowSysSvc"
    reg delete 'HKCU\Network'
}
clean_up
# Present at the start, so that rewriting them in place is all that happens below.
reg add "$services\\KestrowSysSvc" /v ImagePath /t REG_EXPAND_SZ /d 'C:\svc\good.exe'
reg add "$clsid\\InprocServer32" /ve /d 'C:\com\good.dll'

start_kestrow RunKeys Service Install COM ShareDrive
d=$(today)
line() { echo "\"$d\",\"$1\",\"$2\",\"$3\",\"$4\""; }

# Missing at the start: HKCU\Network, HKCU RunOnce, HKLM RunOnceEx (both views).
reg add "HKLM\\$cv\\Run" /v KestrowSys32 /d 'C:\x86\run.exe' /reg:32
reg add "HKLM\\$cv\\RunOnceEx" /v KestrowSys32 /d 'C:\x86\once.exe' /reg:32
reg add "HKLM\\$cv\\RunOnceEx" /v KestrowSys /d 'C:\once.exe'
reg add "HKCU\\$cv\\RunOnce" /v KestrowSys /d 'C:\user\once.exe'
reg add "HKLM\\$cv\\Uninstall\\KestrowSys32" /v DisplayName /d 'Tool32' /reg:32
reg add "HKCU\\$cv\\Uninstall\\KestrowSysUser" /v DisplayName /d 'Mine'
reg add "$clsid\\InprocServer32" /ve /d 'C:\com\x86.dll' /reg:32
reg add 'HKCU\Network\Q' /v RemotePath /d '\\server\share'
created=(
    "$(line 'Auto Run' New "HKLM/$wow\\Run" 'KestrowSys32=C:\x86\run.exe')"
    "$(line 'Auto Run' New "HKLM/$wow\\RunOnceEx" 'KestrowSys32=C:\x86\once.exe')"
    "$(line 'Auto Run' New "HKLM/$cv\\RunOnceEx" 'KestrowSys=C:\once.exe')"
    "$(line 'Auto Run' New "HKCU/$cv\\RunOnce" 'KestrowSys=C:\user\once.exe')"
    "$(line Installs New 'KestrowSys32 (32-bit)' 'Tool32 v')"
    "$(line Installs New 'KestrowSysUser (per user)' 'Mine v')"
    "$(line 'ActiveX COM' New '{4B543502-0000-4000-8000-000000000001} (32-bit)' 'Inproc=C:\com\x86.dll;')"
    "$(line 'Share Resource' New Q '\\server\share')"
)
expect_exactly_lines "${created[@]}"

# Server paths rewritten in place, nothing added or removed beside them; the deletions are the
# later changes that show nothing more came from the first ones.
reg add "$services\\KestrowSysSvc" /v ImagePath /t REG_EXPAND_SZ /d 'C:\evil\svc.exe'
reg add "$clsid\\InprocServer32" /ve /d 'C:\evil\com.dll'
reg add 'HKCU\Network\Q' /v RemotePath /d '\\evil\share'
reg delete "HKLM\\$cv\\Run" /v KestrowSys32 /reg:32
reg delete "HKCU\\$cv\\Uninstall\\KestrowSysUser"
expect_exactly_lines "${created[@]}" \
    "$(line 'Auto Run' Deleted "HKLM/$wow\\Run" 'KestrowSys32=C:\x86\run.exe')" \
    "$(line Installs Deleted 'KestrowSysUser (per user)' 'Mine v')" \
    "$(line Service Changed KestrowSysSvc 'C:\evil\svc.exe')" \
    "$(line 'ActiveX COM' Changed '{4B543502-0000-4000-8000-000000000001}' 'Inproc=C:\evil\com.dll;')" \
    "$(line 'Share Resource' Changed Q '\\evil\share')"

clean_up
stop_kestrow >/dev/null
finish

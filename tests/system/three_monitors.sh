#!/usr/bin/env bash
# The real program with the real 5-second settle: a shortcut in the user's Startup folder, a
# new COM class and a new file extension, made together from outside, give exactly one CSV
# line each.
source "$(dirname "$0")/lib.sh"

class='{4B535953-0000-4000-8000-000000000005}'
appdata=$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')
startup=$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp" 2>/dev/null)
[ -d "$startup" ] || { fail "no Startup folder at '$startup'"; finish; }
clean_up() {
    rm -f "$startup/KestrowSys.lnk"
    wine reg delete "HKCR\\CLSID\\$class" /f >/dev/null 2>&1
    wine reg delete 'HKCR\.ktsys5' /f >/dev/null 2>&1
    wine reg delete 'HKCR\KestrowSys5.File' /f >/dev/null 2>&1
}
clean_up

start_kestrow
sleep 1

start=$SECONDS
printf 'shortcut' >"$startup/KestrowSys.lnk"
wine reg add "HKCR\\CLSID\\$class" /ve /d 'Kestrow Sys Class' /f >/dev/null 2>&1
wine reg add "HKCR\\CLSID\\$class\\InprocServer32" /ve /d 'C:\kt5\sys.dll' /f >/dev/null 2>&1
wine reg add 'HKCR\KestrowSys5.File\shell\open\command' /ve /d 'C:\kt5\open.exe %1' /f >/dev/null 2>&1
wine reg add 'HKCR\.ktsys5' /ve /d 'KestrowSys5.File' /f >/dev/null 2>&1
echo "changes made in $((SECONDS - start)) s"

d=$(today)
expected=(
    "\"$d\",\"Auto Start\",\"New\",\"Personal\",\"KestrowSys.lnk\""
    "\"$d\",\"ActiveX COM\",\"New\",\"$class\",\"COM=Kestrow Sys Class;Inproc=C:\\kt5\\sys.dll;\""
    "\"$d\",\"File Associations\",\"New\",\".ktsys5\",\"KestrowSys5.File=C:\\kt5\\open.exe %1\""
)
expect_exactly_lines 12 "${expected[@]}"
echo "all three lines after $((SECONDS - start)) s"

clean_up
stop_kestrow >/dev/null
finish

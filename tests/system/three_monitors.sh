#!/usr/bin/env bash
# The real program with the real 5-second settle: a shortcut in the user's Startup folder, a
# new COM class and a new file extension, made together from outside, give exactly one CSV
# line each, and so does taking them away again.
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

start_kestrow Start COM FileAssociation

start=$SECONDS
printf 'shortcut' >"$startup/KestrowSys.lnk"
wine reg add "HKCR\\CLSID\\$class" /ve /d 'Kestrow Sys Class' /f >/dev/null 2>&1
wine reg add "HKCR\\CLSID\\$class\\InprocServer32" /ve /d 'C:\kt5\sys.dll' /f >/dev/null 2>&1
wine reg add 'HKCR\KestrowSys5.File\shell\open\command' /ve /d 'C:\kt5\open.exe %1' /f >/dev/null 2>&1
wine reg add 'HKCR\.ktsys5' /ve /d 'KestrowSys5.File' /f >/dev/null 2>&1
echo "changes made in $((SECONDS - start)) s"

d=$(today)
lines() {
    echo "\"$d\",\"Auto Start\",\"$1\",\"Personal\",\"KestrowSys.lnk\""
    echo "\"$d\",\"ActiveX COM\",\"$1\",\"$class\",\"COM=Kestrow Sys Class;Inproc=C:\\kt5\\sys.dll;\""
    echo "\"$d\",\"File Associations\",\"$1\",\".ktsys5\",\"KestrowSys5.File=C:\\kt5\\open.exe %1\""
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

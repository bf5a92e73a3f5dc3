#!/usr/bin/env bash
# The real Kestrow.exe with its real settle and task poll, driven from outside, run from a folder
# whose name holds a space. The monitors' own cases are their unit tests'; here each place gets
# one change through the real registry, folders and schedule service, and the program around
# them: one instance, the tray, Auto Start in Options, the event log, saved snapshots, the
# fallback log, and the MSI installed, upgraded and removed.
source "$(dirname "$0")/lib.sh"
SYSTEST_DIR="$SYSTEST_DIR/Kestrow Test"
cv='Software\Microsoft\Windows\CurrentVersion' run='Software\Microsoft\Windows\CurrentVersion\Run'
wow='Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Run'
svc='System\CurrentControlSet\Services\KestrowSysSvc' cls='{4B535953-0000-4000-8000-000000000005}'
wl='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
app='C:\kestrow\task.exe' d=$(date +%d/%m/%Y)
lnk="$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Startup |
    sed -n 's/.*REG_SZ *//p' | tr -d '\r')\\KestrowSys.lnk"
startup=${lnk%\\*} common=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v 'Common StartUp' |
    sed -n 's/.*REG_SZ *//p' | tr -d '\r')

# Applies the OPSFILE lines (see testtool.cpp) on stdin at once, | for the tabs. Every line must
# come back in the journal as made: a run that printed none never read the list (a start of
# winepath or testtool that failed on a loaded machine) and is made again, and says so.
ops() {
    tr '|' '\t' >"$SYSTEST_DIR.ops"
    [ -s "$SYSTEST_DIR.ops" ] || return 0
    local journal="" path try
    for try in 1 2 3; do
        path=$(winepath -w "$SYSTEST_DIR.ops") && journal=$(wt run "$path")
        [ -n "$journal" ] && break
        echo "note: testtool printed no journal (try $try, path '$path')"
    done
    [ "$(grep -c . <<<"$journal")" = "$(grep -c . "$SYSTEST_DIR.ops")" ] ||
        { fail "not made: $(tr '\t' '|' <"$SYSTEST_DIR.ops")"; return; }
    awk -F'\t' '$2 != 0 { print "FAIL: not made: " $0; exit 1 }' <<<"$journal" || failures=$((failures + 1))
}
# Rows "CHANGE > LINE" on stdin, either part may be missing: CHANGE an ops line, LINE one the
# log is to get, "Category|Event|Location|Details". The changes are made at once and each line
# waited for; then the log must hold the lines expected so far and no other.
expected=()
has_line() { csv | tr -d '\r' | grep -qxF -- "$1"; }
step() {
    local rows row c k l x e
    mapfile -t rows
    printf '%s\n' "${rows[@]}" | sed 's/ *>.*//; /^$/d' | ops
    for row in "${rows[@]}"; do
        [[ $row == *'> '* ]] || continue
        IFS='|' read -r c k l x <<<"${row#*> }"
        x=${x//\"/\"\"}
        e="\"$d\",\"$c\",\"$k\",\"$l\",\"$x\""
        expected+=("$e")
        wait_until has_line "$e" || fail "no line $e"
    done
    [ "$(csv | tr -d '\r' | sort)" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
        { fail "the log holds other lines than expected:"; diff <(printf '%s\n' "${expected[@]}" | sort) <(csv | tr -d '\r' | sort); }
}
# The id of the job that runs command $1, as Wine lists it.
id_of() { wt jobs | c=$1 awk -F'\t' 'tolower($NF) == tolower(ENVIRON["c"]) { print $2 }'; }
mkdir -p "$SYSTEST_DIR"

# 1. The start deletes an empty ImagePath value, never a number or binary data. A second start
# brings the running window up and ends; the shell made again (TaskbarCreated) gets the tray
# icon back.
printf '%s\n' "setsz|HKLM|${svc}E|ImagePath|" "setdw|HKLM|${svc}N|ImagePath|0" "setbin|HKLM|${svc}B|ImagePath|000061" | ops
KESTROW_WINEDEBUG=-all,+eventlog,fixme+advapi start_kestrow
image_path() { wine reg query "HKLM\\$svc$1" /v ImagePath >/dev/null 2>&1; }
! image_path E && image_path N && image_path B || fail "the start-up clean-up deleted other than the empty ImagePath"
wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>&1 &
second=$!
wait_until eval '! kill -0 $second 2>/dev/null' || { fail "the second start kept running"; kill $second; }
wait_until eval '[ "$(wt state Kestrow)" = visible ]' || fail "the second start did not bring the window up"
wt untray Kestrow 1002 && ! wt tray Kestrow 1002 || fail "the tray icon could not be taken away"
wt taskbar - && wait_until wt tray Kestrow 1002 || fail "the tray icon did not come back after TaskbarCreated"

# 2. One change in every place, made together; then a rewrite, a watched key deleted, and Auto
# Start ticked in Options. HKCU's RunOnce and Network keys are missing at the start (a fresh
# prefix). Wine lists every work item also as a job.
ops <<<"addtask|KestrowSysTask|$app"
wait_until eval 'tid=$(id_of "$app"); [ -n "$tid" ]' || fail "the task is not listed as a job: $(wt jobs)"
step <<EOF
setsz|HKLM|$wow|KestrowSys32|C:\x86\a.exe > Auto Run|New|HKLM/$wow|KestrowSys32=C:\x86\a.exe
setsz|HKCU|${run}Once|KestrowSys|C:\user\once.exe > Auto Run|New|HKCU/${run}Once|KestrowSys=C:\user\once.exe
setsz|HKCU|$run|KestrowSysTest|C:\Program Files\x.exe /q > Auto Run|New|HKCU/$run|KestrowSysTest=C:\Program Files\x.exe /q
setsz|HKCU|$run|KTO_Gone|2 > Auto Run|New|HKCU/$run|KTO_Gone=2
setsz|HKLM|$svc|ImagePath|C:\svc\sys.exe > Service|New|KestrowSysSvc|C:\svc\sys.exe
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayVersion|1.2
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayName|Tool > Installs|New|KestrowSysTool|Tool v1.2
mkfile|$lnk|x > Auto Start|New|Personal|KestrowSys.lnk
setsz|HKCR|CLSID\\$cls||Kestrow Sys Class
setsz|HKCR|CLSID\\$cls\InprocServer32||C:\kt5\sys.dll > ActiveX COM|New|$cls|COM=Kestrow Sys Class;Inproc=C:\kt5\sys.dll;
setdw|HKLM|$wl|KestrowSysTest|1 > WinLogon|New|KestrowSysTest|1
setsz|HKCU|Network\Q|RemotePath|\\\\server\\share > Share Resource|New|Q|\\\\server\\share
setsz|HKCR|KestrowSys.File\shell\open\command||C:\kt5\open.exe %1
setsz|HKCR|.ktsys5||KestrowSys.File > File Associations|New|.ktsys5|KestrowSys.File=C:\kt5\open.exe %1
> Task Scheduler|New|KestrowSysTask.job|;$app
> Task Scheduler|New|$tid|;12:00AM;$app
EOF
step <<EOF
delkey|HKCU|${run}Once > Auto Run|Deleted|HKCU/${run}Once|KestrowSys=C:\user\once.exe
setsz|HKCU|$run|KestrowSysTest|C:\y.exe > Auto Run|Changed|HKCU/$run|KestrowSysTest=C:\y.exe
EOF
# 2b. Every place of the place table gets one value (and one more in the 32-bit programs' view
# where Windows redirects the key: "HKLM2"), each giving its one line; a value that does not
# count, beside a counting one or alone, gives none. Rows: Category[,Event]|key|value|data[|details],
# category "-" for no line, data "dw:" a number, "bin:" bytes in hex; details "value=data" unless given.
# The Startup folders are named again as they are; the shell writes its own Shell Folders back, so
# these are tried in the 32-bit programs' view only.
places() {
    local c k v x det e op hive path p views
    while IFS='|' read -r c k v x det; do
        [[ $c == '>'* ]] && { echo "$c|$k|$v|$x"; continue; }
        e=New op=setsz hive=${k%%\\*} path=${k#*\\}
        [[ $c == *,* ]] && e=${c#*,} c=${c%,*}
        [[ $x == dw:* ]] && op=setdw x=${x#dw:}
        [[ $x == bin:* ]] && op=setbin x=${x#bin:}
        det=${det:-${v:-(Default)}=$x} views=("$path")
        [ "$hive" = HKLM2 ] && hive=HKLM views+=("Software\\WOW6432Node\\${path#Software\\}")
        for p in "${views[@]}"; do
            [ "$c" = - ] && echo "$op|$hive|$p|$v|$x" || echo "$op|$hive|$p|$v|$x > $c|$e|$hive/$p|$det"
        done
    done
}
nt='Software\Microsoft\Windows NT\CurrentVersion' cc='SYSTEM\CurrentControlSet\Control'
sm="$cc\Session Manager" ts="$cc\Terminal Server" tsc='Software\Microsoft\Terminal Server Client'
office='Software\Microsoft\Office' ax='Software\Microsoft\Active Setup\Installed Components\KT'
step < <(places <<EOF
Auto Run|HKCU\\$cv\RunOnceEx|KT|C:\kt\1.exe
Auto Run|HKLM2\\$cv\RunOnceEx\KT0001|KT|C:\kt\2.exe
Auto Run|HKCU\\$cv\RunOnceEx\KT0001|KT|C:\kt\3.exe
Auto Run|HKLM2\\$cv\RunOnceEx\KT0001\Depend|KT|C:\kt\4.exe
Auto Run|HKCU\\$cv\RunOnceEx\KT0001\Depend|KT|C:\kt\5.exe
Auto Run|HKLM2\\$cv\Policies\Explorer\Run|KT|C:\kt\6.exe
Auto Run|HKCU\\$cv\Policies\Explorer\Run|KT|C:\kt\7.exe
Auto Run|HKLM2\\$nt\Terminal Server\Install\\$cv\Run|KT|C:\kt\8.exe
Auto Run|HKLM2\\$nt\Terminal Server\Install\\$cv\RunOnce|KT|C:\kt\9.exe
Auto Run|HKLM2\\$nt\Terminal Server\Install\\$cv\RunOnceEx|KT|dw:10
Auto Run|HKCU\\$nt\Windows|Load|C:\kt\11.exe
-|HKCU\\$nt\Windows|KTDevice|C:\kt\no.exe
Auto Start,Changed|HKCU\\$cv\Explorer\User Shell Folders|StartUp|$startup
Auto Start,Changed|HKLM\\$cv\Explorer\User Shell Folders|Common StartUp|$common
Auto Start|HKLM\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders|Common StartUp|C:\kt\common
Auto Start|HKLM\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders|Common StartUp|C:\kt\common32
Startup Approved|HKLM2\\$cv\Explorer\StartupApproved\Run|KT|bin:030000000000|KT=disabled
Startup Approved|HKLM2\\$cv\Explorer\StartupApproved\Run32|KT|bin:02|KT=enabled
Startup Approved|HKLM2\\$cv\Explorer\StartupApproved\StartupFolder|KT|bin:03|KT=disabled
Startup Approved|HKCU\\$cv\Explorer\StartupApproved\Run|KT|bin:02|KT=enabled
Startup Approved|HKCU\\$cv\Explorer\StartupApproved\Run32|KT|bin:03|KT=disabled
Startup Approved|HKCU\\$cv\Explorer\StartupApproved\StartupFolder|KT|bin:06|KT=enabled
Service|HKLM2\\$nt\SvcHost|KTgroup|KTsvc
Service|HKLM\\$svc\Parameters|ServiceDll|C:\kt\svc.dll
Service|HKLM\System\CurrentControlSet\Services\W32Time\TimeProviders\KT|DllName|C:\kt\time.dll
> Service|New|W32Time|
WinLogon|HKCU\\$nt\Winlogon|Shell|explorer.exe,C:\kt\shell.exe
-|HKCU\\$nt\Winlogon|KTOther|x
WinLogon|HKLM2\\$nt\Winlogon\Notify\KT|DllName|C:\kt\notify.dll
WinLogon|HKLM2\\$nt\Winlogon\GPExtensions\{KT}|DllName|C:\kt\gp.dll
WinLogon|HKLM\\$cc\SafeBoot|AlternateShell|C:\kt\alt.exe
Boot Execute|HKLM\\$sm|BootExecute|autocheck kt
Boot Execute|HKLM\SYSTEM\Setup|CmdLine|C:\kt\setup.exe
Boot Execute|HKLM\\$cc\BootVerificationProgram|ImagePath|C:\kt\verify.exe
Image Hijacks|HKLM2\\$nt\Image File Execution Options\KT.exe|Debugger|C:\kt\dbg.exe
-|HKLM\\$nt\Image File Execution Options\KT.exe|MitigationOptions|dw:1
-|HKLM\\$nt\Image File Execution Options\KTalone.exe|MitigationOptions|dw:1
Image Hijacks|HKLM2\\$nt\Accessibility\ATs\KT|StartExe|C:\kt\at.exe
Image Hijacks|HKLM2\\$nt\SilentProcessExit\KT.exe|MonitorProcess|C:\kt\mon.exe
Image Hijacks|HKLM2\Software\Microsoft\Command Processor|AutoRun|C:\kt\cmd.bat
Image Hijacks|HKCU\Software\Microsoft\Command Processor|AutoRun|C:\kt\cmdu.bat
Image Hijacks,Changed|HKLM\\$nt\AeDebug|Debugger|C:\kt\aedebug.exe
Image Hijacks|HKLM2\\$cv\App Paths\KT.exe||C:\kt\app.exe
Image Hijacks|HKLM2\\$cv\Explorer\MyComputer\KT||C:\kt\my.exe
Image Hijacks|HKLM2\\$nt\AppCompatFlags\TelemetryController\KT|Command|C:\kt\tel.exe
Image Hijacks|HKLM2\Software\Microsoft\Windows\Windows Error Reporting\Hangs|Debugger|C:\kt\hang.exe
AppInit|HKLM2\\$nt\Windows|AppInit_DLLs|C:\kt\init.dll
AppInit|HKLM\\$sm\AppCertDlls|KT|C:\kt\cert.dll
AppInit|HKLM\\$sm\KnownDLLs|KT|kt.dll
AppInit|HKLM2\\$nt\AppCompatFlags\Custom\KT.exe|KT.sdb|dw:1
AppInit|HKLM2\\$nt\AppCompatFlags\InstalledSDB\{KT}|DatabasePath|C:\kt\kt.sdb
AppInit|HKCU\Environment|COR_PROFILER|{KT}
AppInit|HKLM\\$sm\Environment|COR_PROFILER_PATH|C:\kt\prof.dll
LSA Providers|HKLM\\$cc\Lsa|Authentication Packages|kt
LSA Providers|HKLM\\$cc\Lsa\OSConfig|Security Packages|kt
LSA Providers|HKLM\\$cc\SecurityProviders|SecurityProviders|kt.dll
Print Monitors|HKLM\\$cc\Print\Monitors\KT|Driver|kt.dll
Print Monitors|HKLM\\$cc\Print\Environments\Windows x64\Print Processors\KT|Driver|ktp.dll
Network Providers|HKLM2\Software\Microsoft\NetSh|KT|kt.dll
Network Providers|HKLM\\$cc\NetworkProvider\Order|ProviderOrder|KT
Network Providers|HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters|AutodialDLL|C:\kt\dial.dll
Network Providers|HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\NameSpace_Catalog5\Catalog_Entries64\KT|LibraryPath|C:\kt\ns.dll
Active Setup|HKLM2\\$ax|StubPath|C:\kt\stub.exe
Active Setup|HKCU\\$ax|Version|1,0
Logon Scripts|HKCU\Environment|UserInitMprLogonScript|C:\kt\logon.bat
Logon Scripts|HKLM2\\$cv\Group Policy\Scripts\Startup\0\0|Script|C:\kt\gp.bat
Logon Scripts|HKCU\\$cv\Group Policy\Scripts\Logon\0\0|Parameters|/kt
Explorer Add-ons|HKLM2\\$cv\ShellServiceObjectDelayLoad|KT|{KT}
Explorer Add-ons|HKLM2\\$cv\Explorer\ShellServiceObjects\{KT}||kt
Explorer Add-ons|HKLM2\\$cv\Explorer\SharedTaskScheduler|{KT}|kt
Explorer Add-ons|HKLM2\\$cv\Explorer\ShellIconOverlayIdentifiers\KT||{KT}
Explorer Add-ons|HKLM2\\$cv\Explorer\Browser Helper Objects\{KT}||kt
Explorer Add-ons|HKLM2\\$cv\Explorer\ShellExecuteHooks|{KT}|kt
Screensaver|HKCU\Control Panel\Desktop|SCRNSAVE.EXE|C:\kt\kt.scr
Office Add-ins|HKCU\Software\Microsoft\Office test\Special\Perf||C:\kt\perf.dll
Office Add-ins|HKLM2\\$office\Outlook\Addins\KT|LoadBehavior|dw:3
Office Add-ins|HKCU\\$office\Word\Addins\KT|Manifest|C:\kt\m.xml
Office Add-ins|HKLM2\\$office\16.0\Excel\Addins\KT|Manifest|C:\kt\e.xml
Office Add-ins|HKCU\\$office\16.0\Word\Addins\KT|LoadBehavior|dw:3
Office Add-ins|HKCU\\$office\16.0\Outlook\WebView\Inbox|URL|http://kt/
Office Add-ins|HKCU\\$office\16.0\Word\Options|STARTUP-PATH|C:\kt
Terminal Server|HKLM\\$ts\WinStations\RDP-Tcp|InitialProgram|C:\kt\rdp.exe
Terminal Server|HKLM\\$ts\Wds\rdpwd|StartupPrograms|rdpclip,kt
Terminal Server|HKLM\\$ts\AddIns\KT|Path|C:\kt\addin.dll
Terminal Server|HKLM2\\$tsc|ClxDllPath|C:\kt\clx.dll
Terminal Server|HKCU\\$tsc|ClxDllPath|C:\kt\clxu.dll
Terminal Server|HKLM2\\$tsc\Default\Addins\KT|Name|C:\kt\tsc.dll
Terminal Server|HKCU\\$tsc\Default\Addins\KT|Name|C:\kt\tscu.dll
Safe Boot|HKLM\\$cc\SafeBoot\Minimal\KT||Service
Safe Boot|HKLM\\$cc\SafeBoot\Network\KT.sys||Driver
File Associations|HKCU\Software\Classes\.ktsys6||KT.User
File Associations|HKCU\Software\Classes\KT.User\shell\open\command||C:\kt\user.exe
File Associations|HKCU\Software\Classes\Directory\Background\shell\KT\command||C:\kt\ubg.exe
File Associations|HKLM\Software\Classes\batfile\shell\open\command||C:\kt\bat.exe
File Associations|HKLM\Software\Classes\cmdfile\shell\open\command||C:\kt\cmd.exe
File Associations|HKLM\Software\Classes\comfile\shell\open\command||C:\kt\com.exe
File Associations|HKLM\Software\Classes\htafile\shell\open\command||C:\kt\hta.exe
File Associations|HKLM\Software\Classes\mscfile\shell\open\command||C:\kt\msc.exe
File Associations|HKLM\Software\Classes\scrfile\shell\open\command||C:\kt\scr.exe
File Associations|HKLM\Software\Classes\*\shell\KT\command||C:\kt\verb.exe
File Associations|HKLM\Software\Classes\Directory\shell\KT\command||C:\kt\verb.exe
File Associations|HKLM\Software\Classes\Directory\Background\shell\KT\command||C:\kt\verb.exe
File Associations|HKLM\Software\Classes\Folder\shell\KT\command||C:\kt\verb.exe
File Associations|HKLM\Software\Classes\Drive\shell\KT\command||C:\kt\verb.exe
-|HKLM\Software\Classes\Drive\shell\KTnone||x
EOF
)
# The Office folders, made only now: watched from their parent until then; a user's own class
# and a class with only a shell verb.
roaming="C:\users\\$(whoami)\AppData\Roaming\Microsoft"
mkdir -p "$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Microsoft/"{Word/STARTUP,Excel/XLSTART}
step <<EOF
mkfile|$roaming\Word\STARTUP\kt.dotm|x > Office Add-ins|New|$roaming\Word\STARTUP|kt.dotm
mkfile|$roaming\Excel\XLSTART\kt.xlam|x > Office Add-ins|New|$roaming\Excel\XLSTART|kt.xlam
setsz|HKCU|Software\Classes\CLSID\\$cls\InprocServer32||C:\kt\user.dll > ActiveX COM|New|$cls (per user)|Inproc=C:\kt\user.dll;
setsz|HKCR|CLSID\{4B535953-0000-4000-8000-000000000006}\shell\open\command||C:\kt\open.exe > ActiveX COM|New|{4B535953-0000-4000-8000-000000000006}|open=C:\kt\open.exe;
EOF

# Undo from the list's keys: Home (and Down) select a row, Delete asks, Yes undoes it; the state
# before is kept in Undo beside the log, and reg import of that file makes the value again. A row
# whose value changed again since is refused, and nothing is written.
undo() { # KEYS TEXT-OF-THE-QUESTION BUTTON (6 Yes, 1 OK)
    wt key Kestrow 1005 $1 && wt answer "$2" "$3" $((limit * 1000)) >/dev/null || fail "not asked: $2"
}
u="HKCU/$run"
step <<<"setsz|HKCU|$run|KTU|C:\u.exe > Auto Run|New|$u|KTU=C:\u.exe"
undo 'home delete' "Remove the value KTU=C:\u.exe from HKCU\\$run?" 6
step <<<"> Auto Run|Deleted|$u|KTU=C:\u.exe"
kept=$(compgen -G "$SYSTEST_DIR/Undo/* Auto Run.reg") || fail "no .reg file in $SYSTEST_DIR/Undo"
wine reg import "$(winepath -w "$kept")" >/dev/null 2>&1 || fail "reg import $kept failed"
again="\"$d\",\"Auto Run\",\"New\",\"$u\",\"KTU=C:\\u.exe\"" # the value's first line, once more
wait_until eval '[ "$(csv | tr -d "\r" | grep -cxF -- "$again")" = 2 ]' || fail "reg import made no value"
expected+=("$again")
step <<<"setsz|HKCU|$run|KTU|C:\v.exe > Auto Run|Changed|$u|KTU=C:\v.exe"
undo 'home delete' "Write back KTU=C:\u.exe in HKCU\\$run, in place of C:\v.exe?" 6
step <<<"> Auto Run|Changed|$u|KTU=C:\u.exe"
step <<<"setsz|HKCU|$run|KTU|C:\w.exe > Auto Run|Changed|$u|KTU=C:\w.exe"
undo 'home down delete' "The value KTU in HKCU\\$run has changed again since this row" 1
step <<<"setsz|HKCU|$run|KTU_Mark|m > Auto Run|New|$u|KTU_Mark=m"
wine reg query "HKCU\\$run" /v KTU | grep -qF 'C:\w.exe' || fail "the refused undo changed the value"
[ "$(compgen -G "$SYSTEST_DIR/Undo/*" | wc -l)" = 2 ] || fail "not one .reg file for each undo: $(ls "$SYSTEST_DIR/Undo")"

# The MSI installed, then replaced by a package of the next version made from the same exe, then
# removed: its uninstall entry (named by the ProductCode) comes, gives way to the next version's and
# goes; the user's settings stay. Wine 8 puts a per-machine shortcut in the user's Start Menu.
msi() { wine msiexec "$@" /qn </dev/null >/dev/null 2>&1 || fail "msiexec $* failed"; }
code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
pf="$WINEPREFIX/drive_c/Program Files/Kestrow"
menu='Microsoft/Windows/Start Menu/Programs/Kestrow.lnk'
shortcut() { compgen -G "$WINEPREFIX/drive_c/ProgramData/$menu" || compgen -G "$WINEPREFIX/drive_c/users/*/AppData/Roaming/$menu"; } >/dev/null
installed() { [ -f "$pf/Kestrow.exe" ] && [ -f "$pf/README.txt" ] && shortcut; }
settings() { wine reg query 'HKCU\Software\Kestrow' | tr -d '\r'; }
next=${KESTROW_VERSION%.*}.$((${KESTROW_VERSION##*.} + 1))
next_msi="$SYSTEST_DIR.next/Kestrow-$next.msi"
cmake -DVERSION="$next" -DEXE="$KESTROW_EXE" -DOUT_DIR="$SYSTEST_DIR.next" -DMSI_ONLY=1 -P "$(dirname "$0")/../../cmake/package.cmake" ||
    fail "could not make the package of $next"
p1=$(code "$KESTROW_MSI") p2=$(code "$next_msi")
wine reg add 'HKCU\Software\Kestrow' /v ReportOffline /t REG_DWORD /d 1 /f >/dev/null && kept=$(settings)
msi /i "$KESTROW_MSI"
installed || fail "the package did not install the program and its shortcut"
step <<<"> Installs|New|$p1|Kestrow v$KESTROW_VERSION"
msi /i "$next_msi"
step <<EOF
> Installs|Deleted|$p1|Kestrow v$KESTROW_VERSION
> Installs|New|$p2|Kestrow v$next
EOF
installed && [ "$(settings)" = "$kept" ] || fail "the upgrade lost the program or the settings"

# Options, Auto Start ticked: the program's quoted path in the machine's Run key. Only after the
# upgrade: Wine 8 removes the older package without UPGRADINGPRODUCTCODE, so Auto Start would go too.
wt click Kestrow 1010 && wt wait 'Kestrow Options' $((limit * 1000)) >/dev/null && wt click 'Kestrow Options' 1009 &&
    wt click 'Kestrow Options' 1 || fail "could not work the Options dialog"
step <<<"> Auto Run|New|HKLM/$run|Kestrow=\"$(winepath -w "$SYSTEST_DIR/Kestrow.exe")\""
# The uninstall takes Auto Start and the event source with it and leaves the settings.
kept=$(settings)
msi /x "$next_msi"
step <<EOF
> Installs|Deleted|$p2|Kestrow v$next
> Auto Run|Deleted|HKLM/$run|Kestrow="$(winepath -w "$SYSTEST_DIR/Kestrow.exe")"
EOF
[ ! -e "$pf" ] && ! shortcut || fail "the uninstall left program files or the shortcut"
! wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Kestrow' >/dev/null 2>&1 ||
    fail "the uninstall left the event source"
[ "$(settings)" = "$kept" ] || fail "the uninstall changed the settings"
stop_kestrow

# Every event also reached the event log (Wine's trace of each call); the source was
# registered once.
[ "$(grep -c ':fixme:advapi:ReportEventA ' "$SYSTEST_DIR/debug.txt")" = "$(log_lines)" ] || fail "the event log did not get every event"
[ "$(grep -c "RegisterEventSourceA " "$SYSTEST_DIR/debug.txt")" -eq 1 ] || fail "the event source was not registered exactly once"

# 3. Changes made while Kestrow was not running come at the next start, from the snapshots it
# saved; a marker value made after that start is the last line.
printf '%s\n' "setsz|HKCU|$run|KTO_Added|3" "delval|HKCU|$run|KTO_Gone" "addtask|KTO_Task|C:\kto.exe" | ops
KESTROW_KEEP=1 start_kestrow
tid=$(id_of 'C:\kto.exe')
step <<EOF
setsz|HKCU|$run|KTO_Mark1|m > Auto Run|New|HKCU/$run|KTO_Mark1=m
> Auto Run|New|HKCU/$run|KTO_Added=3
> Auto Run|Deleted|HKCU/$run|KTO_Gone=2
> Task Scheduler|New|KTO_Task.job|;C:\kto.exe
> Task Scheduler|New|$tid|;12:00AM;C:\kto.exe
EOF
stop_kestrow
# A damaged file: the user told, nothing reported from it (the file is kept aside, as the unit
# tests check).
printf 'Kestrow saved snapshots 1\n[HKCU\\broken' >"$SYSTEST_DIR/Kestrow.snapshots"
ops <<<"setsz|HKCU|$run|KTO_Bad|4"
KESTROW_KEEP=1 start_kestrow
step <<<"setsz|HKCU|$run|KTO_Mark2|m > Auto Run|New|HKCU/$run|KTO_Mark2=m"
wt text Kestrow 1012 | grep -qF 'could not be read' || fail "not told of the damaged file: $(wt text Kestrow 1012)"
stop_kestrow

# 4. A program folder that cannot take the log: the fallback log, and the user told where.
fallback="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/Kestrow"
rm -rf "$SYSTEST_DIR"
mkdir -p "$SYSTEST_DIR/Kestrow.csv"
KESTROW_KEEP=1 start_kestrow
wt text Kestrow 1012 | grep -qF 'AppData\Local\Kestrow\Kestrow.csv' || fail "not told where the log is: $(wt text Kestrow 1012)"
expected=()
SYSTEST_DIR=$fallback step <<<"setsz|HKCU|$run|KTS_Moved|c > Auto Run|New|HKCU/$run|KTS_Moved=c"
stop_kestrow
finish

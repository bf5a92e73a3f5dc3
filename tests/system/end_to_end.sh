#!/usr/bin/env bash
# The real Kestrow.exe with its real settle and task poll, driven from outside, run from a folder
# whose name holds a space. Each step makes its changes together and waits once for their lines;
# the log must then hold exactly the lines expected so far: a later change in each place marks
# the end, so nothing of the earlier ones can follow once its line is in.
source "$(dirname "$0")/lib.sh"
SYSTEST_DIR="$SYSTEST_DIR/Kestrow Test"
cv='Software\Microsoft\Windows\CurrentVersion'
wow='Software\WOW6432Node\Microsoft\Windows\CurrentVersion'
svc='System\CurrentControlSet\Services\KestrowSysSvc'
wl='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
cls='{4B535953-0000-4000-8000-000000000005}'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Kestrow'
job='c:\kestrow\job.bat' app='C:\kestrow\task.exe' d=$(today)
startup=$(wt folders | head -1)
startup=$(winepath -u "$startup" 2>/dev/null)
long=$(printf 'a%.0s' $(seq 2000))
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
zhe=$(hex 'Updater')d096 ii=$(hex 'Updater')d098 # "Updater" with U+0416 and with U+0418

# Applies the changes on stdin at once: OPSFILE lines (see testtool.cpp) with | for the tabs.
ops() {
    tr '|' '\t' >"$SYSTEST_DIR.ops"
    wt run "$(winepath -w "$SYSTEST_DIR.ops")" | awk -F'\t' '$2 != 0 { print "FAIL: not made: " $0; exit 1 }' || failures=$((failures + 1))
}
# Lines "Category|Event|Location|Details" on stdin, as the log writes them today.
expected=()
expect() {
    local c k l x line
    while IFS='|' read -r c k l x; do
        line="\"$d\",\"$c\",\"$k\",\"$l\",\"$x\""
        wait_for_line "$line" || fail "no line $line"
        expected+=("$line")
    done
    [ "$(csv | tr -d '\r' | sort)" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
        { fail "the log holds other lines than expected:"; diff <(printf '%s\n' "${expected[@]}" | sort) <(csv | tr -d '\r' | sort); }
}
# The log read strictly: records of five quoted fields ended by CR LF and nothing else.
check_log() {
    python3 -c 'import re, sys
data, field = open(sys.argv[1], "rb").read(), rb"\"(?:[^\"]|\"\")*\""
bad = re.sub(rb"(" + rb",".join([field] * 5) + rb"\r\n)*", b"", data, count=1)
sys.exit("not whole CSV records: %r" % bad[:80] if bad else 0)' "$1" || fail "$1 is not whole lines"
}
is_state() { [ "$(wt state "$1")" = "$2" ]; }
# Works the Options dialog: Auto Start clicked, then OK.
auto_start() {
    wt click Kestrow 1010
    wait_until is_state "Kestrow Options" visible || fail "the Options dialog never appeared"
    wt click "Kestrow Options" 1009 && wt click "Kestrow Options" 1
    wt gone "Kestrow Options" $((limit * 1000)) >/dev/null || fail "OK did not close the Options dialog"
}
# Takes away whatever a run left behind; most of it is not there.
clean() {
    local kept=$failures
    ops <<EOF
delkey|HKLM|$cv\RunOnceEx
delkey|HKLM|$wow\RunOnceEx
delkey|HKCU|$cv\RunOnce
delkey|HKLM|$svc
delkey|HKLM|$cv\Uninstall\KestrowSysTool
delkey|HKLM|$wow\Uninstall\KestrowSys32
delkey|HKCU|$cv\Uninstall\KestrowSysUser
delkey|HKCR|CLSID\\$cls
delkey|HKCR|WOW6432Node\CLSID\\$cls
delkey|HKCR|.ktsys5
delkey|HKCR|KestrowSys.File
delkey|HKCU|Network
delkey|HKCU|Software\Kestrow
delval|HKLM|$cv\Run|Updater
delval|HKLM|$cv\Run|Kestrow
delval|HKLM|$wow\Run|KestrowSys32
delval|HKLM|$wl|KestrowSysTest
deltask|KestrowSysTask
deltask|KTO_Task
deljob|$job
EOF
    reg delete "$source_key"
    fresh_run
    rm -f "$startup/KestrowSys.lnk"
    wine schtasks /delete /tn 'KestrowF\KestrowN' /f >/dev/null 2>&1
    failures=$kept
}
mkdir -p "$SYSTEST_DIR"
clean >/dev/null
# Root folder tasks only: HKCU RunOnce, HKLM RunOnceEx (both views) and HKCU\Network are missing
# at the start and made below.

# 1. One change in every category, made together; then rewrites and deletions.
KESTROW_WINEDEBUG=-all,+eventlog,fixme+advapi start_kestrow RunKeys Service Start Install COM Winlogon TaskScheduler ShareDrive FileAssociation
program=$(winepath -w "$SYSTEST_DIR/Kestrow.exe" 2>/dev/null | tr -d '\r')
ops <<EOF
setsz|HKLM|$cv\Run|Updater|C:\Tools\upd.exe
setsz|HKLM|$wow\Run|KestrowSys32|C:\x86\run.exe
setsz|HKLM|$wow\RunOnceEx|KestrowSys32|C:\x86\once.exe
setsz|HKLM|$cv\RunOnceEx|KestrowSys|C:\once.exe
setsz|HKCU|$cv\RunOnce|KestrowSys|C:\user\once.exe
setsz|HKCU|$cv\Run|KestrowSysTest|C:\Program Files\x.exe /q
setsz|HKCU|$cv\Run|KTS_Tail|$long
setsz|HKLM|$svc|ImagePath|C:\svc\sys.exe
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayName|Tool
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayVersion|1.2
setsz|HKLM|$wow\Uninstall\KestrowSys32|DisplayName|Tool32
setsz|HKCU|$cv\Uninstall\KestrowSysUser|DisplayName|Mine
mkfile|$(winepath -w "$startup")\KestrowSys.lnk|x
setdef|HKCR|CLSID\\$cls|Kestrow Sys Class
setdef|HKCR|CLSID\\$cls\InprocServer32|C:\kt5\sys.dll
setdef|HKCR|WOW6432Node\CLSID\\$cls\InprocServer32|C:\com\x86.dll
setdw|HKLM|$wl|KestrowSysTest|1
setsz|HKCU|Network\Q|RemotePath|\\\\server\\share
setdef|HKCR|KestrowSys.File\shell\open\command|C:\kt5\open.exe %1
setdef|HKCR|.ktsys5|KestrowSys.File
addtask|KestrowSysTask|$app
EOF
wt setw HKCU "$cv\\Run" "$zhe" "$(hex 'C:\')e4b8ade69687$(hex '\app.exe')" # C:\中文\app.exe
wt setw HKCU "$cv\\Run" "$ii" "$(hex 'C:\b.exe')"
reg add "HKCU\\$cv\\Run" /v "=cmd|' /C calc'!A0" /d b # a spreadsheet would run the name
jid=$(wt addjob "$job") || fail "could not add the job"
# A Task Scheduler 2.0 task in a folder: Wine 8 does not list those, so it gives no line here.
printf '<?xml version="1.0"?><Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Actions><Exec><Command>C:\\f.exe</Command></Exec></Actions></Task>' >"$SYSTEST_DIR.xml"
wine schtasks /create /tn 'KestrowF\KestrowN' /xml "$(winepath -w "$SYSTEST_DIR.xml")" >/dev/null 2>&1 || fail "schtasks did not take the task"
# A second start brings the running window up and ends: one window, every line once.
wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>&1 &
second=$!
wait_until eval '! kill -0 $second 2>/dev/null' || { fail "the second start kept running"; kill $second; }
[ "$(wt count Kestrow)" = 1 ] || fail "$(wt count Kestrow) Kestrow windows after a second start"
wait_until is_state Kestrow visible || fail "the second start did not bring the window up"
# The shell made again (TaskbarCreated) gets the tray icon back.
wt untray Kestrow 1002 && ! wt tray Kestrow 1002 || fail "the tray icon could not be taken away"
wt taskbar - && wait_until wt tray Kestrow 1002 || fail "the tray icon did not come back after TaskbarCreated"
auto_start
[ "$(wine reg query "HKLM\\$cv\\Run" /v Kestrow | tr -d '\r' | sed -n 's/^ *Kestrow *REG_SZ *//p')" = "\"$program\"" ] || fail "Auto Start did not store the quoted path"
[ "$(wine reg query "$source_key" | tr -d '\r' | sed -n 's/^ *\(EventMessageFile\|TypesSupported\) *//p' | tr '\n' ' ')" = "REG_EXPAND_SZ    $program REG_DWORD    0x4 " ] || fail "event source not registered"
# Wine lists every work item also as a job, and every job also as a work item "AtN.job".
at=$(wt tasks | c=$job awk -F'\t' '$1 == "item" && tolower($3) == ENVIRON["c"] { print $2 }')
tid=$(wt jobs | c=$app awk -F'\t' '$7 == ENVIRON["c"] { print $2 }')
expect <<EOF
Auto Run|New|HKLM/$cv\Run|Updater=C:\Tools\upd.exe
Auto Run|New|HKLM/$wow\Run|KestrowSys32=C:\x86\run.exe
Auto Run|New|HKLM/$wow\RunOnceEx|KestrowSys32=C:\x86\once.exe
Auto Run|New|HKLM/$cv\RunOnceEx|KestrowSys=C:\once.exe
Auto Run|New|HKCU/$cv\RunOnce|KestrowSys=C:\user\once.exe
Auto Run|New|HKCU/$cv\Run|KestrowSysTest=C:\Program Files\x.exe /q
Auto Run|New|HKCU/$cv\Run|KTS_Tail=${long:0:1014}
Auto Run|New|HKCU/$cv\Run|Updater?=C:\??\app.exe
Auto Run|New|HKCU/$cv\Run|Updater?=C:\b.exe
Auto Run|New|HKCU/$cv\Run|'=cmd|' /C calc'!A0=b
Auto Run|New|HKLM/$cv\Run|Kestrow=""$program""
Service|New|KestrowSysSvc|C:\svc\sys.exe
Installs|New|KestrowSysTool|Tool v1.2
Installs|New|KestrowSys32 (32-bit)|Tool32 v
Installs|New|KestrowSysUser (per user)|Mine v
Auto Start|New|Personal|KestrowSys.lnk
ActiveX COM|New|$cls|COM=Kestrow Sys Class;Inproc=C:\kt5\sys.dll;
ActiveX COM|New|$cls (32-bit)|Inproc=C:\com\x86.dll;
WinLogon|New|KestrowSysTest|1
Share Resource|New|Q|\\\\server\\share
File Associations|New|.ktsys5|KestrowSys.File=C:\kt5\open.exe %1
Task Scheduler|New|KestrowSysTask.job|;$app
Task Scheduler|New|$tid|;12:00AM;$app
Task Scheduler|New|$at|;$job
Task Scheduler|New|$jid|;12:00AM;$job
EOF


# Rewrites in place and deletions; the watched RunOnce key deleted.
ops <<EOF
delval|HKLM|$cv\Run|Updater
delval|HKLM|$wow\Run|KestrowSys32
delkey|HKCU|$cv\RunOnce
setsz|HKCU|$cv\Run|KestrowSysTest|C:\y.exe
setsz|HKCU|$cv\Run|KTS_Tail|${long%a}b
setsz|HKLM|$svc|ImagePath|C:\evil\svc.exe
setdef|HKCR|CLSID\\$cls\InprocServer32|C:\evil\com.dll
setsz|HKCU|Network\Q|RemotePath|\\\\evil\\share
delkey|HKCU|$cv\Uninstall\KestrowSysUser
deltask|KestrowSysTask
deljob|$job
EOF
wt setw HKCU "$cv\\Run" "$zhe" "$(hex 'C:\')e697a5e69cac$(hex '\app.exe')" # C:\日本\app.exe
wt delw HKCU "$cv\\Run" "$ii"
auto_start
reg query "HKLM\\$cv\\Run" /v Kestrow && fail "Auto Start unticked left the value"
expect <<EOF
Auto Run|Deleted|HKLM/$cv\Run|Updater=C:\Tools\upd.exe
Auto Run|Deleted|HKLM/$wow\Run|KestrowSys32=C:\x86\run.exe
Auto Run|Deleted|HKCU/$cv\RunOnce|KestrowSys=C:\user\once.exe
Auto Run|Changed|HKCU/$cv\Run|KestrowSysTest=C:\y.exe
Auto Run|Changed|HKCU/$cv\Run|KTS_Tail=${long:0:1014}
Auto Run|Changed|HKCU/$cv\Run|Updater?=C:\??\app.exe
Auto Run|Deleted|HKCU/$cv\Run|Updater?=C:\b.exe
Auto Run|Deleted|HKLM/$cv\Run|Kestrow=""$program""
Service|Changed|KestrowSysSvc|C:\evil\svc.exe
ActiveX COM|Changed|$cls|COM=Kestrow Sys Class;Inproc=C:\evil\com.dll;
Share Resource|Changed|Q|\\\\evil\\share
Installs|Deleted|KestrowSysUser (per user)|Mine v
Task Scheduler|Deleted|KestrowSysTask.job|;$app
Task Scheduler|Deleted|$tid|;12:00AM;$app
Task Scheduler|Deleted|$at|;$job
Task Scheduler|Deleted|$jid|;12:00AM;$job
EOF

# The RunOnce key made again is watched again; the rest taken away marks the end of the above.
ops <<EOF
setsz|HKCU|$cv\RunOnce|KestrowBack|C:\back.exe
delkey|HKLM|$cv\RunOnceEx
delkey|HKLM|$wow\RunOnceEx
delkey|HKLM|$svc
delkey|HKLM|$cv\Uninstall\KestrowSysTool
delkey|HKLM|$wow\Uninstall\KestrowSys32
delfile|$(winepath -w "$startup")\KestrowSys.lnk
delkey|HKCR|CLSID\\$cls
delkey|HKCR|WOW6432Node\CLSID\\$cls
delval|HKLM|$wl|KestrowSysTest
delkey|HKCU|Network
delkey|HKCR|.ktsys5
delval|HKCU|$cv\Run|KestrowSysTest
setsz|HKCU|$cv\Run|KTO_Gone|2
EOF
expect <<EOF
Auto Run|New|HKCU/$cv\RunOnce|KestrowBack=C:\back.exe
Auto Run|Deleted|HKLM/$wow\RunOnceEx|KestrowSys32=C:\x86\once.exe
Auto Run|Deleted|HKLM/$cv\RunOnceEx|KestrowSys=C:\once.exe
Auto Run|Deleted|HKCU/$cv\Run|KestrowSysTest=C:\y.exe
Auto Run|New|HKCU/$cv\Run|KTO_Gone=2
Service|Deleted|KestrowSysSvc|C:\evil\svc.exe
Installs|Deleted|KestrowSysTool|Tool v1.2
Installs|Deleted|KestrowSys32 (32-bit)|Tool32 v
Auto Start|Deleted|Personal|KestrowSys.lnk
ActiveX COM|Deleted|$cls|COM=Kestrow Sys Class;Inproc=C:\evil\com.dll;
ActiveX COM|Deleted|$cls (32-bit)|Inproc=C:\com\x86.dll;
WinLogon|Deleted|KestrowSysTest|1
Share Resource|Deleted|Q|\\\\evil\\share
File Associations|Deleted|.ktsys5|KestrowSys.File=C:\kt5\open.exe %1
EOF
ops <<<"delval|HKCU|$cv\RunOnce|KestrowBack"
expect <<<"Auto Run|Deleted|HKCU/$cv\RunOnce|KestrowBack=C:\back.exe"
stop_kestrow

# Every event also reached the event log, with the id of its kind and the five texts (Wine's
# trace of what it received escapes backslashes and quotes, and shows wide characters).
csv | python3 -c '
import csv, re, sys
kinds = {"New": "1", "Deleted": "2", "Changed": "3"}
# The log alone guards formula-like fields; the trace cuts long ones.
text = lambda t: re.sub(r"^\x27(?=[=+@-])", "", t)[:250]
want = sorted([kinds[r[2]]] + [text(f) for f in r] for r in csv.reader(sys.stdin.read().splitlines()))
got = []
for line in open(sys.argv[1], encoding="latin-1"):
    if ":fixme:advapi:ReportEventA " in line:
        got.append([str(int(line.split(",")[3], 16))])
    elif ":trace:eventlog:ReportEventW " in line:
        entry = re.sub(r"\\x[0-9a-f]{4}", "?", line.rstrip("\r\n").split("L\"", 1)[1][:-1])
        got[-1].append(re.sub(r"\\(.)", r"\1", entry)[:250])
got.sort()
sys.exit(0 if got == want else "event log %s\nwant %s" % ([g for g in got if g not in want], [w for w in want if w not in got]))' "$SYSTEST_DIR/debug.txt" || fail "the event log did not get every event"
[ "$(grep -c "RegisterEventSourceA " "$SYSTEST_DIR/debug.txt")" -eq 1 ] || fail "the event source was not registered exactly once"

# 3. Changes made while Kestrow was not running come at the next start, from the snapshots it
# saved; a marker value made after that start is the last line.
restart() {
    KESTROW_KEEP=1 start_kestrow RunKeys TaskScheduler
    reg add "HKCU\\$cv\\Run" /v "$1" /d m
}
ops <<EOF
setsz|HKCU|$cv\Run|KTO_Added|3
delval|HKCU|$cv\Run|KTO_Gone
addtask|KTO_Task|C:\kto.exe
EOF
restart KTO_Mark1
tid=$(wt jobs | awk -F'\t' '$7 == "C:\\kto.exe" { print $2 }')
expect <<EOF
Auto Run|New|HKCU/$cv\Run|KTO_Added=3
Auto Run|Deleted|HKCU/$cv\Run|KTO_Gone=2
Task Scheduler|New|KTO_Task.job|;C:\kto.exe
Task Scheduler|New|$tid|;12:00AM;C:\kto.exe
Auto Run|New|HKCU/$cv\Run|KTO_Mark1=m
EOF
stop_kestrow
# A damaged file: the user told, the file kept aside, nothing reported, the next start sound.
printf 'Kestrow saved snapshots 1\n[HKCU\\broken' >"$SYSTEST_DIR/Kestrow.snapshots"
reg add "HKCU\\$cv\\Run" /v KTO_Bad /d 4
restart KTO_Mark2
expect <<<"Auto Run|New|HKCU/$cv\Run|KTO_Mark2=m"
wt text Kestrow 1012 | grep -qF 'could not be read' || fail "not told of the damaged file: $(wt text Kestrow 1012)"
stop_kestrow
[ -f "$SYSTEST_DIR/Kestrow.snapshots.bad" ] || fail "the damaged file was not kept aside"
reg add "HKCU\\$cv\\Run" /v KTO_After /d 5
restart KTO_Mark3
expect <<EOF
Auto Run|New|HKCU/$cv\Run|KTO_After=5
Auto Run|New|HKCU/$cv\Run|KTO_Mark3=m
EOF
stop_kestrow
# Switched off: nothing of what changed meanwhile.
reg add 'HKCU\Software\Kestrow' /v ReportOffline /t REG_DWORD /d 0
reg add "HKCU\\$cv\\Run" /v KTO_Off /d 6
restart KTO_Mark4
expect <<<"Auto Run|New|HKCU/$cv\Run|KTO_Mark4=m"

# 4. The log held open (readers allowed, no writer) while 2,000 values come, until all of them
# are rows of the list: by then each line was tried. Afterwards every line arrives, in order.
burst() { seq -f "setsz|HKCU|$cv\\Run|$1%05g|C:\\burst.exe" 0 $(($2 - 1)) | ops; }
before=$(log_lines) rows=$(wt rows Kestrow)
wine "$TESTTOOL" hold "$(winepath -w "$SYSTEST_DIR/Kestrow.csv")" 3600000 </dev/null >"$SYSTEST_DIR.held" 2>/dev/null &
holder=$!
wait_until grep -q held "$SYSTEST_DIR.held" || fail "could not hold the log"
burst KTF_Held 2000
wait_until eval '[ "$(wt rows Kestrow)" -ge $((rows + 2000)) ]' || fail "the burst never reached the list"
[ "$(log_lines)" -eq "$before" ] || fail "lines were written while the log was held"
kill $holder
wait_until has_lines $((before + 2000)) || fail "not every held line arrived"
[ "$(csv | tail -n +$((before + 1)) | cut -d'"' -f10)" = "$(seq -f 'KTF_Held%05g=C:\burst.exe' 0 1999)" ] || fail "the held lines are not all there in order"
# Exit in the middle of a 5,000-event burst: the program ends, the log holds whole lines, the
# burst's lines the first ones in order.
before=$(log_lines)
burst KTF_Burst 5000
wait_until has_lines $((before + 300))
stop_kestrow
check_log "$SYSTEST_DIR/Kestrow.csv"
n=$(($(log_lines) - before))
[ "$(csv | tail -n +$((before + 1)) | cut -d'"' -f10)" = "$(seq -f 'KTF_Burst%05g=C:\burst.exe' 0 $((n - 1)))" ] || fail "the burst's lines are not the first ones in order"

# 5. A program folder that cannot take the log: the fallback log, and the user told where.
fallback="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/Kestrow/Kestrow.csv"
rm -rf "$SYSTEST_DIR" "$fallback"
mkdir -p "$SYSTEST_DIR/Kestrow.csv"
KESTROW_KEEP=1 start_kestrow RunKeys
wt text Kestrow 1012 | grep -qF 'AppData\Local\Kestrow\Kestrow.csv' || fail "not told where the log is: $(wt text Kestrow 1012)"
reg add "HKCU\\$cv\\Run" /v KTS_Moved /d c
SYSTEST_DIR=$(dirname "$fallback") wait_for_line "\"$d\",\"Auto Run\",\"New\",\"HKCU/$cv\\Run\",\"KTS_Moved=c\"" || fail "no line in $fallback"
stop_kestrow
rm -rf "$fallback"
clean >/dev/null
finish

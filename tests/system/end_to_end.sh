#!/usr/bin/env bash
# The real Kestrow.exe with its real settle and task poll, driven from outside, run from a folder
# whose name holds a space. The monitors' own cases are their unit tests'; here each place gets
# one change through the real registry, folders and schedule service, and the program around
# them: one instance, the tray, the event log, saved snapshots, a held log, Exit in a burst and
# the fallback log.
source "$(dirname "$0")/lib.sh"
SYSTEST_DIR="$SYSTEST_DIR/Kestrow Test"
cv='Software\Microsoft\Windows\CurrentVersion' run='Software\Microsoft\Windows\CurrentVersion\Run'
svc='System\CurrentControlSet\Services\KestrowSysSvc' cls='{4B535953-0000-4000-8000-000000000005}'
wl='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
job='c:\kestrow\job.bat' app='C:\kestrow\task.exe' d=$(date +%d/%m/%Y)
lnk="$(wt folders | head -1)\\KestrowSys.lnk"

# Applies the OPSFILE lines (see testtool.cpp) on stdin at once, | for the tabs.
ops() {
    tr '|' '\t' >"$SYSTEST_DIR.ops"
    wt run "$(winepath -w "$SYSTEST_DIR.ops")" | awk -F'\t' '$2 != 0 { print "FAIL: not made: " $0; exit 1 }' || failures=$((failures + 1))
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
        e="\"$d\",\"$c\",\"$k\",\"$l\",\"$x\""
        expected+=("$e")
        wait_until has_line "$e" || fail "no line $e"
    done
    [ "$(csv | tr -d '\r' | sort)" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
        { fail "the log holds other lines than expected:"; diff <(printf '%s\n' "${expected[@]}" | sort) <(csv | tr -d '\r' | sort); }
}
# Takes away whatever a run left behind; most of it is not there.
clean() {
    local kept=$failures
    { printf 'delkey|%s\n' "HKCU|${run}Once" "HKLM|$svc" "HKLM|$cv\Uninstall\KestrowSysTool" "HKCR|CLSID\\$cls" \
        "HKCR|.ktsys5" "HKCR|KestrowSys.File" "HKCU|Network" "HKCU|Software\Kestrow" "HKCU|$run" \
        'HKLM|SYSTEM\CurrentControlSet\Services\EventLog\Application\Kestrow'
      printf '%s\n' "mkkey|HKCU|$run" "delval|HKLM|$run|Updater" "delval|HKLM|$wl|KestrowSysTest" "delfile|$lnk" \
        "deltask|KestrowSysTask" "deltask|KTO_Task" "deljob|$job"; } | ops >/dev/null
    failures=$kept
}
# Work items and jobs by their command ($2), as Wine lists them: item names or job ids ($1).
id_of() { wt tasks | k=$1 c=$2 awk -F'\t' '$1 == ENVIRON["k"] && tolower($NF) == tolower(ENVIRON["c"]) { print $2 }'; }
mkdir -p "$SYSTEST_DIR"
clean

# 1. A second start brings the running window up and ends; the shell made again
# (TaskbarCreated) gets the tray icon back.
KESTROW_WINEDEBUG=-all,+eventlog,fixme+advapi start_kestrow RunKeys Service Start Install COM Winlogon TaskScheduler ShareDrive FileAssociation
wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>&1 &
second=$!
wait_until eval '! kill -0 $second 2>/dev/null' || { fail "the second start kept running"; kill $second; }
wait_until eval '[ "$(wt state Kestrow)" = visible ]' || fail "the second start did not bring the window up"
wt untray Kestrow 1002 && ! wt tray Kestrow 1002 || fail "the tray icon could not be taken away"
wt taskbar - && wait_until wt tray Kestrow 1002 || fail "the tray icon did not come back after TaskbarCreated"

# 2. One change in every place, made together; then a rewrite, and a watched key deleted. HKCU's RunOnce
# and Network keys are missing at the start. Wine lists every work item also as a job, and
# every job also as a work item "AtN.job".
printf '%s\n' "addjob|$job" "addtask|KestrowSysTask|$app" | ops
ids() { tid=$(id_of job "$app") jid=$(id_of job "$job") at=$(id_of item "$job"); [ -n "$tid" ] && [ -n "$jid" ] && [ -n "$at" ]; }
wait_until ids || fail "the task and the job are not listed: $(wt tasks)"
step <<EOF
setsz|HKLM|$run|Updater|C:\Tools\upd.exe > Auto Run|New|HKLM/$run|Updater=C:\Tools\upd.exe
setsz|HKCU|${run}Once|KestrowSys|C:\user\once.exe > Auto Run|New|HKCU/${run}Once|KestrowSys=C:\user\once.exe
setsz|HKCU|$run|KestrowSysTest|C:\Program Files\x.exe /q > Auto Run|New|HKCU/$run|KestrowSysTest=C:\Program Files\x.exe /q
setsz|HKCU|$run|KTO_Gone|2 > Auto Run|New|HKCU/$run|KTO_Gone=2
setsz|HKLM|$svc|ImagePath|C:\svc\sys.exe > Service|New|KestrowSysSvc|C:\svc\sys.exe
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayVersion|1.2
setsz|HKLM|$cv\Uninstall\KestrowSysTool|DisplayName|Tool > Installs|New|KestrowSysTool|Tool v1.2
mkfile|$lnk|x > Auto Start|New|Personal|KestrowSys.lnk
setdef|HKCR|CLSID\\$cls|Kestrow Sys Class
setdef|HKCR|CLSID\\$cls\InprocServer32|C:\kt5\sys.dll > ActiveX COM|New|$cls|COM=Kestrow Sys Class;Inproc=C:\kt5\sys.dll;
setdw|HKLM|$wl|KestrowSysTest|1 > WinLogon|New|KestrowSysTest|1
setsz|HKCU|Network\Q|RemotePath|\\\\server\\share > Share Resource|New|Q|\\\\server\\share
setdef|HKCR|KestrowSys.File\shell\open\command|C:\kt5\open.exe %1
setdef|HKCR|.ktsys5|KestrowSys.File > File Associations|New|.ktsys5|KestrowSys.File=C:\kt5\open.exe %1
> Task Scheduler|New|KestrowSysTask.job|;$app
> Task Scheduler|New|$tid|;12:00AM;$app
> Task Scheduler|New|$at|;$job
> Task Scheduler|New|$jid|;12:00AM;$job
EOF
step <<EOF
delkey|HKCU|${run}Once > Auto Run|Deleted|HKCU/${run}Once|KestrowSys=C:\user\once.exe
setsz|HKCU|$run|KestrowSysTest|C:\y.exe > Auto Run|Changed|HKCU/$run|KestrowSysTest=C:\y.exe
EOF
# The RunOnce key made again is watched again.
step <<<"setsz|HKCU|${run}Once|KestrowBack|C:\back.exe > Auto Run|New|HKCU/${run}Once|KestrowBack=C:\back.exe"
step <<<"delval|HKCU|${run}Once|KestrowBack > Auto Run|Deleted|HKCU/${run}Once|KestrowBack=C:\back.exe"
stop_kestrow

# Every event also reached the event log (Wine's trace of each call); the source was
# registered once.
[ "$(grep -c ':fixme:advapi:ReportEventA ' "$SYSTEST_DIR/debug.txt")" = "$(log_lines)" ] || fail "the event log did not get every event"
[ "$(grep -c "RegisterEventSourceA " "$SYSTEST_DIR/debug.txt")" -eq 1 ] || fail "the event source was not registered exactly once"

# 3. Changes made while Kestrow was not running come at the next start, from the snapshots it
# saved; a marker value made after that start is the last line.
printf '%s\n' "setsz|HKCU|$run|KTO_Added|3" "delval|HKCU|$run|KTO_Gone" "addtask|KTO_Task|C:\kto.exe" | ops
KESTROW_KEEP=1 start_kestrow RunKeys TaskScheduler
tid=$(id_of job 'C:\kto.exe')
step <<EOF
setsz|HKCU|$run|KTO_Mark1|m > Auto Run|New|HKCU/$run|KTO_Mark1=m
> Auto Run|New|HKCU/$run|KTO_Added=3
> Auto Run|Deleted|HKCU/$run|KTO_Gone=2
> Task Scheduler|New|KTO_Task.job|;C:\kto.exe
> Task Scheduler|New|$tid|;12:00AM;C:\kto.exe
EOF
stop_kestrow
# A damaged file: the user told, the file kept aside, nothing reported, the next start sound.
printf 'Kestrow saved snapshots 1\n[HKCU\\broken' >"$SYSTEST_DIR/Kestrow.snapshots"
ops <<<"setsz|HKCU|$run|KTO_Bad|4"
KESTROW_KEEP=1 start_kestrow RunKeys
step <<<"setsz|HKCU|$run|KTO_Mark2|m > Auto Run|New|HKCU/$run|KTO_Mark2=m"
wt text Kestrow 1012 | grep -qF 'could not be read' || fail "not told of the damaged file: $(wt text Kestrow 1012)"
stop_kestrow
[ -f "$SYSTEST_DIR/Kestrow.snapshots.bad" ] || fail "the damaged file was not kept aside"
ops <<<"setsz|HKCU|$run|KTO_After|5"
KESTROW_KEEP=1 start_kestrow RunKeys
step <<EOF
setsz|HKCU|$run|KTO_Mark3|m > Auto Run|New|HKCU/$run|KTO_Mark3=m
> Auto Run|New|HKCU/$run|KTO_After=5
EOF

# 4. The log held open (readers allowed, no writer) while 2,000 values come, until all of them
# are rows of the list: by then each line was tried. Afterwards every line arrives, in order.
burst() { seq -f "setsz|HKCU|$run|$1%05g|C:\\burst.exe" 0 $(($2 - 1)) | ops; }
# The log's lines after the first $2 are whole lines of burst $1's values, from the first on.
in_order() {
    local n=$(($(csv | wc -l) - $2))
    [ "$(csv | tail -n +$(($2 + 1)))" = "$(seq -f "\"$d\",\"Auto Run\",\"New\",\"HKCU/$run\",\"$1%05g=C:\\burst.exe\"" 0 $((n - 1)) | sed 's/$/\r/')" ]
}
before=$(log_lines) rows=$(wt rows Kestrow)
wine "$TESTTOOL" hold "$(winepath -w "$SYSTEST_DIR/Kestrow.csv")" 3600000 </dev/null >"$SYSTEST_DIR.held" 2>/dev/null &
holder=$!
wait_until grep -q held "$SYSTEST_DIR.held" || fail "could not hold the log"
burst KTF_Held 2000
wait_until eval '[ "$(wt rows Kestrow)" -ge $((rows + 2000)) ]' || fail "the burst never reached the list"
[ "$(log_lines)" -eq "$before" ] || fail "lines were written while the log was held"
kill $holder
wait_until has_lines $((before + 2000)) && in_order KTF_Held "$before" || fail "the held lines are not all there in order"
# Exit in the middle of a 5,000-event burst: the program ends, and the log holds whole lines,
# the burst's first ones in order.
before=$(log_lines)
burst KTF_Burst 5000
wait_until has_lines $((before + 300))
stop_kestrow
in_order KTF_Burst "$before" || fail "the burst's lines are not whole and the first ones in order"

# 5. A program folder that cannot take the log: the fallback log, and the user told where.
fallback="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/Kestrow"
rm -rf "$SYSTEST_DIR" "$fallback"
mkdir -p "$SYSTEST_DIR/Kestrow.csv"
KESTROW_KEEP=1 start_kestrow RunKeys
wt text Kestrow 1012 | grep -qF 'AppData\Local\Kestrow\Kestrow.csv' || fail "not told where the log is: $(wt text Kestrow 1012)"
expected=()
SYSTEST_DIR=$fallback step <<<"setsz|HKCU|$run|KTS_Moved|c > Auto Run|New|HKCU/$run|KTS_Moved=c"
stop_kestrow
rm -rf "$fallback"
finish

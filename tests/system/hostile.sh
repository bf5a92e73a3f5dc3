#!/usr/bin/env bash
# Hostile input from outside, with the real program and the real settle: Run values with
# 255-character and over-long names, 64 KB of data, binary data without a zero byte, bytes
# 0x80-0xFF, quotes, commas and line breaks, a name shaped like a whole forged CSV line, a
# Startup file with odd characters and two whose names read alike in the program's code page. The log must read back, strictly, as records of five
# quoted fields ended by CR LF, one record per event, each with the right texts.
source "$(dirname "$0")/lib.sh"

reghelper="$(dirname "$WINTOOL")/reghelper.exe"
rh() { wine "$reghelper" "$@" </dev/null >/dev/null 2>&1; }
hex() { printf "$1" | od -An -v -tx1 | tr -d ' \n'; }
run='Software\Microsoft\Windows\CurrentVersion\Run'

long=$(printf 'L%.0s' $(seq 292))
binary=$(for b in $(seq 1 255); do printf '%02x' "$b"; done)
# name (printf format) | data (hex, may end in *N) | type
values=(
    "KTS_$(printf 'N%.0s' $(seq 251))|$(hex x)|1"
    "KTS_Big|44*65535|1"
    "KTS_Bin|$binary|3"
    'KTS_\x80\x9f\xe9\xff|'"$(hex '\xa0caf\xe9 \x80')|1"
    'KTS_q"u,o\r\nte|'"$(hex 'a"b,c\r\nd"')|1"
    'KTS_x"\r\n"01/01/2000","Auto Run","Deleted","HKLM/Forged","evil=1|'"$(hex y)|1"
    "KTS_Long${long}1|$(hex one)|1"
    "KTS_Long${long}2|$(hex two)|1"
)

startup=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/StartUp 2>/dev/null | head -1)
odd="kts odd, name;'&%^ é€ \"q\".lnk" # é and € are 0xE9 and 0x80 in the program's code page
wine reg delete "HKCU\\$run" /f >/dev/null 2>&1
wine reg add "HKCU\\$run" /f >/dev/null 2>&1
rm -f "$startup"/kts*

start_kestrow RunKeys Start
written=""
for v in "${values[@]}"; do
    IFS='|' read -r name data type <<<"$v"
    rh set HKCU "$run" "$(hex "$name")" "$data" "$type" || fail "could not set $name"
    written+="$(hex "$name") $data $type"$'\n'
done
[ -n "$startup" ] && touch "$startup/$odd" "$startup/kts 中.lnk" "$startup/kts 文.lnk"

expected=${#values[@]}
[ -n "$startup" ] && expected=$((expected + 3))
wait_until has_lines "$expected"
# A later value and file mark the end: once their lines are in, nothing of the above follows.
rh set HKCU "$run" "$(hex KTS_Mark)" "$(hex m)" 1 || fail "could not set the marker"
written+="$(hex KTS_Mark) $(hex m) 1"$'\n'
[ -n "$startup" ] && touch "$startup/kts mark.lnk"
wait_for_line "\"$(today)\",\"Auto Run\",\"New\",\"HKCU/$run\",\"KTS_Mark=m\"" || fail "no marker line"
[ -n "$startup" ] && { wait_for_line "\"$(today)\",\"Auto Start\",\"New\",\"Personal\",\"kts mark.lnk\"" || fail "no marker file line"; }

result=$(csv | WRITTEN="$written" RUN="HKCU/$run" TODAY="$(today)" ODD="${startup:+$odd}" python3 -c '
import os, re, sys
data = sys.stdin.buffer.read()
field = rb"\"((?:[^\"]|\"\")*)\""
record = re.compile(rb",".join([field] * 5) + rb"\r\n")
records, pos = [], 0
while pos < len(data):
    m = record.match(data, pos)
    if not m:
        print("not a record of five quoted fields at byte %d: %r" % (pos, data[pos:pos + 60]))
        sys.exit(1)
    records.append(tuple(f.replace(b"\"\"", b"\"") for f in m.groups()))
    pos = m.end()

def text(hexdata, type_):
    base, _, times = hexdata.partition("*")
    raw = bytes.fromhex(base) * (int(times) if times else 1)
    return raw.split(b"\0")[0][:1023]

today, run = os.environ["TODAY"].encode(), os.environ["RUN"].encode()
want = []
for line in os.environ["WRITTEN"].splitlines():
    name, data, type_ = line.split()
    details = bytes.fromhex(name) + b"=" + text(data, type_)
    want.append((today, b"Auto Run", b"New", run, details[:1023]))
if os.environ["ODD"]:
    want.append((today, b"Auto Start", b"New", b"Personal", os.environ["ODD"].encode("cp1252")))
    want += [(today, b"Auto Start", b"New", b"Personal", b"kts ?.lnk")] * 2 # what the code page lacks is "?"
    want.append((today, b"Auto Start", b"New", b"Personal", b"kts mark.lnk"))
bad = 0
for w in set(want):
    n = records.count(w)
    if n != want.count(w):
        print("%d records (want %d) for %r" % (n, want.count(w), w[4][:60]))
        bad += 1
for r in records:
    if r not in want:
        print("unexpected record %r" % (r,))
        bad += 1
print("%d records checked" % len(records))
sys.exit(1 if bad else 0)
')
status=$?
echo "$result"
[ "$status" -eq 0 ] || fail "the log is not one valid line per event"

rm -f "$startup"/kts*
wine reg delete "HKCU\\$run" /f >/dev/null 2>&1
wine reg add "HKCU\\$run" /f >/dev/null 2>&1
stop_kestrow >/dev/null

# Around the program: a second start, the shell restarting, a program folder that cannot take
# the log. Each waits for what it looks for, up to a limit.
until_true() { local limit=$1 start=$SECONDS; shift; until "$@"; do [ $((SECONDS - start)) -lt "$limit" ] || return 1; sleep 0.2; done; }
shown() { [ "$(wt state Kestrow)" = visible ]; }
has_tray() { wt tray Kestrow 1002; }
notice_has() { wt text Kestrow 1012 | grep -qF -- "$1"; }
line_in() { tr -d '\r' <"$1" 2>/dev/null | grep -cxF -- "$2"; }
add_run() { wine reg add "HKCU\\$run" /v "$1" /d "$2" /f >/dev/null 2>&1; }
line() { echo "\"$(today)\",\"Auto Run\",\"New\",\"HKCU/$run\",\"$1\""; }

start_kestrow
wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>&1 &
second=$!
ended() { ! kill -0 "$second" 2>/dev/null; }
until_true 20 ended || { fail "the second start kept running"; kill "$second"; }
[ "$(wt count Kestrow)" = 1 ] || fail "$(wt count Kestrow) Kestrow windows after a second start"
until_true 10 shown || fail "the second start did not bring the window up"
add_run KTS_Once a
wait_for_line "$(line KTS_Once=a)" 30 || fail "no line for KTS_Once"
# A name a spreadsheet would run; its line is also the mark that the first one had company.
add_run "=cmd|' /C calc'!A0" b
wait_for_line "$(line "'=cmd|' /C calc'!A0=b")" 30 || fail "no guarded line for the formula name"
[ "$(line_in "$SYSTEST_DIR/Kestrow.csv" "$(line KTS_Once=a)")" = 1 ] || fail "KTS_Once not logged exactly once"

wt untray Kestrow 1002
has_tray && fail "the tray icon could not be taken away"
wt taskbar -
until_true 10 has_tray || fail "the tray icon did not come back after TaskbarCreated"
stop_kestrow >/dev/null

# A file of the log's name that is a folder: the program's folder cannot take the log.
fallback="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Local/Kestrow/Kestrow.csv"
rm -rf "$SYSTEST_DIR" "$fallback"
mkdir -p "$SYSTEST_DIR/Kestrow.csv"
cp "$KESTROW_EXE" "$SYSTEST_DIR/Kestrow.exe"
wine "$SYSTEST_DIR/Kestrow.exe" </dev/null >/dev/null 2>&1 &
kestrow_pid=$!
wt wait Kestrow 20000 >/dev/null || fail "Kestrow's window never appeared"
until_true 10 notice_has 'AppData\Local\Kestrow\Kestrow.csv' || fail "not told where the log is: $(wt text Kestrow 1012)"
add_run KTS_Moved c
moved_line() { [ "$(line_in "$fallback" "$(line KTS_Moved=c)")" = 1 ]; }
until_true 30 moved_line || fail "no line in $fallback"
stop_kestrow >/dev/null
rm -rf "$fallback" "$SYSTEST_DIR/Kestrow.csv"
wine reg delete "HKCU\\$run" /f >/dev/null 2>&1
wine reg add "HKCU\\$run" /f >/dev/null 2>&1
# Names and data the code page cannot show, and a long value changed only in its tail: compared
# whole, shown in the code page.
# NAME and DATA: the hex of their UTF-8 (the script does not depend on the shell's locale).

zhe=55706461746572d096 ii=55706461746572d098 # "Updater" with U+0416, U+0418
rline() { echo "\"$(today)\",\"Auto Run\",\"$1\",\"HKCU/$run\",\"$2\""; }
tail=$(printf 'a%.0s' $(seq 2000))
add_run KTS_Tail "$tail"
start_kestrow RunKeys
rh setw HKCU "$run" $zhe "$(hex 'C:\\')e4b8ade69687$(hex '\\app.exe')" # C:\中文\app.exe
rh setw HKCU "$run" $ii "$(hex 'C:\\b.exe')"
wait_for_line "$(rline New 'Updater?=C:\??\app.exe')" || fail "no line for the first Cyrillic name"
wait_for_line "$(rline New 'Updater?=C:\b.exe')" || fail "no line for the second Cyrillic name"
rh setw HKCU "$run" $zhe "$(hex 'C:\\')e697a5e69cac$(hex '\\app.exe')" # C:\日本\app.exe
rh delw HKCU "$run" $ii
add_run KTS_Tail "${tail%a}b"
shown_tail="KTS_Tail=$(printf 'a%.0s' $(seq 1014))"
for l in "$(rline Changed 'Updater?=C:\??\app.exe')" "$(rline Deleted 'Updater?=C:\b.exe')" "$(rline Changed "$shown_tail")"; do
    wait_for_line "$l" || fail "no line $l"
done
add_run KTS_End e
wait_for_line "$(rline New KTS_End=e)" || fail "no line for the last value"
[ "$(csv | grep -c '')" -eq 6 ] || { fail "expected exactly 6 lines for the wide names and the long value:"; csv; }
stop_kestrow >/dev/null
wine reg delete "HKCU\\$run" /f >/dev/null 2>&1
wine reg add "HKCU\\$run" /f >/dev/null 2>&1
finish

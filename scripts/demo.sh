#!/usr/bin/env bash
# Starts Kestrow in a Wine prefix of its own, adds a Run value from outside, waits for the
# event, prints the CSV line and saves a screenshot of the window showing the new row.
set -uo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
source "$here/wine-env.sh" "$build/wine-demo"
trap wine_env_cleanup EXIT

dir="$build/demo"
rm -rf "$dir"
mkdir -p "$dir"
cp "$build/Kestrow.exe" "$dir/Kestrow.exe"
wt() { wine "$build/tests/testtool.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg delete "$run" /v Updater /f >/dev/null 2>&1

echo "Starting Kestrow (it lives in the notification area)..."
wine "$dir/Kestrow.exe" </dev/null >/dev/null 2>&1 &
wt wait Kestrow 20000 >/dev/null || { echo "Kestrow did not start"; exit 1; }
sleep 2

echo "Adding Updater = C:\\Tools\\upd.exe to $run from outside..."
wine reg add "$run" /v Updater /d 'C:\Tools\upd.exe' /f >/dev/null 2>&1
start=$SECONDS
while [ $((SECONDS - start)) -lt 15 ] && ! grep -q Updater "$dir/Kestrow.csv" 2>/dev/null; do sleep 0.2; done
if ! grep -q Updater "$dir/Kestrow.csv" 2>/dev/null; then echo "no event within 15 s"; exit 1; fi
echo "Kestrow logged, $((SECONDS - start)) s later (after its 5 s settle), in $dir/Kestrow.csv:"
tr -d '\r' < "$dir/Kestrow.csv"

wt show Kestrow >/dev/null
sleep 1.5
import -window root -display "$DISPLAY" -crop 640x520+0+0 +repage "$dir/kestrow.png" 2>/dev/null \
    || import -window root -display "$DISPLAY" "$dir/kestrow.png"
echo "Screenshot of the window: $dir/kestrow.png"

wine reg delete "$run" /v Updater /f >/dev/null 2>&1
wt close Kestrow >/dev/null
wt gone Kestrow 8000 >/dev/null

#!/usr/bin/env bash
# Starts Kestrow under Wine from a folder of its own in the build tree, where its log is kept.
set -euo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
source "$here/wine-env.sh" "$build/wine-run"
trap wine_env_cleanup EXIT

dir="$build/run"
mkdir -p "$dir"
cp "$build/Kestrow.exe" "$dir/Kestrow.exe"
echo "Kestrow is running in the notification area (DISPLAY=$DISPLAY, WINEPREFIX=$WINEPREFIX)."
echo "Its CSV log: $dir/Kestrow.csv ($(winepath -w "$dir/Kestrow.csv" 2>/dev/null))"
echo "Right-click its tray icon to show the window; Exit ends it."
wine "$dir/Kestrow.exe"

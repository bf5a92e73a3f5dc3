#!/usr/bin/env bash
# Figures of the real Kestrow.exe on a realistic machine (bench/scale_machine.py): a fresh Wine
# prefix with what a Windows 11 machine holds in every place Kestrow watches. With
# SCALE_BEFORE=/path/to/an/older/Kestrow.exe, that build is measured first on the same machine
# and the figures are printed side by side, each against its goal.
#   bench/scale.sh [BUILD_DIR]   (default build; SCALE_CHANGES, SCALE_IDLE_SECONDS shorten it)
set -uo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
prefix="$build/wine-scale"
machine="$build/wine-scale-machine"
work="$build/scale"
# A fresh machine every time: what an earlier run added would change the figures.
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
rm -rf "$prefix" "$machine" "$work"
mkdir -p "$work"
source "$here/../scripts/wine-env.sh" "$prefix"
trap wine_env_cleanup EXIT
python3 "$here/scale.py" machine "$build" "$work" || exit 1
# Each build starts on the same machine: a copy of the prefix as it stands now.
wineserver -k && wineserver -w
cp -a "$prefix" "$machine"
runs=()
[ -n "${SCALE_BEFORE:-}" ] && runs+=("before=$SCALE_BEFORE")
runs+=("after=$build/Kestrow.exe")
for run in "${runs[@]}"; do
    label=${run%%=*}
    echo "== scale: $label (${run#*=})"
    wineserver -k 2>/dev/null; wineserver -w
    rm -rf "$prefix" && cp -a "$machine" "$prefix"
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    wine net start schedule >/dev/null 2>&1 || true
    mkdir -p "$work/$label"
    python3 "$here/scale.py" measure "$build" "$work/$label" "${run#*=}" "$label" || exit 1
    mv "$work/$label/$label.json" "$work/"
done
echo "== scale: figures side by side"
python3 "$here/scale_compare.py" "$work"
rm -rf "$machine"

#!/usr/bin/env bash
# Figures of the real Kestrow.exe on a realistic machine: a fresh Wine prefix with 10,000 COM
# classes, 2,000 file associations, 600 services, 400 installed products, 60 Run values,
# 40 Winlogon values, 20 tasks, 10 mapped drives and 50 files in each Startup folder.
#   bench/scale.sh [BUILD_DIR]   (default build; SCALE_CHANGES, SCALE_IDLE_SECONDS shorten it)
set -uo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
prefix="$build/wine-scale"
work="$build/scale"
# A fresh machine every time: what an earlier run added would change the figures.
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
rm -rf "$prefix" "$work"
mkdir -p "$work"
source "$here/../scripts/wine-env.sh" "$prefix"
trap wine_env_cleanup EXIT
wine net start schedule >/dev/null 2>&1 || true
python3 "$here/scale.py" "$build" "$work"

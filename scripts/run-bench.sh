#!/usr/bin/env bash
# Runs every benchmark under Wine in a prefix of its own and prints their figures.
set -uo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
source "$here/wine-env.sh" "$build/wine-bench"
trap wine_env_cleanup EXIT
for b in "$build"/bench/*.exe; do
    echo "== $(basename "$b" .exe)"
    wine "$b" </dev/null 2>/dev/null | tr -d '\r'
done
echo "== shutdown"
"$here/../bench/shutdown.sh" "$build"
# The whole program on a realistic machine, in a prefix of its own (several minutes; twice as
# long with SCALE_BEFORE=<an older Kestrow.exe>, measured on the same machine for comparison).
echo "== scale"
"$here/../bench/scale.sh" "$build"

#!/usr/bin/env bash
# Runs every test through ctest: unit tests in one Wine prefix, system tests in another,
# each with a persistent wineserver for the whole run, all on one X display.
set -uo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")

source "$here/wine-env.sh" "$build/wine-test"
export KESTROW_SYS_PREFIX="$build/wine-sys"
(
    source "$here/wine-env.sh" "$KESTROW_SYS_PREFIX"
    # The job route of the task monitor needs the schedule service.
    wine net start schedule >/dev/null 2>&1 || true
)
trap 'wine_env_cleanup; WINEPREFIX="$KESTROW_SYS_PREFIX" wineserver -k 2>/dev/null || true' EXIT

cd "$build"
ctest --output-on-failure -j 2 --timeout 600

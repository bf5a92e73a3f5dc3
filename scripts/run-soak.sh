#!/usr/bin/env bash
# The long random-change run (tests/system/stress.sh) against the real program, in a Wine
# prefix of its own: every CSV line checked against the journal of the changes.
#   run-soak.sh BUILD [SECONDS]   (make soak SECONDS=...)
set -uo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-600}
here=$(dirname "$(realpath "$0")")
source "$here/wine-env.sh" "$build/wine-soak"
trap wine_env_cleanup EXIT
# The job route of the task monitor needs the schedule service.
wine net start schedule </dev/null >/dev/null 2>&1
KESTROW_EXE="$build/Kestrow.exe" TESTTOOL="$build/tests/testtool.exe" STRESSHELPER="$build/tests/testtool.exe" SYSTEST_DIR="$build/systest/soak" \
    bash "$here/../tests/system/stress.sh" "$seconds"

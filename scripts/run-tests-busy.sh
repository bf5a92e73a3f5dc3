#!/usr/bin/env bash
# The tests as CI may meet them on a shared machine: two busy loops per core beside the whole
# run, `runs` times in a row; prints each run's result and time, and fails when any run failed.
#   scripts/run-tests-busy.sh BUILD RUNS [ctest arguments]
set -uo pipefail
build=$1 runs=$2
shift 2
busy=()
trap '[ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null' EXIT
for _ in $(seq $(($(nproc) * 2))); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
failed=0
for run in $(seq "$runs"); do
    start=$(date +%s)
    if "$(dirname "$0")/run-tests.sh" "$build" "$@" >"$build/test-busy.$run.log" 2>&1; then
        result=passed
    else
        result=FAILED failed=$((failed + 1))
    fi
    echo "run $run: $result in $(($(date +%s) - start)) s ($(grep -E 'tests passed|tests failed' "$build/test-busy.$run.log" | tail -1))"
done
echo "$((runs - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

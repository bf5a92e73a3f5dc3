#!/usr/bin/env bash
# Runs the tests through ctest, two at a time; arguments after the build directory go to ctest
# (make test ARGS='-R unit.Snapshot'). The ctest fixtures set up the X display and the Wine
# prefixes of the build tree.
set -uo pipefail
build=$(realpath "${1:-build}")
shift
cd "$build" && exec ctest --output-on-failure -j 2 --timeout 600 "$@"

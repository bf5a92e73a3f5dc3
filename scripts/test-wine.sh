#!/usr/bin/env bash
# Runs a Windows test program under Wine on the display of the test fixture; WINEPREFIX and
# the other Wine settings come from ctest. Its output goes through a file: a Wine process it
# starts (the desktop's, the first time a window opens) keeps what it inherits for a while,
# and ctest would wait for a pipe until then.
source "${KESTROW_DISPLAY_FILE:?set by ctest}" || exit 1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc

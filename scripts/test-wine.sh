#!/usr/bin/env bash
# Runs a Windows test program under Wine on the display of the test fixture; WINEPREFIX and
# the other Wine settings come from ctest.
source "${KESTROW_DISPLAY_FILE:?set by ctest}" || exit 1
exec wine "$@"

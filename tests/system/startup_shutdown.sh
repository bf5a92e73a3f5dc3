#!/usr/bin/env bash
# Kestrow starts in the notification area with its window hidden, and a close request ends it,
# shown or hidden, removing its window. How long the end takes is a figure of make bench.
source "$(dirname "$0")/lib.sh"

state_is() { [ "$(wt state Kestrow)" = "$1" ]; }

start_kestrow RunKeys
state=$(wt state Kestrow)
[ "$state" = hidden ] || fail "window is '$state' after start, expected hidden"
wt tray Kestrow 1002 || fail "tray icon 1002 was not added"

# The tray icon's right-button press shows the window.
wt show Kestrow
wait_until state_is visible || fail "window is '$(wt state Kestrow)' after the tray click, expected visible"
stop_kestrow

start_kestrow RunKeys
stop_kestrow
wt state Kestrow >/dev/null && fail "window still there"
finish

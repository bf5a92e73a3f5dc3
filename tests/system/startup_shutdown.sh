#!/usr/bin/env bash
# Kestrow starts in the notification area with its window hidden, and a close request ends it
# within 4 seconds, removing the tray icon.
source "$(dirname "$0")/lib.sh"

start_kestrow
sleep 1.5
state=$(wt state Kestrow)
[ "$state" = hidden ] || fail "window is '$state' after start, expected hidden"
wt tray Kestrow 1002 || fail "tray icon 1002 was not added"

# The tray icon's right-button press shows the window.
wt show Kestrow
sleep 0.5
state=$(wt state Kestrow)
[ "$state" = visible ] || fail "window is '$state' after the tray click, expected visible"
wt close Kestrow
sleep 0.2
# Shown windows take longer to go under Xvfb; time the hidden case below.
wt gone Kestrow 8000 >/dev/null || fail "a close request did not end Kestrow"
kestrow_pid=""

start_kestrow
sleep 1
wt close Kestrow
if ms=$(wt gone Kestrow 4000); then
    echo "ended ${ms} ms after the close request"
else
    fail "Kestrow did not end within 4 s of a close request"
fi
sleep 0.3
wt state Kestrow >/dev/null && fail "window still there"
kestrow_pid=""
finish

#!/usr/bin/env bash
# The ctest fixtures that every test under Wine requires, so that a plain `ctest` in build/
# sets up what it needs and never touches ~/.wine:
#   test-fixture.sh display-up FILE | display-down FILE   one X display for the whole run
#   test-fixture.sh prefix-up [schedule] [fresh] | prefix-down   the WINEPREFIX ctest gives
# prefix-up boots the prefix once (it is kept in build/ for later runs, unless fresh) and keeps
# one wineserver alive for the run, so that each wine start costs milliseconds.
# What is started here keeps no standard handle of the fixture: ctest would wait for it.
set -uo pipefail
what=$1

case "$what" in
display-up)
    file=$2
    if [ -n "${DISPLAY:-}" ]; then
        echo "export DISPLAY=$DISPLAY" >"$file"
        exit 0
    fi
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
        if [ -e /tmp/.X11-unix/X$n ] && kill -0 "$pid" 2>/dev/null; then
            printf 'export DISPLAY=:%s\nxvfb_pid=%s\n' "$n" "$pid" >"$file"
            exit 0
        fi
    done
    echo "no free X display" >&2
    exit 1
    ;;
display-down)
    xvfb_pid=""
    source "$2" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -f "$2"
    exit 0
    ;;
prefix-up)
    : "${WINEPREFIX:?set by ctest}"
    source "$KESTROW_DISPLAY_FILE" || exit 1
    [[ " $* " == *" fresh "* ]] && rm -rf "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >"$WINEPREFIX.boot.log" 2>&1
        wineserver -w
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    # The first program started in a prefix also starts its services, which keep the standard
    # handles they inherit: start them here, detached.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    # The job route of the task monitor needs the schedule service.
    [[ " $* " == *" schedule "* ]] && { wine net start schedule </dev/null >/dev/null 2>&1 || true; }
    # The registry files can come a moment after the boot's server has gone (seen with two
    # prefixes booting at once): wait for them rather than fail the run.
    for _ in $(seq 300); do
        [ -f "$WINEPREFIX/system.reg" ] && exit 0
        sleep 0.2
    done
    cat "$WINEPREFIX.boot.log" >&2
    exit 1
    ;;
prefix-down)
    : "${WINEPREFIX:?set by ctest}"
    wineserver -k 2>/dev/null
    exit 0
    ;;
*)
    echo "usage: $0 display-up|display-down FILE | prefix-up [schedule] [fresh] | prefix-down" >&2
    exit 2
    ;;
esac

# Sourced: a private Wine prefix and an X display for running Kestrow.
#   source scripts/wine-env.sh PREFIX_DIR
# Sets WINEPREFIX and DISPLAY (starting Xvfb when DISPLAY is unset), creates the prefix
# when missing and keeps one wineserver alive (so each wine start costs milliseconds).
# wine_env_cleanup stops what this started.

export WINEPREFIX="$(realpath -m "$1")"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
_wine_env_xvfb=""

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        _wine_env_xvfb=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
        break
    done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
wineserver -p
# The first program started in a prefix also starts its services, which keep the standard
# handles they inherit: start them here, detached, so that no later pipe waits on them.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

wine_env_cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$_wine_env_xvfb" ] && kill "$_wine_env_xvfb" 2>/dev/null || true
    return 0
}

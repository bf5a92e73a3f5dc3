#!/usr/bin/env bash
# Installs what building, running and testing need, when it is missing (Debian, as root).
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have x86_64-w64-mingw32-windres   || need+=(binutils-mingw-w64-x86-64)
have wine                         || need+=(wine)
[ -x /usr/lib/wine/wine64 ]       || need+=(wine64)
have Xvfb                         || need+=(xvfb)
have cmake                        || need+=(cmake)
have ninja                        || need+=(ninja-build)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
have import                       || need+=(imagemagick)
have python3                      || need+=(python3)
have wixl                         || need+=(wixl)
have msiinfo                      || need+=(msitools)

[ ${#need[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run as root, or install them: apt-get install ${need[*]})" >&2
    exit 1
fi
echo "installing: ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null

#!/usr/bin/env bash
# Runs a Windows test executable under wine64, inside a virtual display when there is none.
# WINEPREFIX comes from the caller (CTest points it into the build folder).
set -eu
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
: "${WINEPREFIX:?WINEPREFIX must name a throw-away prefix}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL="${LC_ALL:-zh_CN.UTF-8}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
# The first run makes the prefix; later runs find it ready. A test process that crashes ends
# at once with its backtrace, instead of waiting behind Wine's crash dialog.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || true
fi
exec "$wine" "$@"

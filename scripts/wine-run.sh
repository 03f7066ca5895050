#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix,
# with the null graphics driver so hidden windows need no display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${QX_WINEPREFIX:-$root/build/win32/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if [ ! -f "$WINEPREFIX/.qx-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.qx-ready"
fi
exec wine "$@"

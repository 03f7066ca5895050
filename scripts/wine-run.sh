#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix of its
# architecture, with the null graphics driver so hidden windows need no display.
#   scripts/wine-run.sh [win32|win64] PROGRAM [ARGS...]   (default win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=win32
case ${1:-} in win32 | win64) arch=$1; shift ;; esac
export WINEPREFIX=${QX_WINEPREFIX:-$root/build/$arch/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if [ "$arch" = win64 ]; then
  # The 64-bit loader directly: Debian's wine script prefers the 32-bit one.
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi
if [ ! -f "$WINEPREFIX/.qx-ready" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.qx-ready"
fi
# Wine's own processes (its server, services, the desktop's explorer) outlive
# the program that starts them and keep its output open: under ctest a test
# would last until every other test had ended. So the server starts detached
# here and lingers 30 s after the last program (exit 2: one runs already),
# and the program writes to a file that is shown when it ends.
wineserver -p30 </dev/null >/dev/null 2>&1 || true
out=$(mktemp "${TMPDIR:-/tmp}/qx-wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
rc=0
"$wine" "$@" >"$out" 2>&1 || rc=$?
cat "$out"
exit $rc

#!/usr/bin/env bash
# Gets Wine ready for the Windows tests of one architecture: its loader must
# run natively, and the build tree's private prefix is created once, before
# tests run in parallel.
#   scripts/wine-ready.sh win32|win64
# Exit 2: this machine cannot run that architecture's loader (for win32: a
# kernel without IA-32 emulation); 1: Wine failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-win32}
loader=/usr/lib/wine/wine
[ "$arch" = win64 ] && loader=/usr/lib/wine/wine64

if ! "$loader" --version >/dev/null 2>&1; then
  exit 2
fi
if ! timeout "${QX_WINE_BOOT_SECONDS:-900}" "$root/scripts/wine-run.sh" "$arch" cmd /c exit 0 >/dev/null 2>&1; then
  echo "Wine ($arch) could not create its prefix" >&2
  exit 1
fi

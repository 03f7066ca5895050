#!/usr/bin/env bash
# Gets Wine ready for the Windows tests: its 32-bit loader must run natively,
# and the build tree's private prefix is created once, before tests run in
# parallel. Exit 2: this kernel runs no 32-bit programs (IA-32 emulation
# switched off), so no Windows program can run here at all; 1: Wine failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exit 2
fi
if ! timeout "${QX_WINE_BOOT_SECONDS:-900}" "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1; then
  echo "Wine could not create its prefix" >&2
  exit 1
fi

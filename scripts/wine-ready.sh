#!/usr/bin/env bash
# Gets Wine ready for the Windows tests: its 32-bit loader must run, and the
# build tree's private prefix is created once, before tests run in parallel.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
loader=/usr/lib/wine/wine

runs32() { "$loader" --version >/dev/null 2>&1; }

if ! runs32; then
  # Some kernels run no 32-bit programs (IA-32 emulation switched off). QEMU's
  # user-mode emulator can run Wine's 32-bit loader in its place once it is
  # registered for i386 programs: slower, but the same Wine.
  echo "this kernel runs no 32-bit programs: Wine's loader runs under qemu-i386"
  if ! command -v qemu-i386 >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  if [ -f "$binfmt/register" ] && [ ! -f "$binfmt/qemu-i386" ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:$(command -v qemu-i386):F" >"$binfmt/register"
  fi
  if ! runs32; then
    echo "Wine cannot run on this machine: no 32-bit programs and no emulator for them" >&2
    exit 1
  fi
fi

if ! timeout "${QX_WINE_BOOT_SECONDS:-2400}" "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1; then
  echo "Wine could not create its prefix" >&2
  exit 1
fi

#!/usr/bin/env bash
# Installs the Debian packages a command needs; does nothing when all are
# present. Groups (default: test and windows, what ./run test needs):
#   demo     the native release build, the reference servers and the sample game
#   test     the native tests, sanitizers and fuzzers
#   windows  both MinGW toolchains, Wine and LLVM's MSVC-mode tools
#   bench    the benchmarks (gnuplot draws the latency chart)
set -euo pipefail

# The reference servers compile their key routines for 32-bit x86 with MinGW.
demo_pkgs=(build-essential cmake ninja-build pkg-config libboost-dev libtinyxml-dev
  libminizip-dev zlib1g-dev gcc-mingw-w64-i686 binutils-mingw-w64-i686)
# The fuzzers compile TinyXML and minizip from Debian's sources (apt-get source).
test_pkgs=("${demo_pkgs[@]}" libgtest-dev libgmock-dev libssl-dev clang libclang-rt-14-dev dpkg-dev)
windows_pkgs=(g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  dpkg-dev llvm lld clang wine wine64 wine32:i386)
bench_pkgs=("${demo_pkgs[@]}" libbenchmark-dev libssl-dev gnuplot-nox)
declare -A why=([demo]="the native build and the demo" [test]="the native tests"
  [windows]="the Windows builds and Wine" [bench]="the benchmarks")

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(test windows)
declare -A seen=()
missing=()
need_update=
for g in "${groups[@]}"; do
  declare -n pkgs="${g}_pkgs"
  group_missing=()
  for p in "${pkgs[@]}"; do
    [ -n "${seen[$p]:-}" ] && continue
    seen[$p]=1
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      group_missing+=("$p")
  done
  if [ ${#group_missing[@]} -gt 0 ]; then
    echo "installing for ${why[$g]}: ${group_missing[*]}"
    missing+=("${group_missing[@]}")
  fi
  unset -n pkgs
done

if [ -n "${seen[wine32:i386]:-}" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
# apt-get source (the Windows dependencies) needs deb-src: add the type to
# the existing Debian entry.
if [ -n "${seen[dpkg-dev]:-}" ]; then
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ] && ! grep -q 'deb-src' "$src"; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
    need_update=1
  elif [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >>/etc/apt/sources.list
    need_update=1
  fi
fi
if [ ${#missing[@]} -eq 0 ] && [ -z "$need_update" ]; then
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Installs the Debian packages both targets need; does nothing when all are present.
set -euo pipefail

native_pkgs=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libboost-dev libtinyxml-dev libminizip-dev zlib1g-dev libssl-dev dpkg-dev
  clang libclang-rt-14-dev)
win_pkgs=(g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  llvm lld)
wine_pkgs=(wine wine64 wine32:i386)
# --bench: also what ./run bench needs (gnuplot draws the latency chart).
bench_pkgs=()
[ "${1:-}" = --bench ] && bench_pkgs=(gnuplot-nox)

missing=()
for p in "${native_pkgs[@]}" "${win_pkgs[@]}" "${wine_pkgs[@]}" ${bench_pkgs[@]+"${bench_pkgs[@]}"}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
# apt-get source needs deb-src: add the type to the existing Debian entry.
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q 'deb-src' "$src"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  need_update=1
elif [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >>/etc/apt/sources.list
  need_update=1
fi
if [ ${#missing[@]} -eq 0 ] && [ -z "${need_update:-}" ]; then
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

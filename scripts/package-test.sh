#!/usr/bin/env bash
# Unpacks each SDK archive of build/package into a fresh directory and builds
# the install consumer against it as a game team would: the Windows zip with
# MinGW for both architectures (find_package picks x86/ or x64/) and in MSVC
# mode, running what this machine can run under Wine; the Linux archive
# natively, running it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pkg=$root/build/package
servers=$root/build/native/testkit/qxrefservers
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qx-package-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

consumer() {  # name, sdk dir, extra cmake args...
  local name=$1 sdk=$2; shift 2
  cmake -S "$root/tests/install/consumer" -B "$tmp/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$sdk" "$@" >/dev/null
  cmake --build "$tmp/$name" >/dev/null
}

zip=$(ls "$pkg"/QXNetEngine-*-windows.zip)
unzip -q "$zip" -d "$tmp/zip"
win=$(ls -d "$tmp"/zip/QXNetEngine-*-windows)
for pair in x86:win32 x64:win64; do
  arch=${pair#*:} dir=${pair%%:*}
  consumer "mingw-$arch" "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake"
  exe=$tmp/mingw-$arch/consumer.exe
  objdump=i686-w64-mingw32-objdump
  [ "$arch" = win64 ] && objdump=x86_64-w64-mingw32-objdump
  grep -q "DLL Name: QXNetEngine.dll" <<<"$($objdump -p "$exe")"
  msvc=(--arch "$arch" --work "$tmp/msvc-$arch" --lib "$win/$dir/lib/QXNetEngine.lib"
    --dll "$win/$dir/bin/QXNetEngine.dll")
  if "$root/scripts/wine-ready.sh" "$arch"; then
    cp "$win/$dir/bin/QXNetEngine.dll" "$tmp/mingw-$arch/"
    grep -q "QXNetEngine_GetHashCode: 0, 20 bytes" <<<"$("$root/scripts/wine-run.sh" "$arch" "$exe")"
    echo "windows zip, $dir, MinGW: built with find_package, ran under Wine"
    "$root/scripts/msvc-game.sh" "${msvc[@]}" --servers "$servers" | tail -n 1
  else
    echo "windows zip, $dir, MinGW: built with find_package (this machine cannot run it)"
    "$root/scripts/msvc-game.sh" "${msvc[@]}"
  fi
done

tgz=$(ls "$pkg"/QXNetEngine-*-linux-x86_64.tar.gz)
mkdir -p "$tmp/tgz"
tar xzf "$tgz" -C "$tmp/tgz"
consumer linux "$(ls -d "$tmp"/tgz/QXNetEngine-*)"
grep -q "QXNetEngine_GetHashCode: 0, 20 bytes" <<<"$("$tmp/linux/consumer")"
echo "linux archive: built with find_package, ran"

deb=$(ls "$pkg"/qxnetengine_*.deb)
dpkg-deb -x "$deb" "$tmp/deb"
consumer deb-consumer "$tmp/deb/usr"
grep -q "QXNetEngine_GetHashCode: 0, 20 bytes" <<<"$("$tmp/deb-consumer/consumer")"
echo "deb: built with find_package from its tree, ran"

#!/usr/bin/env bash
# Lays out the SDK trees from the release builds (build/native, build/win32,
# build/win64) and packs them with CPack into build/package:
#   QXNetEngine-<version>-windows.zip, QXNetEngine-<version>-linux-x86_64.tar.gz
#   and a .deb; then scripts/package-test.sh checks each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(QXNetEngine VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
out=$root/build/package
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage"

# Windows: each architecture's installed tree, one header for both, the tools.
win=$stage/windows
for pair in x86:win32 x64:win64; do
  cmake --install "$root/build/${pair#*:}" --prefix "$win/${pair%%:*}" >/dev/null
done
mkdir -p "$win/include" "$win/tools/demo"
mv "$win/x86/include/QXNetEngine.h" "$win/include/"
rm -rf "$win/x86/include" "$win/x64/include"
# Each architecture's CMake package looks for the header beside it; point it
# at the shared one.
for arch in x86 x64; do
  targets=$win/$arch/lib/cmake/QXNetEngine/QXNetEngineTargets.cmake
  pc=$win/$arch/lib/pkgconfig/qxnetengine.pc
  sed -i 's|"${_IMPORT_PREFIX}/include"|"${_IMPORT_PREFIX}/../include"|' "$targets"
  sed -i 's|^includedir=${prefix}/include$|includedir=${prefix}/../include|' "$pc"
  grep -q '_IMPORT_PREFIX}/../include"' "$targets" && grep -q '^includedir=${prefix}/../include$' "$pc" ||
    { echo "package.sh: could not point $arch's package at the shared header" >&2; exit 1; }
done
cp "$root/cmake/sdk/QXNetEngineConfig.cmake" "$root/cmake/sdk/QXNetEngineConfigVersion.cmake" \
  "$root/cmake/sdk/README.txt" "$win/"
cp "$root/build/win64/testkit/qxrefservers.exe" "$root/build/win64/testkit/qxmkpackages.exe" "$win/tools/"
cp "$root/build/win64/demo/qxdemo.exe" "$root/build/win64/QXNetEngine.dll" "$win/tools/demo/"
cp "$root/testkit/demo/packages.txt" "$win/tools/demo/"

# Linux: the installed tree and the tools.
lin=$stage/linux
cmake --install "$root/build/native" --prefix "$lin" >/dev/null
mkdir -p "$lin/bin"
cp "$root/build/native/testkit/qxrefservers" "$root/build/native/testkit/qxmkpackages" "$lin/bin/"

pack() {  # stage dir, file name, generators
  cmake -S "$root/cmake/sdk" -B "$out/cpack-$2" -DSTAGE="$1" -DSDK_NAME="$2" \
    "-DCPACK_GENERATOR=$3" >/dev/null
  (cd "$out/cpack-$2" && cpack -B "$out" >/dev/null)
}
pack "$win" "QXNetEngine-$version-windows" ZIP
pack "$lin" "QXNetEngine-$version-linux-x86_64" "TGZ;DEB"
rm -rf "$out/_CPack_Packages"
ls -1 "$out"/*.zip "$out"/*.tar.gz "$out"/*.deb

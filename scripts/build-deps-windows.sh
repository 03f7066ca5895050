#!/usr/bin/env bash
# Builds TinyXML and minizip for Windows from Debian's source packages (with
# Debian's patches applied) into build/deps-<win32|win64>/{include,lib}.
#   scripts/build-deps-windows.sh win32|win64
# The sources are unpacked once into build/deps-src and shared by both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-win32}
case $arch in
  win32) triple=i686-w64-mingw32 ;;
  win64) triple=x86_64-w64-mingw32 ;;
  *) echo "build-deps-windows.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
out=$root/build/deps-$arch
stamp=$out/.built-v1
[ -f "$stamp" ] && exit 0

src=$root/build/deps-src
if [ ! -f "$src/.unpacked" ]; then
  rm -rf "$src"
  mkdir -p "$src"
  (cd "$src" && { apt-get source -qq tinyxml minizip >/dev/null 2>&1 || apt-get source tinyxml minizip; })
  touch "$src/.unpacked"
fi
tx=$(ls -d "$src"/tinyxml-*/ | head -n1)
mz=$(ls -d "$src"/minizip-*/ | head -n1)

cc=$triple-gcc-posix
cxx=$triple-g++-posix
ar=$triple-ar
rm -rf "$out"
mkdir -p "$out/include/minizip" "$out/lib" "$out/obj"

for f in tinyxml tinyxmlparser tinyxmlerror tinystr; do
  $cxx -O2 -DTIXML_USE_STL -c "$tx/$f.cpp" -o "$out/obj/$f.o"
done
$ar rcs "$out/lib/libtinyxml.a" "$out"/obj/tiny*.o
cp "$tx/tinyxml.h" "$tx/tinystr.h" "$out/include/"

for f in ioapi unzip zip; do
  $cc -O2 -I/usr/$triple/include -c "$mz/$f.c" -o "$out/obj/mz_$f.o"
done
$ar rcs "$out/lib/libminizip.a" "$out"/obj/mz_*.o
cp "$mz/ioapi.h" "$mz/unzip.h" "$mz/zip.h" "$mz/crypt.h" "$out/include/minizip/"

# Boost is header-only for us: expose just its headers, never the rest of /usr/include.
ln -sfn /usr/include/boost "$out/include/boost"
touch "$stamp"

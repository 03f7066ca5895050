#!/usr/bin/env bash
# Builds TinyXML and minizip for i686 Windows from Debian's source packages
# (with Debian's patches applied) into build/deps-win32/{include,lib}.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/deps-win32
stamp=$out/.built-v1
[ -f "$stamp" ] && exit 0

cc=i686-w64-mingw32-gcc-posix
cxx=i686-w64-mingw32-g++-posix
ar=i686-w64-mingw32-ar
rm -rf "$out"
mkdir -p "$out/src" "$out/include/minizip" "$out/lib" "$out/obj"
cd "$out/src"
apt-get source -qq tinyxml minizip >/dev/null 2>&1 || apt-get source tinyxml minizip
tx=$(ls -d tinyxml-*/ | head -n1)
mz=$(ls -d minizip-*/ | head -n1)

for f in tinyxml tinyxmlparser tinyxmlerror tinystr; do
  $cxx -O2 -DTIXML_USE_STL -c "$tx/$f.cpp" -o "$out/obj/$f.o"
done
$ar rcs "$out/lib/libtinyxml.a" "$out"/obj/tiny*.o
cp "$tx/tinyxml.h" "$tx/tinystr.h" "$out/include/"

for f in ioapi unzip zip; do
  $cc -O2 -I/usr/i686-w64-mingw32/include -c "$mz/$f.c" -o "$out/obj/mz_$f.o"
done
$ar rcs "$out/lib/libminizip.a" "$out"/obj/mz_*.o
cp "$mz/ioapi.h" "$mz/unzip.h" "$mz/zip.h" "$mz/crypt.h" "$out/include/minizip/"

# Boost is header-only for us: expose just its headers, never the rest of /usr/include.
ln -sfn /usr/include/boost "$out/include/boost"
touch "$stamp"

#!/usr/bin/env bash
# Unpacks Debian's sources of TinyXML and minizip (with Debian's patches
# applied) into build/fuzz-deps, for the fuzz build to compile with its
# instrumentation. Does nothing once they are there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/fuzz-deps
stamp=$out/.unpacked-v1
[ -f "$stamp" ] && exit 0
rm -rf "$out"
mkdir -p "$out"
cd "$out"
apt-get source -qq tinyxml minizip >/dev/null 2>&1 || apt-get source tinyxml minizip
ln -sfn "$(ls -d tinyxml-*/ | head -n1)" tinyxml
ln -sfn "$(ls -d minizip-*/ | head -n1)" minizip
touch "$stamp"

#!/usr/bin/env bash
# Builds the MSVC-mode game (tests/install/msvc) with clang-cl and lld-link
# against the engine's MSVC import library, checks what it imports, and with
# --servers runs it under Wine against a reference game server.
#   scripts/msvc-game.sh --arch win32|win64 --build DIR --work DIR [--servers QXREFSERVERS]
# --build is the Windows build tree holding QXNetEngine.dll and QXNetEngine.lib;
# --lib FILE and --dll FILE name them elsewhere (an unpacked SDK).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
servers=
build=
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --lib) lib=$2; shift 2 ;;
    --dll) dll=$2; shift 2 ;;
    --servers) servers=$2; shift 2 ;;
    *) echo "msvc-game.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
case $arch in
  win32) target=i686-pc-windows-msvc; machine=i386; lldmachine=x86 ;;
  win64) target=x86_64-pc-windows-msvc; machine=i386:x86-64; lldmachine=x64 ;;
  *) echo "msvc-game.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
lib=${lib:-$build/QXNetEngine.lib}
dll=${dll:-$build/QXNetEngine.dll}
clangcl=$(command -v clang-cl || command -v clang-cl-14 || echo /usr/lib/llvm-14/bin/clang-cl)
rm -rf "$work"
mkdir -p "$work"

# Import libraries for the few system calls the game makes; on x86 the
# callers ask for stdcall-decorated names, the DLLs export them plain.
implib() {  # dll, then name@bytes...
  local dll=$1; shift
  { echo "LIBRARY $dll"; echo EXPORTS
    for e in "$@"; do [ "$arch" = win32 ] && echo "    $e" || echo "    ${e%@*}"; done
  } >"$work/${dll%.dll}.def"
  llvm-dlltool -m "$machine" -k -d "$work/${dll%.dll}.def" -D "$dll" -l "$work/${dll%.dll}.lib"
}
implib kernel32.dll GetStdHandle@4 WriteFile@20 ExitProcess@4 GetTickCount@0 GetCommandLineA@0
implib user32.dll PeekMessageA@20 DispatchMessageA@4 MsgWaitForMultipleObjects@20

# Inputs follow --: clang-cl would read a path starting with / as an option.
# Every warning clang-cl has (/Wall), as errors, but C++98 compatibility.
"$clangcl" --target=$target /nologo /c /Wall /WX -Wno-c++98-compat -Wno-c++98-compat-pedantic /O2 /GS- /GR- /Zl /std:c++17 \
  -I"$root/include" /Fo"$work/msvcgame.obj" -- "$root/tests/install/msvc/msvcgame.cpp"
lld-link /nologo /machine:$lldmachine /subsystem:console /entry:GameMain /nodefaultlib \
  /out:"$work/msvcgame.exe" "$work/msvcgame.obj" "$lib" \
  "$work/kernel32.lib" "$work/user32.lib"

# The engine's five functions, by name, from QXNetEngine.dll.
imports=$(llvm-readobj --coff-imports "$work/msvcgame.exe" |
  awk '/Name: /{dll=$2} /Symbol: /{if (dll == "QXNetEngine.dll") print $2}' | sort | tr '\n' ' ')
want="QXGameClient_Get QXNetEngine_Get QXNetEngine_GetHashCode QXNetEngine_Init QXNetEngine_Uninit "
if [ "$imports" != "$want" ]; then
  echo "msvcgame.exe imports from QXNetEngine.dll: '$imports', expected '$want'" >&2
  exit 1
fi
echo "msvcgame.exe ($arch) links and imports: $imports"
[ -n "$servers" ] || exit 0

cp "$dll" "$work/"
mkfifo "$work/servers.in"
"$servers" --game <"$work/servers.in" >"$work/servers.log" 2>&1 &
pid=$!
exec {to_servers}>"$work/servers.in"
trap 'exec {to_servers}>&-; wait $pid 2>/dev/null || true' EXIT
line=$(grep -m 1 "^qxrefservers ready: " < <(timeout 20 tail -n +1 -f "$work/servers.log") || true)
port=$(sed -n 's/.* game=\([0-9]*\).*/\1/p' <<<"$line")
[ -n "$port" ] || { cat "$work/servers.log" >&2; echo "msvc-game.sh: no game server" >&2; exit 1; }
out=$("$root/scripts/wine-run.sh" "$arch" "$work/msvcgame.exe" "$port" 2>&1) || { echo "$out"; exit 1; }
echo "$out"
grep -q "^msvc game: every step happened" <<<"$out"

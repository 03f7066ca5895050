#!/usr/bin/env bash
# The demo: builds the sample packages, starts the reference servers on
# 127.0.0.1, runs the sample game against them, stops the servers, and says
# where the transcripts and the engine's daily log are.
#   scripts/demo.sh --servers BIN --mkpackages BIN --work DIR -- GAME [ARGS...]
# The game is given --disp PORT --game PORT after its own arguments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
while [ $# -gt 0 ]; do
  case $1 in
    --servers) servers=$2; shift 2 ;;
    --mkpackages) mkpackages=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "demo.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "demo.sh: no game to run" >&2; exit 2; }

rm -rf "$work"
mkdir -p "$work/packages"
echo "== sample packages"
"$mkpackages" "$root/testkit/demo/packages.txt" "$work/packages"

# The servers run until their input closes; their first line names the ports.
transcript=$work/servers.log
mkfifo "$work/servers.in"
"$servers" --packages "$work/packages" <"$work/servers.in" >"$transcript" 2>&1 &
servers_pid=$!
exec {to_servers}>"$work/servers.in"
stop_servers() {
  exec {to_servers}>&-
  wait "$servers_pid" 2>/dev/null || true
}
trap stop_servers EXIT
line=$(grep -m 1 "^qxrefservers ready: " < <(timeout 20 tail -n +1 -f "$transcript") || true)
if [ -z "$line" ]; then
  cat "$transcript" >&2
  echo "demo.sh: the servers did not start" >&2
  exit 1
fi
disp=$(sed -n 's/.* disp=\([0-9]*\).*/\1/p' <<<"$line")
game=$(sed -n 's/.* game=\([0-9]*\).*/\1/p' <<<"$line")
echo "== reference servers on 127.0.0.1: ${line#qxrefservers ready: }"

echo "== the sample game"
rc=0
"$@" --disp "$disp" --game "$game" || rc=$?

stop_servers
trap - EXIT
echo
echo "== what the servers saw"
cat "$transcript"
game_dir=$(dirname "$(readlink -f "${@: -1}" 2>/dev/null || echo "${@: -1}")")
log=$(ls -t "$game_dir"/QXNetEngine.log*.log 2>/dev/null | head -n 1 || true)
echo
echo "== server transcript: $transcript"
echo "== the engine's log of the day: ${log:-none yet (the engine logs what goes wrong)}"
exit $rc

#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo host: the window when a
# display exists, otherwise every scripted road headless with screenshots.
# Extra arguments go to the host (scripts/run.sh --help lists them).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j2
host="$top/build/host/vrxrtb-host"

# --manager-process: the recorder manager as a process of its own, reached
# over the wire (doc/protocol.md); stopped again when the host ends.
if [ "${1:-}" = "--manager-process" ]; then
  shift
  manager="$top/build/simulator/vrxrtb-manager"
  if [ ! -x "$manager" ]; then
    echo "run.sh: $manager is not built" >&2
    exit 2
  fi
  mkdir -p "$top/build/manager-data"
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$manager" --listen 127.0.0.1:0 --data "$top/build/manager-data" >"$fifo" &
  manager_pid=$!
  trap 'kill "$manager_pid" 2>/dev/null; wait "$manager_pid" 2>/dev/null; rm -f "$fifo"' EXIT
  address=""
  exec 3<"$fifo"
  while read -r -t 10 line <&3; do
    case "$line" in
      "listening "*) address=${line#listening }; break ;;
    esac
  done
  # Whatever the manager prints later still has to be read.
  cat <&3 >/dev/null &
  if [ -z "$address" ]; then
    echo "run.sh: the manager did not report its address" >&2
    exit 1
  fi
  echo "manager at $address"
  status=0
  "$host" --output "$top/build/host-output" --manager "$address" "$@" || status=$?
  exit $status
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$host" --output "$top/build/host-output" "$@"
fi

out="$top/build/scenario-output"
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running every scripted road headless."
status=0
"$host" --scenario all --output "$out" "$@" || status=$?
echo
echo "Transcript above; screenshots (one per step) and the trace log are in: $out (unless --output said otherwise)"
exit $status

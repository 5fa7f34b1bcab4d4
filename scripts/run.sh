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
# over the wire (doc/protocol.md); the host starts it, can kill and restart
# it from its Manager menu, and stops it when it ends.
if [ "${1:-}" = "--manager-process" ]; then
  shift
  manager="$top/build/simulator/vrxrtb-manager"
  if [ ! -x "$manager" ]; then
    echo "run.sh: $manager is not built" >&2
    exit 2
  fi
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running every scripted road headless against manager processes."
    exec "$host" --scenario all --manager-process "$manager" --output "$top/build/scenario-output-manager-process" "$@"
  fi
  exec "$host" --output "$top/build/host-output" --manager-process "$manager" "$@"
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

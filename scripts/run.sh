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

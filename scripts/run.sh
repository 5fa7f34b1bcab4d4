#!/usr/bin/env bash
# Builds the project and runs the demo host.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j2
host="$top/build/host/vrxrtb-host"
if [ ! -x "$host" ]; then
  echo "The demo host is not part of the build yet; the plug-in module is in build/plugins/." >&2
  exit 1
fi
exec "$host" "$@"

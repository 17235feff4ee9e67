#!/usr/bin/env bash
# Builds the desktop program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/build/run" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCOR_GUI=ON -DPELLUCOR_TESTS=OFF -DPELLUCOR_BENCH=OFF >/dev/null
cmake --build "$root/build/run" --target pellucor -j "$jobs"

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
  echo "run: no display found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "run: on a machine without a screen, try: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec "$root/build/run/app/pellucor/pellucor"

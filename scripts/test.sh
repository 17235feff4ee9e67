#!/usr/bin/env bash
# Builds everything and runs every test: once with the desktop program (GUI tests run
# offscreen), once with it switched off to prove that the layers below the shell build
# and test without Qt. Warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

"$root/scripts/setup.sh"
"$root/scripts/check-format.sh"

export QT_QPA_PLATFORM=offscreen

cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCOR_WERROR=ON -DPELLUCOR_GUI=ON >/dev/null
cmake --build "$root/build/test" -j "$jobs"
ctest --test-dir "$root/build/test" --output-on-failure -j "$jobs"
"$root/scripts/check-package.sh" "$root/build/test"

cmake -S "$root" -B "$root/build/test-nogui" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCOR_WERROR=ON -DPELLUCOR_GUI=OFF -DPELLUCOR_BENCH=OFF >/dev/null
cmake --build "$root/build/test-nogui" -j "$jobs"
ctest --test-dir "$root/build/test-nogui" --output-on-failure -j "$jobs"

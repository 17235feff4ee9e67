#!/usr/bin/env bash
# Wall-clock timings of the console program with hyperfine (Release build):
#   1. 10 000 members of the marine sheet, CSV in to CSV out, on all cores and on one;
#   2. one console calculation of the marine worked example against 'pellucor-cli --help'
#      (the checkpoint tables are compiled in, so a run pays nothing to fill them);
#   3. 10^5 samples of the marine worked example (the whole reliability analysis, all cores and
#      one thread) against one console calculation of it.
# Usage: bench/batch_timing.sh [BUILD_DIR]   (default: build/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELLUCOR_GUI=OFF \
  -DPELLUCOR_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pellucor-cli >/dev/null
cli=$build/app/pellucor-cli/pellucor-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 10 000 members spread over the valid ranges (a fixed linear congruential sequence, so every
# run times the same file); a few per cent stop at the plausibility check.
awk 'BEGIN {
  s = 12345
  print "member,environment,temperature,humidity,strength,cover,age,diffusion,surface," \
        "critical,cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel"
  for (i = 0; i < 10000; i++) {
    for (k = 0; k < 12; k++) { s = (s * 1103515245 + 12345) % 2147483648; u[k] = s / 2147483648 }
    printf "M%05d,%.2f,%.1f,%.2f,%.0f,%.0f,%.0f,%.2f,%.1f,%.2f,20,%.0f,%.2f,%.0f,10,5,%d\n",
      i, 1 + 4.5 * u[0], 4 + 26 * u[1], 0.4 + 0.6 * u[2], 10 + 40 * u[3], 10 + 80 * u[4],
      1 + 79 * u[5], 0.2 + 7.8 * u[6], 1 + 12 * u[7], 1.2 + 0.4 * u[8], 8 + 32 * u[9],
      0.5 + 4.5 * u[10], 5 + 25 * u[11], 1 + i % 3
  }
}' >"$work/members.csv"

echo "== 10 000 marine members, CSV to CSV"
# Exit status 2: a few members stop at a check, as in any real inventory.
hyperfine -N -i --warmup 2 --runs 20 \
  -n "all cores" "$cli batch marine $work/members.csv -o $work/out.csv" \
  -n "one thread" "$cli batch marine $work/members.csv --jobs 1 -o $work/out1.csv"
cmp "$work/out.csv" "$work/out1.csv"

echo "== one console calculation against --help"
hyperfine -N --warmup 10 --runs 200 \
  -n "help" "$cli --help" \
  -n "marine example" "$cli marine environment=1.5 temperature=20 humidity=0.8 strength=30 \
cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 \
accumulation=1.0 stable-time=25 initiation-time=10 t2=5 steel=2" \
  -n "constant-coefficient example" "$cli 2 Text1=1.5 Text2=20 Text3=0.8 Text4=30 Text5=40 \
Text6=20 Text7=1.5 Text8=5 Text9=1.4 Text13=20 Text14=20 Combo1=2"

echo "== 10^5 marine samples (the whole reliability analysis) against one deterministic run"
hyperfine -N --warmup 2 --runs 10 \
  -n "marine example" "$cli marine environment=1.5 temperature=20 humidity=0.8 strength=30 \
cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 \
accumulation=1.0 stable-time=25 initiation-time=10 t2=5 steel=2" \
  -n "mc marine example, 10^5 samples" "$cli mc marine environment=1.5 temperature=20 \
humidity=0.8 strength=30 cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 \
diameter=20 accumulation=1.0 stable-time=25 initiation-time=10 t2=5 steel=2 --samples 100000" \
  -n "mc marine example, 10^5 samples, one thread" "$cli mc marine environment=1.5 \
temperature=20 humidity=0.8 strength=30 cover=40 age=20 diffusion=1.5 surface=5 critical=1.4 \
cracking-time=20 diameter=20 accumulation=1.0 stable-time=25 initiation-time=10 t2=5 steel=2 \
--samples 100000 --threads 1"

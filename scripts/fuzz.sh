#!/usr/bin/env bash
# The longer run of the fuzz targets of the readers of user files (the project file, the
# readings tables): built with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (Debian clang and libclang-rt-14-dev), each started from its committed corpus.
#
#   scripts/fuzz.sh                  # 1000000 inputs per target
#   scripts/fuzz.sh 5000000 project_reader
#
# A broken promise, a crash, a leak or undefined behaviour stops the target and leaves the input
# as crash-* (or leak-*, timeout-*) in build/fuzz/findings/TARGET; add it to the target's corpus
# under tests/fuzz/corpus once it is mended, so that every test run replays it. New inputs the
# fuzzer finds go to build/fuzz/corpus/TARGET (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-1000000}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(project_reader readings)

for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
    echo "fuzz: the Debian package $p is missing (apt-get install $p)" >&2
    exit 1
  }
done

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
  -DPELLUCOR_GUI=OFF -DPELLUCOR_BENCH=OFF -DPELLUCOR_FUZZ=ON >/dev/null
cmake --build "$root/build/fuzz" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
for t in "${targets[@]}"; do
  corpus="$root/build/fuzz/corpus/$t"
  findings="$root/build/fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $t, $runs inputs" >&2
  start=$(date +%s)
  "$root/build/fuzz/tests/fuzz/fuzz_$t" -runs="$runs" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" "$root/tests/fuzz/corpus/$t"
  echo "fuzz: $t clean after $runs inputs in $(($(date +%s) - start)) s" >&2
done

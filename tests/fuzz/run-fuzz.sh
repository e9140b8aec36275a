#!/usr/bin/env bash
# Builds the fuzz targets of the container readers with clang (libFuzzer,
# ASan, UBSan) in a build directory of their own and runs each for a fixed
# time. Any finding (crash, sanitizer report, leak, broken property, slow or
# memory-hungry input) fails the run; the input is kept in $BUILD/fuzz/<name>/.
#
#   FUZZ_BUILD (build-fuzz)  FUZZ_TIME (45 seconds per target)  JOBS (nproc)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_TIME:-45}
jobs=${JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVYN_CORE_ONLY=ON -DVYN_SANITIZE=ON -DVYN_FUZZ=ON
cmake --build "$build" -j "$jobs" --target fuzz_cob_reader fuzz_mfs_reader

for name in cob mfs; do
  work="$build/fuzz/$name"
  mkdir -p "$work/corpus"
  echo "== fuzzing the $name reader for $seconds s"
  # New inputs go to the work corpus; the seeds in the source tree stay as they are.
  "$build/fuzz/fuzz_${name}_reader" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -dict="tests/fuzz/$name.dict" -artifact_prefix="$work/" -print_final_stats=1 \
    "$work/corpus" "tests/fuzz/corpus/$name"
done
echo "== fuzzing found nothing"

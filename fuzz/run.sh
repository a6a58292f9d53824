#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a set time, starting
# from its seeds in fuzz/corpus/<target>/ (left as they are). Any crash, leak,
# sanitizer report or timeout fails; the input that caused it is kept in
# the build folder's artifacts/.
#   fuzz/run.sh [SECONDS]      (default: $FUZZ_SECONDS, else 60)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${1:-${FUZZ_SECONDS:-60}}
cxx=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx"
fi
cmake --build "$build" -j "${JOBS:-2}"

artifacts="$build/artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen

status=0
for source in "$top"/fuzz/*_fuzzer.cpp; do
  target=$(basename "$source" .cpp)
  work=$(mktemp -d)
  log="$build/$target.log"
  # Structures from the telephony service run up to 64 KiB; dialog documents
  # with many dialogs run to several KiB; the rest are small.
  max_len=4096
  [ "$target" = telephony_fuzzer ] && max_len=70000
  [ "$target" = dialoginfo_fuzzer ] && max_len=16384
  if "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$work" "$top/fuzz/corpus/$target" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ok, $runs runs in ${seconds}s"
  else
    echo "fuzz: $target FAILED (see $log and $artifacts)"
    tail -n 40 "$log"
    status=1
  fi
  rm -rf "$work"
done
exit $status

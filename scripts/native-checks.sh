#!/bin/bash
# Builds the Windows-free pieces natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs their tests, then runs each fuzzer for a
# bounded time (ORVI_FUZZ_SECONDS each, 25 by default). Any finding fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/native"
seconds=${ORVI_FUZZ_SECONDS:-25}
cmake -S "$root/tests/native" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error
for fuzzer in "$build"/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  mkdir -p "$build/corpus-$name"
  echo "fuzzing $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 "$build/corpus-$name" \
    >"$build/$name.log" 2>&1 || { tail -40 "$build/$name.log"; echo "$name: finding"; exit 1; }
  grep -E '^Done [0-9]+ runs' "$build/$name.log" || true
done

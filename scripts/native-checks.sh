#!/bin/bash
# Builds the Windows-free pieces natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs their tests, then runs each fuzzer for a
# bounded time: ORVI_FUZZ_SECONDS each, by default an even share of 52 seconds
# in all. Any finding (crash, sanitizer report, hang) fails.
# ORVI_NATIVE_BUILD picks the build folder (build/native by default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVI_NATIVE_BUILD:-$root/build/native}
cmake -S "$root/tests/native" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error

fuzzers=()
for fuzzer in "$build"/fuzz_*; do
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
[ ${#fuzzers[@]} -gt 0 ] || { echo "no fuzzers were built"; exit 1; }
seconds=${ORVI_FUZZ_SECONDS:-$((52 / ${#fuzzers[@]}))}

# Seeds: a few valid inputs of each kind, written afresh on every run.
seed() { # fuzzer name, seed name, printf format
  mkdir -p "$build/seeds-$1"
  printf "$3" >"$build/seeds-$1/$2"
}
seed fuzz_text parts '\x20abc\0def\0.ocx'
seed fuzz_stored_name plain 'testctl.ocx'
seed fuzz_stored_name climb '..\\..\\a.txt'
seed fuzz_stored_name device 'CON.txt'
seed fuzz_stored_name chinese '\xd6\xd0\xce\xc4.txt'
seed fuzz_stored_name trail '\x9c\x5c\x96\x7c.ocx'
seed fuzz_family seal 'ORVI.SealServer\0{12345678-abcd-cdef-abcd-abcdefabcdef}'
seed fuzz_family office 'ORVI.Office\0{12345678-abcd-cdef-abcd-abcdefabcdef}'
seed fuzz_family guids '{5E6F7A8B-1111-4c2d-9E8F-00AABBCCDDEE}\0{00000000-1111-4c2d-9E8F-00AABBCCDDEE}'
seed fuzz_family prefix 'PDF.Oanything'
seed fuzz_cabinet_report list '\xf9拖入文件路径:\0C:\\a.cab\0C:/OrviActiveX/1765000000/\0C:/OrviActiveX/1765000000/a.txt\0b\r\nc\0'
seed fuzz_cabinet_report small '\x05\0\0\0aaaa\0bbbbbbbbbbbbbbbbbbbbbb\0c'
seed fuzz_cabinet_report after '\x30\0C:\\a.cab\0F/\0F/a.ocx\0F/b.ocx\0F/c.ocx\0\x01failed: F/a.ocx reason\0\x01second'

for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  mkdir -p "$build/corpus-$name" "$build/seeds-$name"
  echo "fuzzing $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -timeout=5 -print_final_stats=0 -artifact_prefix="$build/$name-" \
    "$build/corpus-$name" "$build/seeds-$name" >"$build/$name.log" 2>&1 ||
    { tail -40 "$build/$name.log"; echo "$name: finding (input saved under $build/$name-*)"; exit 1; }
  grep -E '^Done [0-9]+ runs' "$build/$name.log" || true
done

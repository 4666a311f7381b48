#!/bin/bash
# Measures the tool's operations against references taken in the same run and
# prints one table (on stdout; progress goes to stderr), and a second one for
# the i686 exe as a 32-bit process on 64-bit Windows (start-up, query and
# cabinet rows) where 32-bit code runs. Builds both builds with the benchmark
# programs (bench/, built only here: the presets mingw-<arch>-bench), makes a
# fresh Wine prefix of its own below build/prefixes, runs orvi_bench.exe in it
# under wine64 on a virtual display of its own, and removes everything it made
# afterwards, also when it fails or is interrupted.
#
#   ORVI_BENCH_RUNS        runs per figure (at least 5, the default)
#   ORVI_BENCH_ROWS        rows to run, e.g. "14" (default all: "1234567")
#   ORVI_BENCH_BUILD       x86_64 build folder (default build/x86_64)
#   ORVI_BENCH_BUILD_I686  i686 build folder (default build/i686)
#   ORVI_BENCH_CPU         the CPU everything runs on (default the last one)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib=$root/scripts/lib
build=${ORVI_BENCH_BUILD:-$root/build/x86_64}
build_i686=${ORVI_BENCH_BUILD_I686:-$root/build/i686}
say() { echo "benchmark: $*" >&2; }

"$lib/install-deps.sh" >&2
say "building $build (x86_64) and $build_i686 (i686 release), each with the benchmark programs"
(cd "$root" && cmake --preset mingw-x86_64-bench -B "$build" >/dev/null)
cmake --build "$build" >&2
(cd "$root" && cmake --preset mingw-i686-bench -B "$build_i686" >/dev/null)
cmake --build "$build_i686" >&2

. "$lib/wine-env.sh"
work=$(mktemp -d /tmp/orvi-bench.XXXXXX)
mkdir -p "$ORVI_PREFIXES"
prefix=$(mktemp -d "$ORVI_PREFIXES/bench.XXXXXX")
cleanup() {
  if [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
    WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null || true
  fi
  rm -rf "$work" "$prefix" "$prefix.lock"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$(date +%s)
load_before=$(cut -d" " -f1-3 /proc/loadavg)
say "making a fresh Wine prefix in $prefix"
"$lib/make-prefix.sh" "$prefix" unmanaged

# Every registry call (and every X request) is a round trip to another
# process. Between two CPUs of a virtual machine that round trip costs more
# than ten times what it costs on one CPU, as the idle CPU must be woken, and
# the scheduler moves the two apart or together at will in the middle of a
# walk: a bare walk then takes anything from one to seventeen times as long.
# The Wine server, the display and every Wine process share one CPU instead.
cpu=${ORVI_BENCH_CPU:-$(( $(nproc) - 1 ))}
say "running everything on CPU $cpu"

export ORVI_ROOT="$root" ORVI_BENCH_BIN="$build/bin" ORVI_BENCH_WORK="$work" WINEPREFIX="$prefix"
export ORVI_BENCH_I686_EXE_BYTES=$(stat -c %s "$build_i686/bin/OrviActiveX.exe")
taskset -c "$cpu" "$lib/with-display.sh" bash -c '
  set -euo pipefail
  . "$ORVI_ROOT/scripts/lib/wine-env.sh"
  wine_start
  cd "$ORVI_BENCH_BIN"
  cabinet="$ORVI_BENCH_WORK/bench.cab"
  "$WINE64" orvi_bench.exe --make-cabinet "Z:$cabinet" </dev/null
  # The native unpacker, for information: the median of five runs.
  times=()
  for run in 1 2 3 4 5; do
    out="$ORVI_BENCH_WORK/cabextract$run"
    mkdir "$out"
    t0=$(date +%s%N)
    cabextract -q -d "$out" "$cabinet"
    t1=$(date +%s%N)
    rm -rf "$out"
    times+=($(( (t1 - t0) / 1000 )))
  done
  median=$(printf "%s\n" "${times[@]}" | sort -n | sed -n 3p)
  export ORVI_BENCH_CABEXTRACT_MS=$(awk -v us="$median" "BEGIN { printf \"%.1f\", us / 1000 }")
  echo "benchmark: cabextract took ${times[*]} us" >&2
  status=0
  "$WINE64" orvi_bench.exe --cabinet "Z:$cabinet" </dev/null || status=$?
  wine_stop
  exit $status
'
# The i686 exe, the one the tool ships as, runs as a 32-bit process on
# 64-bit Windows (WoW64): its start-up, query and cabinet rows, in the same
# prefix, on the same CPU, with the i686 build of the benchmark program.
rows_i686=$(tr -cd '145' <<<"${ORVI_BENCH_ROWS:-145}")
if [ -z "$rows_i686" ]; then
  :
elif reason=$("$lib/can-run-i686.sh" "$prefix" 2>&1); then
  say "i686 (WoW64) rows $rows_i686"
  ORVI_BENCH_BIN="$build_i686/bin" ORVI_BENCH_ROWS="$rows_i686" ORVI_BENCH_I686_EXE_BYTES= taskset -c "$cpu" \
    "$lib/with-display.sh" bash -c '
    set -euo pipefail
    . "$ORVI_ROOT/scripts/lib/wine-env.sh"
    wine_start
    cd "$ORVI_BENCH_BIN"
    echo
    status=0
    "$WINE64" orvi_bench.exe --cabinet "Z:$ORVI_BENCH_WORK/bench.cab" </dev/null || status=$?
    wine_stop
    exit $status
  '
else
  echo "i686 (WoW64) rows not run: this machine cannot run 32-bit Windows programs ($reason)"
fi
echo "Machine load (1, 5, 15 min) before: $load_before, after: $(cut -d" " -f1-3 /proc/loadavg) on $(nproc) cores; the benchmark ran on CPU $cpu alone."
say "done in $(( $(date +%s) - started )) s (after the build)"

#!/usr/bin/env bash
# Builds every libFuzzer target of fuzz/ with clang and runs each for a bounded time on a scratch
# copy of its corpus (fuzz/corpus/<reader>/ for fuzz_<reader>), so the committed corpus never
# changes. Fails on any crash, leak, timeout or sanitizer report; the input that failed is copied
# to fuzz/ (crash-*, leak-*, timeout-* are ignored by git).
# The committed corpus holds the seeds and what longer runs found: every input that reached code
# no other input reaches. So a short run starts where the long ones stopped. `--grow` runs the
# targets (QDMILL_FUZZ_SECONDS each, say 300) and merges into fuzz/corpus/<reader>/ the inputs
# that reach new code; commit them.
# Build folder: QDMILL_FUZZ_BUILD when set (a build configured with QDMILL_FUZZ=ON, as
# scripts/test.sh makes with QDMILL_TEST_CC=clang), else build-fuzz/.
# QDMILL_FUZZ_SECONDS: seconds per target (default 10). QDMILL_FUZZ_JOBS: targets run at once
# (default: one per core, at most 8). Arguments: [--grow] names of targets to run (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
grow=0
if [ "${1:-}" = "--grow" ]; then
  grow=1
  shift
fi
QDMILL_NEED_FUZZ=1 bash scripts/deps.sh
seconds=${QDMILL_FUZZ_SECONDS:-10}
cores=$(nproc 2>/dev/null || echo 2)
[ "$cores" -gt 8 ] && cores=8
parallel=${QDMILL_FUZZ_JOBS:-$cores}

if [ -n "${QDMILL_FUZZ_BUILD:-}" ]; then
  build=$QDMILL_FUZZ_BUILD
  if ! grep -q '^QDMILL_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "fuzz: $build is not a build with QDMILL_FUZZ=ON" >&2
    exit 2
  fi
else
  build=build-fuzz
  # clang 16 or newer: the library records failure sites with std::source_location, which older
  # clang cannot compile against this standard library. -O1 keeps the build short and the targets
  # fast; line tables are enough for the sanitizers' reports.
  cc=clang-16 cxx=clang++-16
  command -v "$cxx" >/dev/null 2>&1 || { cc=clang; cxx=clang++; }
  generator="Unix Makefiles"
  command -v ninja >/dev/null 2>&1 && generator=Ninja
  if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^CMAKE_GENERATOR:INTERNAL=$generator\$" "$build/CMakeCache.txt"; then
    rm -rf "$build"  # made by another generator, which CMake cannot switch
  fi
  CC=$cc CXX=$cxx cmake -S . -B "$build" -G "$generator" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
    -DQDMILL_FUZZ=ON -DQDMILL_TESTS=OFF -DQDMILL_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target qdmill_fuzz_all -j "$cores"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do targets+=("$build/fuzz/$name"); done
else
  # Targets come from the sources, so a stale binary of a removed target is never run.
  for src in fuzz/fuzz_*.cpp; do
    [ -f "$src" ] && targets+=("$build/fuzz/$(basename "$src" .cpp)")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built" >&2
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qdmill-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
limits=(-timeout=10 -rss_limit_mb=2048 -max_len=32768)

# Runs one target in its own scratch folder; its exit status is that of the fuzzer. The inputs it
# finds go to new/, beside the copy of the committed corpus.
run_target() {
  local bin=$1 name reader work
  name=$(basename "$bin")
  reader=${name#fuzz_}
  work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/new"
  if [ -d "$root/fuzz/corpus/$reader" ]; then
    cp -R "$root/fuzz/corpus/$reader/." "$work/corpus/"
  fi
  (cd "$work" && TMPDIR="$work" "$bin" -max_total_time="$seconds" "${limits[@]}" \
    -print_final_stats=1 -artifact_prefix="$work/" new corpus >"$work/log" 2>&1)
}

# Adds to the committed corpus the found inputs that reach code it does not reach yet (edges
# only, not hit counts, which keeps the corpus small).
merge_target() {
  local bin=$1 name reader work
  name=$(basename "$bin")
  reader=${name#fuzz_}
  work="$scratch/$name"
  mkdir -p "$root/fuzz/corpus/$reader"
  local before
  before=$(find "$root/fuzz/corpus/$reader" -type f | wc -l)
  (cd "$work" && TMPDIR="$work" "$bin" -merge=1 -use_counters=0 "${limits[@]}" \
    "$root/fuzz/corpus/$reader" new >"$work/merge.log" 2>&1)
  echo "fuzz: $name corpus $before -> $(find "$root/fuzz/corpus/$reader" -type f | wc -l) inputs"
}

failed=0
names=()
pids=()
for bin in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do sleep 1; done
  run_target "$bin" &
  pids+=($!)
  names+=("$(basename "$bin")")
done
for i in "${!pids[@]}"; do
  name=${names[$i]}
  status=0
  wait "${pids[$i]}" || status=$?
  log="$scratch/$name/log"
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    failed=1
    echo "fuzz: $name FAILED (exit $status)" >&2
    tail -n 60 "$log" >&2
    for artifact in "$scratch/$name"/crash-* "$scratch/$name"/leak-* "$scratch/$name"/timeout-* \
      "$scratch/$name"/oom-*; do
      [ -f "$artifact" ] || continue
      base=$(basename "$artifact")
      kept="fuzz/${base%%-*}-$name-${base#*-}"
      cp "$artifact" "$root/$kept"
      echo "fuzz: input kept as $kept" >&2
    done
  else
    runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
    echo "fuzz: $name ok ($runs runs in ${seconds}s)"
    if [ "$grow" = 1 ]; then
      merge_target "$build/fuzz/$name"
    fi
  fi
done
exit "$failed"

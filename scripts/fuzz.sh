#!/usr/bin/env bash
# Builds every libFuzzer target of fuzz/ with clang into build-fuzz/ and runs each for a bounded
# time on a scratch copy of its seed corpus (fuzz/corpus/<reader>/ for fuzz_<reader>), so the
# committed corpus never changes. Fails on any crash, leak, timeout or sanitizer report; the
# input that failed is copied to fuzz/ (crash-*, leak-*, timeout-* are ignored by git).
# QDMILL_FUZZ_SECONDS: seconds per target (default 30). QDMILL_FUZZ_JOBS: targets run at once
# (default 2). Arguments: names of targets to run (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
QDMILL_NEED_FUZZ=1 bash scripts/deps.sh
seconds=${QDMILL_FUZZ_SECONDS:-30}
parallel=${QDMILL_FUZZ_JOBS:-2}
cores=$(nproc 2>/dev/null || echo 2)
[ "$cores" -gt 8 ] && cores=8
build=build-fuzz

# clang 16 or newer: the library records failure sites with std::source_location, which older
# clang cannot compile against this standard library.
cc=clang-16 cxx=clang++-16
command -v "$cxx" >/dev/null 2>&1 || { cc=clang; cxx=clang++; }
CC=$cc CXX=$cxx cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQDMILL_FUZZ=ON -DQDMILL_TESTS=OFF -DQDMILL_BENCH=OFF >/dev/null
cmake --build "$build" --target qdmill_fuzz_all -j "$cores"

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

# Runs one target in its own scratch folder; its exit status is that of the fuzzer.
run_target() {
  local bin=$1 name reader work
  name=$(basename "$bin")
  reader=${name#fuzz_}
  work="$scratch/$name"
  mkdir -p "$work/corpus"
  if [ -d "$root/fuzz/corpus/$reader" ]; then
    cp -R "$root/fuzz/corpus/$reader/." "$work/corpus/"
  fi
  (cd "$work" && TMPDIR="$work" "$root/$bin" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=32768 -print_final_stats=1 -artifact_prefix="$work/" \
    corpus >"$work/log" 2>&1)
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
  fi
done
exit "$failed"

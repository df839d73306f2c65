#!/usr/bin/env bash
# Checks the layering of src/ and the format of the sources, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer (build folder build-san/, or QDMILL_TEST_BUILD)
# and runs every test; any sanitizer report fails its test. Then runs every fuzz target for a
# bounded time (scripts/fuzz.sh). Tests that read the real meshes of ../shared/data skip when that
# folder is absent. Prints the time of each stage at the end.
# The sanitizer build is a Debug build whose library and toolpath checker are compiled with -O1:
# the tests spend their time there, the test code itself compiles fastest at -O0. Line tables
# only: enough for the sanitizers' stack traces, and a third of the disk.
# QDMILL_TEST_CC=clang builds with clang 16 instead of gcc, one build for the tests and the fuzz
# targets (no build-fuzz/).
# Usage: scripts/test.sh [ctest arguments...]: with arguments (e.g. -R Stl) only those tests run,
# and no fuzzing.
if [ -z "${BASH_VERSION:-}" ]; then
  # Started with sh: go on under bash.
  if command -v bash >/dev/null 2>&1; then exec bash "$0" "$@"; fi
  echo "test.sh: needs bash" >&2
  exit 2
fi
set -euo pipefail
cd "$(dirname "$0")/.."
compiler=${QDMILL_TEST_CC:-gcc}
case "$compiler" in
  gcc) cc=gcc cxx=g++ lines=-g1 fuzz=OFF ;;
  clang) cc=clang-16 cxx=clang++-16 lines=-gline-tables-only fuzz=ON ;;
  *)
    echo "test.sh: QDMILL_TEST_CC is gcc or clang, not '$compiler'" >&2
    exit 2
    ;;
esac
need_fuzz=0
[ "$fuzz" = ON ] && need_fuzz=1
QDMILL_NEED_FUZZ=$need_fuzz bash scripts/deps.sh
# The src/ folders stack in the README's order, without include loops; the sources are formatted.
python3 scripts/check-layers.py
bash scripts/check-format.sh
jobs=$(nproc 2>/dev/null || echo 2)
build=${QDMILL_TEST_BUILD:-build-san}
stages=()
started=$SECONDS
stage() {
  stages+=("$1 $((SECONDS - started)) s")
  started=$SECONDS
}
report() {
  local IFS=,
  echo "test.sh: seconds per stage: ${stages[*]}"
}

# A build folder made by another generator or compiler is made anew: CMake can switch neither.
if [ -f "$build/CMakeCache.txt" ]; then
  if ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$build/CMakeCache.txt" ||
    ! grep -qx "CMAKE_CXX_COMPILER:FILEPATH=$(command -v "$cxx")" "$build/CMakeCache.txt"; then
    echo "test.sh: $build was made by another generator or compiler: building it anew"
    rm -rf "$build"
  fi
fi
CC=$cc CXX=$cxx cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CXX_FLAGS_DEBUG=$lines" "-DCMAKE_C_FLAGS_DEBUG=$lines" -DQDMILL_LIBRARY_FLAGS=-O1 \
  -DQDMILL_SANITIZE=ON -DQDMILL_FUZZ=$fuzz -DQDMILL_WERROR=ON -DQDMILL_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"
stage build
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
(cd "$build" && ctest -j "$jobs" --output-on-failure --no-tests=error "$@") || status=$?
stage tests
if [ "$status" -ne 0 ]; then
  [ $# -eq 0 ] && echo "fuzzing skipped: tests failed" >&2
  report
  exit "$status"
fi
if [ $# -eq 0 ] && [ -f scripts/fuzz.sh ]; then
  if [ "$fuzz" = ON ]; then
    QDMILL_FUZZ_BUILD=$build bash scripts/fuzz.sh || status=$?
  else
    bash scripts/fuzz.sh || status=$?
  fi
  stage fuzzing
fi
report
exit "$status"

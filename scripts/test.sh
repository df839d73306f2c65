#!/usr/bin/env bash
# Checks the layering of src/ and the format of the sources, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer (build folder build-san/, or QDMILL_TEST_BUILD)
# and runs every test; any sanitizer report fails its test. Then runs every fuzz target for a
# bounded time (scripts/fuzz.sh). Tests that read the real meshes of ../shared/data skip when that
# folder is absent.
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
bash scripts/deps.sh
# The src/ folders stack in the README's order, without include loops; the sources are formatted.
python3 scripts/check-layers.py
bash scripts/check-format.sh
jobs=$(nproc 2>/dev/null || echo 2)
build=${QDMILL_TEST_BUILD:-build-san}
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
  -DQDMILL_SANITIZE=ON -DQDMILL_WERROR=ON -DQDMILL_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
(cd "$build" && ctest -j "$jobs" --output-on-failure --no-tests=error "$@") || status=$?
if [ "$status" -ne 0 ]; then
  [ $# -eq 0 ] && echo "fuzzing skipped: tests failed" >&2
  exit "$status"
fi
if [ $# -eq 0 ] && [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi

#!/usr/bin/env bash
# Checks the layering of src/ and the format of the sources, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test. Any sanitizer report fails
# its test. Usage: scripts/test.sh [ctest arguments...]
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
(cd "$build" && ctest -j "$jobs" --output-on-failure --no-tests=error "$@")
if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi

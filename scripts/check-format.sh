#!/usr/bin/env bash
# Checks that every C++ source of src/, tests/, tools/, bench/ and fuzz/ is formatted as
# .clang-format says (clang-format 14 or newer). Lists the files that are not and fails; with
# --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=${CLANG_FORMAT:-clang-format}
if ! command -v "$formatter" >/dev/null 2>&1; then
  echo "check-format: $formatter not found (install clang-format)" >&2
  exit 1
fi
# A style file that cannot be read would make every file look formatted.
"$formatter" --style=file --dump-config >/dev/null
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' \
  'tools/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no files" >&2
  exit 1
fi
if [ "${1:-}" = "--fix" ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 32 -P "$(nproc 2>/dev/null || echo 2)" "$formatter" -i
  exit 0
fi
# Files in batches, in parallel; clang-format names each place that is not formatted.
bad=$(printf '%s\0' "${files[@]}" | xargs -0 -n 40 -P "$(nproc 2>/dev/null || echo 2)" \
  "$formatter" --dry-run --Werror 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u) || true
if [ -n "$bad" ]; then
  echo "check-format: not formatted (run scripts/check-format.sh --fix):"
  echo "$bad"
  exit 1
fi
echo "check-format: ok (${#files[@]} files)"

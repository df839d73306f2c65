#!/usr/bin/env bash
# Builds the library, the host program and the toolpath checker (build folder build/; the host is
# build/bin/qdmill) and runs the first example: "qdmill -Sjob" in examples/first-part roughs the
# project's own part with the default strategy, its POF goes to build/first-part/job.pof, and the
# independent checker reads it against the part (no gouge beyond the allowance, rapids clear,
# every level cut). Exit code 0 when the run and the check both pass.
# Any arguments are passed to qdmill instead, run in examples/demo.
if [ -z "${BASH_VERSION:-}" ]; then
  # Started with sh: go on under bash.
  if command -v bash >/dev/null 2>&1; then exec bash "$0" "$@"; fi
  echo "run-example.sh: needs bash" >&2
  exit 2
fi
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQDMILL_TESTS=ON -DQDMILL_BENCH=OFF \
  >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qdmill qdmill_host pofcheck >&2
if [ $# -gt 0 ]; then
  cd examples/demo
  exec "$root/build/bin/qdmill" "$@"
fi
out=$root/build/first-part
mkdir -p "$out"
cd examples/first-part
echo "qdmill -Sjob (in examples/first-part) > build/first-part/job.pof" >&2
"$root/build/bin/qdmill" -Sjob >"$out/job.pof"
echo "checking build/first-part/job.pof against part.stl:" >&2
"$root/build/tests/pofcheck" --tool flat:5 --stl part.stl --allowance 0.5 --tol 0.01 --stock 30 \
  --forbid 3003 --levels 27,24.5,24,21,18,15,14.5,12,9,6,3,0 "$out/job.pof"

#!/usr/bin/env bash
# Builds the library and the host program (build folder build/, the host is build/bin/qdmill) and
# runs an example job. Without arguments it runs "qdmill -Sjob" in examples/rough-sphere: the
# roughing of the shared sphere part, whose POF text goes to standard output. Any arguments are
# passed to qdmill instead, run in examples/demo.
if [ -z "${BASH_VERSION:-}" ]; then
  # Started with sh: go on under bash.
  if command -v bash >/dev/null 2>&1; then exec bash "$0" "$@"; fi
  echo "run-example.sh: needs bash" >&2
  exit 2
fi
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQDMILL_TESTS=OFF -DQDMILL_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qdmill qdmill_host >&2
if [ $# -eq 0 ]; then
  cd examples/rough-sphere
  set -- -Sjob
else
  cd examples/demo
fi
exec ../../build/bin/qdmill "$@"

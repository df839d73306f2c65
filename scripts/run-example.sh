#!/usr/bin/env bash
# Builds the library and the host program and runs the example job in examples/demo.
# Without arguments it runs "qdmill --records -Sdemo": a computing run with demo.pcf that prints
# every record the host receives. Any arguments are passed to qdmill instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQDMILL_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qdmill qdmill_host >&2
cd examples/demo
if [ $# -eq 0 ]; then
  set -- -Sdemo
fi
exec ../../build/bin/qdmill "$@"

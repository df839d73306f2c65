#!/usr/bin/env bash
# Builds the library and the host program and runs the example job in examples/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQDMILL_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qdmill qdmill_host
cd examples/demo
exec ../../build/bin/qdmill "$@"

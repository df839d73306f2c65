#!/usr/bin/env bash
# Installs the build and test tools this project needs when they are missing (Debian packages).
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v clang-format >/dev/null 2>&1 || need+=(clang-format)
command -v python3 >/dev/null 2>&1 || need+=(python3)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev googletest)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
if [ "${QDMILL_NEED_FUZZ:-0}" = 1 ]; then
  command -v clang++-16 >/dev/null 2>&1 || need+=(clang-16)
  ls /usr/lib/llvm-16/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-16-dev)
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
  else
    echo "missing packages: ${need[*]} (run as root or install them)" >&2
    exit 1
  fi
fi
# A locale with a decimal comma, so the tests that check number text under a host locale run.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf'; then
  if [ "$(id -u)" = 0 ]; then
    { command -v localedef >/dev/null 2>&1 || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq locales; }; } \
      && localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || echo "note: no de_DE locale; locale tests will be skipped" >&2
  fi
fi

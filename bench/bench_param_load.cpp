// bench_param_load.cpp - loading a ".pcf" parameter file of 10^3 to 10^6 distinct names into the
// run's parameter list (entries per second), and the same file loaded a second time into the
// filled list, where every entry replaces the value of an existing name.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "framework/param_file.h"

namespace {

// A parameter file of count lines "pNNN := NNN" written once per count to a temporary file.
const std::string& paramFile(long count) {
  static std::map<long, std::string> paths;
  std::string& p = paths[count];
  if (p.empty()) {
    const char* dir = std::getenv("TMPDIR");
    p = std::string(dir != nullptr ? dir : "/tmp") + "/bench_param_XXXXXX.pcf";
    const int fd = ::mkstemps(p.data(), 4);
    if (fd < 0) std::abort();
    ::close(fd);
    std::ofstream out(p, std::ios::binary);
    for (long i = 0; i < count; ++i) out << "p" << i << " := " << i << "\n";
    static const bool registered = [] {
      std::atexit([] {
        for (const auto& [n, q] : paths) ::unlink(q.c_str());
      });
      return true;
    }();
    (void)registered;
  }
  return p;
}

void BM_ParamLoadFresh(benchmark::State& state) {
  const std::string& path = paramFile(state.range(0));
  for (auto _ : state) {
    ParamNode* list = parLoadFile(nullptr, path.c_str(), kParKindSource);
    benchmark::DoNotOptimize(list);
    state.PauseTiming();
    parListFree(list);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParamLoadFresh)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond);

void BM_ParamLoadReplacing(benchmark::State& state) {
  const std::string& path = paramFile(state.range(0));
  ParamNode* list = parLoadFile(nullptr, path.c_str(), kParKindDefinition);
  for (auto _ : state) {
    list = parLoadFile(list, path.c_str(), kParKindSource);
    benchmark::DoNotOptimize(list);
  }
  parListFree(list);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParamLoadReplacing)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

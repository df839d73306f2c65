// fuzz_cont_file.cpp - libFuzzer target of the readers of contour exchange files: the input (with
// a valid header put in front unless it has one) is rewritten into lines and half arcs and read
// as guide curves, and the first points of each curve go through the arc and line fit. A
// completed rewrite must read back without a lexical error, and neither the number precision nor
// the radius window may change.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/numtext.h"
#include "framework/xchg_file.h"
#include "framework/xchg_lexer.h"
#include "fuzz_input_file.h"
#include "geometry/arc_fit.h"
#include "geometry/arc_rewrite.h"
#include "geometry/cont_file.h"

namespace {

// Longer inputs add no new paths, only arcs of thousands of points each.
constexpr std::size_t kFuzzMaxInput = 8192;
constexpr int kFuzzFitPoints = 200;

const char* fuzzOutputFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_output_XXXXXX.qdx";
    const int fd = ::mkstemps(p.data(), 4);
    if (fd < 0) std::abort();
    ::close(fd);
    std::atexit([] { ::unlink(path.c_str()); });
    return p;
  }();
  return path.c_str();
}

// 1 when the whole file lexes without an error.
bool fuzzLexesCleanly(const char* path) {
  XchgHeader h{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen(path, &h);
  xchgHeaderFree(&h);
  if (f == nullptr) return false;
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  while (xchgNextElement(f, &e) == 1) {
  }
  xchgElementClear(&e);
  xchgClose(f);
  XchgLexError err{};
  xchgLexLastError(&err);
  return err.code == 0;
}

void fuzzFit(const GuideCurve* c, double tol) {
  const int n = std::min(c->count, kFuzzFitPoints);
  std::vector<ArcPoint> list(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    list[i] = ArcPoint{c->points[i].x, c->points[i].y, 0, kArcFresh, kArcNo, kArcNo};
  arcFitPoints(list.data(), n, tol, 0.1, 9999.9, 9999.9);
  int kind = 0, steps = 0;
  double x, y, z, cx, cy;
  for (int i = 0; (i = arcPtsNext(i, list.data(), n, &kind, &x, &y, &z, &cx, &cy)) >= 0;) {
    if (++steps > n) std::abort();  // every element ends further on
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  size = std::min(size, kFuzzMaxInput);
  const std::string banner(xchgBanner);
  const bool hasHeader =
      size >= banner.size() && std::memcmp(data, banner.data(), banner.size()) == 0;
  const char* in = fuzzInputFile(
      "qdx", data, size, hasHeader ? "" : banner + "\nqDX-Version: 1.0\nGeometry\nfuzz\n\n");
  const double tol = size > 0 ? 0.001 + (data[size - 1] % 64) * 0.005 : 0.01;
  const int precision = numPrecision();
  double lo = 0, hi = 0, lo2 = 0, hi2 = 0;
  arcGetTolerances(&lo, &hi);
  const char* out = fuzzOutputFile();
  const int completed = arcRecognizeRun(out, in);
  if (completed == 1 && !fuzzLexesCleanly(out)) std::abort();
  if (numPrecision() != precision) std::abort();
  GuideCurve* curves = contFileRead(in, tol);
  for (const GuideCurve* c = curves; c != nullptr; c = c->next) {
    if (c->count < 1 || std::memchr(c->name, '\0', sizeof c->name) == nullptr) std::abort();
    fuzzFit(c, tol);
  }
  guideFree(curves);
  arcGetTolerances(&lo2, &hi2);
  if (lo2 != lo || hi2 != hi) std::abort();
  contFileResetState();
  return 0;
}

// fuzz_pock_geometry.cpp - libFuzzer target of the pocket cycles' contour reader: the input (with a
// valid header put in front unless it has one) is read into layer INPUT with reading switches
// taken from its last byte (scaled lengths, stock mode, rest evaluation, orientation mode), and
// what was read is prepared for pocketing. Every stored contour must have a count within the
// element limit and its elements must be lines or arcs; the read must never store more contours
// than the allowance table counts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/param_list.h"
#include "framework/xchg_lexer.h"
#include "fuzz_input_file.h"
#include "pocket/ccp_record.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"

namespace {
// Longer inputs add no new paths.
constexpr std::size_t kFuzzMaxInput = 16384;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  size = std::min(size, kFuzzMaxInput);
  const std::string banner(xchgBanner);
  const bool hasHeader =
      size >= banner.size() && std::memcmp(data, banner.data(), banner.size()) == 0;
  const char* in = fuzzInputFile(
      "qdx", data, size, hasHeader ? "" : banner + "\nqDX-Version: 1.0\nGeometry\nfuzz\n\n");
  const std::uint8_t switches = size > 0 ? data[size - 1] : 0;

  CycleRecord* cycle = ccpCycleRecord();
  CcpRecord* r = ccpRecordOf(cycle);
  r->geoSource = memStrDup(in);
  r->scaleLengths = switches & 1;
  r->stockMode = (switches >> 1) & 1;
  r->evaluateRif = (switches >> 2) & 1;
  r->oriAutomatic = (switches >> 3) & 1;
  r->toolDiameter = 1.0;
  pockEngine().pockToolRadius = (switches & 16) != 0 ? 0.01 : 5.0;

  const int read = pockReadGeometry(r, 0);
  if (read != 0 && read != 1) std::abort();
  const int n = layerCount("INPUT");
  if (n > pockAllowanceCount() || n > kLayerMaxContours) std::abort();
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("INPUT", &h, i) != i) std::abort();
    if (h.count < 0 || h.count > kContMaxElements) std::abort();
    e.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour("INPUT", e.data(), h.count, &h, i) != i) std::abort();
    for (int k = 0; k < h.count; ++k) {
      if (e[k].type != kContLine && e[k].type != kContArc) std::abort();
    }
  }
  if (read == 1) {
    const int prepared = pockPrepareContours(r, 0);
    if (prepared != 0 && prepared != 1) std::abort();
  }

  parListFree(cycle->params);
  cycle->params = nullptr;
  ccpRecordReset();
  pockRunReset();
  layerResetState();
  pockGeometryResetState();
  numResetState();
  return 0;
}

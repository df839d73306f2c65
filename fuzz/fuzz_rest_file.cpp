// fuzz_rest_file.cpp - libFuzzer target of the rest information file reader: the input is read
// into a layer and without one. Whatever is read must be contours of line and arc elements within
// the element limit, numbered in reading order, and both readings must agree on the result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input_file.h"
#include "pocket/ccp_params.h"
#include "pocket/layer_store.h"
#include "pocket/rest_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzzInputFile("rif", data, size);
  PocketCfgRecord& cfg = pockCfg();
  if (std::strlen(path) >= sizeof cfg.rifName) std::abort();
  std::snprintf(cfg.rifName, sizeof cfg.rifName, "%s", path);
  cfg.evalRif = 1;
  if (layerCreate("SPAN") == 0) std::abort();
  double r1 = -1.0;
  const int into = rifRead("SPAN", &r1);
  double r2 = -1.0;
  const int bare = rifRead(nullptr, &r2);
  if (into != bare || into < -1 || into > 2) std::abort();
  if (into > 0 && !(r1 == r1 && r2 == r2)) std::abort();
  const int n = layerCount("SPAN");
  std::vector<ContourElement> buffer(kRifMaxElements);
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetContour("SPAN", buffer.data(), kRifMaxElements, &h, i) != i) std::abort();
    if (h.group != i || h.count < 0 || h.count > kRifMaxElements) std::abort();
    for (int k = 0; k < h.count; ++k) {
      if (buffer[static_cast<std::size_t>(k)].type != kContLine &&
          buffer[static_cast<std::size_t>(k)].type != kContArc) {
        std::abort();
      }
    }
  }
  layerFree("SPAN");
  return 0;
}

// fuzz_facet.cpp - libFuzzer target of the binary facet file reader: the input is loaded as a
// facet file into triangle and four-corner models, plainly, structured into group sub-models,
// and as a sub-model file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/facet_file.h"
#include "model/model_load.h"

namespace {
const std::string& fuzzPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_facet_XXXXXX.3df";
    const int fd = ::mkstemps(p.data(), 4);
    if (fd < 0) std::abort();
    ::close(fd);
    return p;
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = [] {
    std::atexit([] { ::unlink(fuzzPath().c_str()); });
    return true;
  }();
  (void)once;
  std::FILE* f = std::fopen(fuzzPath().c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const char* path = fuzzPath().c_str();
  for (int type : {3, 4}) {
    CutterShape cutter{};
    cutter.type = kCutterBall;
    cutter.radius = cutter.cornerRadius = 1.0;
    SurfaceModel model;
    modelInit(&model, type);
    model.cutter = &cutter;
    if (modelLoadFile(&model, path) != 0 && modelIsEmpty(&model) != 1) std::abort();
    modelFreeContents(&model);
    if (modelLoadFileEx(&model, path, size % 2) != 0 && modelIsEmpty(&model) != 1) std::abort();
    modelFreeContents(&model);
    modelAddSubModelFile(&model, path, 0.5, 1, type, 1);
    modelFreeContents(&model);
  }
  facetFileResetState();
  return 0;
}

// fuzz_stl.cpp - libFuzzer target of the STL reader: the input is read as an STL file (text or
// binary, as detected) and loaded into triangle and four-corner surface models.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/model_load.h"
#include "model/stl_file.h"

namespace {
const std::string& fuzzPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_stl_XXXXXX.stl";
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
  Tri3List* list = stlRead(fuzzPath().c_str());
  if (list != nullptr && list->count < 0) std::abort();
  lstBox3Free(list);
  for (int type : {3, 4}) {
    SurfaceModel model;
    modelInit(&model, type);
    const int r = modelLoadFile(&model, fuzzPath().c_str());
    if (r != 0 && modelIsEmpty(&model) != 1) std::abort();  // no partial model after a failure
    modelFreeContents(&model);
  }
  return 0;
}

// fuzz_stl.cpp - libFuzzer target of the STL reader: the input is read as an STL file (text or
// binary, as detected) and loaded into triangle and four-corner surface models.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"
#include "model/model_load.h"
#include "model/stl_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzzInputFile("stl", data, size);
  Tri3List* list = stlRead(path);
  if (list != nullptr && list->count < 0) std::abort();
  lstBox3Free(list);
  for (int type : {3, 4}) {
    SurfaceModel model;
    modelInit(&model, type);
    const int r = modelLoadFile(&model, path);
    if (r != 0 && modelIsEmpty(&model) != 1) std::abort();  // no partial model after a failure
    modelFreeContents(&model);
  }
  return 0;
}

// fuzz_facet.cpp - libFuzzer target of the binary facet file reader: the input is loaded as a
// facet file into triangle and four-corner models, plainly, structured into group sub-models,
// and as a sub-model file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"
#include "model/facet_file.h"
#include "model/model_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzzInputFile("3df", data, size);
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

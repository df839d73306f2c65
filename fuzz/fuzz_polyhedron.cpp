// fuzz_polyhedron.cpp - libFuzzer target of the exchange polyhedron readers: the input is read
// with the triangle and the four-corner reader, and loaded as a mesh and as surface models.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"
#include "fuzz_input_file.h"
#include "model/mesh_load.h"
#include "model/model_load.h"
#include "model/polyhedron.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    xchgLexSetTrace(0);  // the method-name trace would fill the folder with one line per input
    return true;
  }();
  (void)quiet;
  // Inputs without the banner get a valid header, so that mutations reach the body.
  const bool banner =
      size >= sizeof xchgBanner - 1 && std::memcmp(data, xchgBanner, sizeof xchgBanner - 1) == 0;
  const char* path = fuzzInputFile(
      "qdx", data, size,
      banner ? "" : std::string(xchgBanner) + "\nqDX-Version: 1.0\nGeometry\nfuzz\n\n");
  PolyhedronBlock* blocks = nullptr;
  polyhedronReadTriangles(path, &blocks);
  polyhedronFreeBlocks(blocks);
  blocks = nullptr;
  polyhedronReadQuads(path, &blocks);
  polyhedronFreeBlocks(blocks);
  cyc3dFreeTriMeshes(cyc3dLoadTriMeshes(path, "fuzz", 0));
  cyc3dFreeQuadMeshes(cyc3dLoadQuadMeshes(path, "fuzz", 0, 0));
  for (int type : {3, 4}) {
    SurfaceModel model;
    modelInit(&model, type);
    if (modelLoadFile(&model, path) != 0 && modelIsEmpty(&model) != 1) std::abort();
    modelFreeContents(&model);
  }
  xchgNumResetState();
  return 0;
}

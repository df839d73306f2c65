// fuzz_polyhedron.cpp - libFuzzer target of the exchange polyhedron readers: the input is read
// with the triangle and the four-corner reader, and loaded as a mesh and as surface models.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cycles/mesh_load.h"
#include "framework/xchg_lexer.h"
#include "framework/xchg_number.h"
#include "model/model_load.h"
#include "model/polyhedron.h"

namespace {
const std::string& fuzzPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_poly_XXXXXX.qdx";
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
    xchgLexSetTrace(0);
    std::atexit([] { ::unlink(fuzzPath().c_str()); });
    return true;
  }();
  (void)once;
  std::FILE* f = std::fopen(fuzzPath().c_str(), "wb");
  if (f == nullptr) std::abort();
  // Inputs without the banner get a valid header, so that mutations reach the body.
  if (size < sizeof xchgBanner - 1 || std::memcmp(data, xchgBanner, sizeof xchgBanner - 1) != 0) {
    std::fprintf(f, "%s\nqDX-Version: 1.0\nGeometry\nfuzz\n\n", xchgBanner);
  }
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const char* path = fuzzPath().c_str();
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

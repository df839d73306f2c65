// fuzz_pof.cpp - libFuzzer target of the POF reader: the input is read back as a POF file through
// the level pocketing's hooks into a path, and through a bare layered stream whose line buffer
// size comes from the input. The read-back writes "tmp.dxf" into the working folder and include
// records name files relative to it: the fuzz script runs every target in a scratch folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cycles/level_pocket.h"
#include "framework/global_params.h"
#include "framework/xchg_lexer.h"
#include "geometry/path_list.h"
#include "output/pof_reader.h"

namespace {
int fuzzLine(const char* text, std::int32_t user) { return text[0] == '\0' ? user : 1; }

constexpr char kFuzzInput[] = "fuzz_pof_in.pof";

void fuzzCleanUp() {
  for (const char* name : {kFuzzInput, "tmp.dxf", "part.pof"}) ::unlink(name);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    xchgLexSetTrace(0);
    std::atexit(fuzzCleanUp);
    return true;
  }();
  (void)ready;
  std::FILE* f = std::fopen(kFuzzInput, "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  // An include record of the input can name this second file, so includes are reached too.
  f = std::fopen("part.pof", "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data, 1, size / 2, f);
  std::fclose(f);

  PathList* path = pathListNew(64, size % 3 == 0 ? 1 : 0);
  levelPocketResetState();
  levelPocketSetPath(path);
  parGlobalBlock()->stepMin = size % 5 == 0 ? 0.0 : 0.5;  // the arcs' chordal step
  pofReadBack(kFuzzInput);
  levelPocketResetState();
  pathListFree(path);
  pofReadResetState();

  const int capacity = size > 0 ? 1 + data[0] : 512;
  PofLineStream* st = pofStreamNew(kFuzzInput, capacity);
  if (st != nullptr) {
    for (std::uint16_t layer : {0, 1, 31, 34})
      pofStreamAddHandler(st, pofHandlerNew(layer, fuzzLine, 1));
    pofStreamRun(st);
  }
  pofStreamFree(st);
  return 0;
}

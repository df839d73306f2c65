// fuzz_xchg.cpp - libFuzzer target of the exchange reader: the input is read as a whole file
// through the interpreter (with handlers that use every utility a real reader uses), as a text
// through the element lexer, and as a text that must survive escaping and reading back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_number.h"

namespace {
struct FuzzRun {
  XchgPointTable* table;
  std::uint32_t sum;  // keeps the work of the handlers observable
};

// Objects: coordinates and a point stored at a bounded place (a reader bounds indices itself).
int fuzzObject(XchgElement* e, XchgScope*, void* user) {
  auto* run = static_cast<FuzzRun*>(user);
  XchgCoord c;
  xchgCoordPreset(&c, "0", nullptr, "");
  const int flags = xchgCoordParse(&c, e);
  const int col = xchgNumDecodeInt(c.second[0]) & 4095;
  const int row = static_cast<int>(std::strlen(c.first[1])) & 63;
  if (xchgPointTableSet(run->table, row, col, xchgNumDecode(c.first[0]), flags, 0) == 1) {
    double x = 0;
    xchgPointTableGet(run->table, row, col, &x, nullptr, nullptr);
  }
  return e->name != nullptr && std::strcmp(e->name, "Stop") == 0 ? 0 : 1;
}

// Methods: the text from memory or, for a long one, from the file up to ')' or the end.
int fuzzMethod(XchgElement* e, XchgScope*, void* user) {
  auto* run = static_cast<FuzzRun*>(user);
  if (e->attrs != nullptr) {
    run->sum += static_cast<std::uint32_t>(xchgNumDecodeInt(e->attrs->value));
    return 1;
  }
  if (e->stream == nullptr) return 1;
  for (int c = std::getc(e->stream); c != EOF && c != ')' && c != 26; c = std::getc(e->stream)) {
    run->sum += static_cast<std::uint32_t>(c);
  }
  return 1;
}

// Variables: stored, and the codec set from them as the polyhedron reader does.
int fuzzVariable(XchgElement* e, XchgScope* scope, void*) {
  xchgScopeSet(scope, e->name, e->id);
  if (std::strcmp(e->name, "chrTab") == 0) xchgNumSetAlphabet(e->id);
  if (std::strcmp(e->name, "base") == 0) xchgNumSetScaleBase(0, std::atoi(e->id));
  if (std::strcmp(e->name, "scale") == 0) xchgNumSetScaleBase(std::strtod(e->id, nullptr), 0);
  char* back = xchgScopeGet(scope, e->name);
  memFree(back);
  return 1;
}

const std::string& fuzzPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_xchg_XXXXXX";
    const int fd = ::mkstemp(p.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return p;
  }();
  return path;
}

void fuzzInterpreter(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(fuzzPath().c_str(), "wb");
  if (f == nullptr) std::abort();
  // Inputs without the banner get a valid header, so that mutations reach the body.
  if (size < sizeof xchgBanner - 1 || std::memcmp(data, xchgBanner, sizeof xchgBanner - 1) != 0) {
    std::fprintf(f, "%s\nqDX-Version: 1.0\nGeometry\nfuzz\n\n", xchgBanner);
  }
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  FuzzRun run{xchgPointTableGrow(nullptr, 1), 0};
  XchgInterp* in = xchgInterpNew(&run, size % 2 == 0 ? fuzzVariable : nullptr, nullptr, nullptr);
  if (in != nullptr && run.table != nullptr) {
    for (const char* type : {"L", "A", "P", "M", "Contour", "Stop"})
      xchgInterpOnObject(in, type, fuzzObject);
    for (const char* name : {"P", "V"}) xchgInterpOnMethod(in, name, fuzzMethod);
    xchgInterpRun(fuzzPath().c_str(), in, nullptr);
    XchgLexError err;
    xchgLexLastError(&err);
  }
  xchgInterpFree(in);
  xchgPointTableFree(run.table);
  xchgNumResetState();
}

void fuzzText(const std::string& text) {
  const char* cursor = text.c_str();
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  int guard = 0;
  while (xchgElementFromText(&cursor, &e) == 1 && ++guard < 100000) {
    XchgCoord c;
    xchgCoordParse(&c, &e);
  }
  xchgElementClear(&e);
}

// Any text without a zero byte, framed by two letters so that no blank is trimmed, reads back
// unchanged from a variable value after escaping.
void fuzzEscapeRoundTrip(const std::uint8_t* data, std::size_t size) {
  std::string in = "a";
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != 0) in += static_cast<char>(data[i]);
  }
  in += "b";
  std::string line(4 * in.size() + 16, '\0');
  std::memcpy(line.data(), "vx(", 3);
  const int n = xchgEscapeText(line.data() + 3, line.size() - 4, in.c_str());
  if (n < 0) std::abort();
  line.resize(3 + static_cast<std::size_t>(n));
  line += ")";
  const char* cursor = line.c_str();
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  if (xchgElementFromText(&cursor, &e) != 1 || e.id == nullptr || in != e.id) std::abort();
  xchgElementClear(&e);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    xchgLexSetTrace(0);  // the method-name trace would fill the folder with one line per input
    std::atexit([] { ::unlink(fuzzPath().c_str()); });
    return true;
  }();
  (void)quiet;
  fuzzInterpreter(data, size);
  fuzzText(std::string(reinterpret_cast<const char*>(data), size));
  if (size < 4096) fuzzEscapeRoundTrip(data, size);
  return 0;
}

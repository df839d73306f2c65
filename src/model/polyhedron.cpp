// polyhedron.cpp - the triangle and four-corner polyhedron readers: handler sets on the exchange
// interpreter that collect point tables per polyhedron and turn faces into facet blocks. Indices
// and sizes read from the file are bounded before they size anything.
#include "model/polyhedron.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_default_variable.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_number.h"

namespace {

constexpr int kPolyNoSet = 30000000;      // no point set declared yet; also the set limit
constexpr int kPolyClosedSet = 30000001;  // the declaring scope of the set has closed
constexpr int kPolyMaxVertices = 32;      // distinct vertex references kept per face
// Point numbers above this are taken as damage: a table row is as long as its largest number.
constexpr int kPolyMaxPointIndex = 1 << 22;
// "nFace" is a hint: it sizes at most this many facets at first, the rest by growth.
constexpr int kPolyMaxInitialFacets = 65536;
constexpr int kPolyTriGrowth = 65536;
constexpr int kPolyQuadGrowth = 128;
constexpr std::size_t kPolyAlphabetMax = 127;

struct PolyReader {
  bool quadReader = false;
  XchgPointTable* tables[2] = {nullptr, nullptr};
  int slot = 0;
  int currentSet = kPolyNoSet;
  int setLevel = -1;
  int level = 1;
  int polyLevel = -1;
  PolyhedronBlock* current = nullptr;
  PolyhedronBlock* head = nullptr;
  double lastX = 0.0, lastY = 0.0, lastZ = 0.0;
  int lastSet = 0, lastIndex = 0;
  std::string alphabet = xchgNumDefaultAlphabet;
  int base = 10;
  double divisor = 1.0;
  bool changed = true;
  bool increment = false;
  bool noMemory = false;
};

struct PolyState {
  PolyhedronFaceFilter triFilter = nullptr;
  PolyhedronFaceFilter quadFilter = nullptr;
  PolyReader tri;
  PolyReader quad;
};
PolyState polyState;

// A decimal integer as the readers take ids and counts: leading blanks and an optional sign,
// then digits; 0 when there are none; clamped to the int range.
int polyInt(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  long long v = 0;
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, v);
  if (ec == std::errc::result_out_of_range) return *text == '-' ? INT_MIN : INT_MAX;
  if (ec != std::errc()) return 0;
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// A decimal number (its longest valid prefix, 0 when none), as in the "C" locale. A number too
// large for a double is infinite, never 0: the mesh loaders then refuse the file instead of
// moving the point to the origin.
double polyReal(const char* text) {
  if (text == nullptr) return 0.0;
  char* end = nullptr;
  const locale_t c = platCLocale();
  return c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
}

const char* polyAttr(const XchgElement* e, const char* key) {
  for (const XchgAttr* a = e->attrs; a != nullptr; a = a->next) {
    if (a->key != nullptr && std::strcmp(a->key, key) == 0) return a->value;
  }
  return nullptr;
}

// The text of a method: held in memory, or for a long one read from the file up to ')', the
// byte 26 or the end.
bool polyMethodText(const XchgElement* e, std::string* text) {
  text->clear();
  for (const XchgAttr* a = e->attrs; a != nullptr; a = a->next) {
    if (a->key == nullptr) {
      if (a->value != nullptr) text->assign(a->value);
      return true;
    }
  }
  if (e->stream == nullptr) return true;
  for (int c = std::getc(e->stream); c != EOF && c != ')' && c != 26; c = std::getc(e->stream)) {
    text->push_back(static_cast<char>(c));
  }
  return true;
}

void polyInstallCodec(PolyReader* r) {
  if (!r->changed) return;
  xchgNumSetAlphabet(r->alphabet.c_str());
  xchgNumSetScaleBase(r->divisor, r->base);
  r->changed = false;
}

// Shrinks the finished polyhedron's buffer (triangle reader), frees its point table and leaves
// the polyhedron: faces after it belong to none.
void polyClosePolyhedron(PolyReader* r) {
  if (!r->quadReader && r->current != nullptr) polyhedronFaceBuffer(r->current, -1);
  xchgPointTableFree(r->tables[1]);
  r->tables[1] = nullptr;
  r->slot = 0;
  r->polyLevel = -1;
  r->current = nullptr;
}

int polyStop(PolyReader* r) {
  r->noMemory = true;
  return 0;
}

int polyOnVariable(XchgElement* e, XchgScope* scope, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  xchgDefaultVariable(e, scope, user);
  if (e->name == nullptr) return 1;
  const char* value = e->id != nullptr ? e->id : "";
  if (std::strcmp(e->name, "base") == 0) {
    r->base = polyInt(value);
    r->changed = true;
  } else if (std::strcmp(e->name, "chrTab") == 0) {
    r->alphabet.assign(value, std::min(std::strlen(value), kPolyAlphabetMax));
    r->changed = true;
  } else if (std::strcmp(e->name, "scale") == 0) {
    r->divisor = polyReal(value);
    r->changed = true;
  } else if (std::strcmp(e->name, "increment") == 0) {
    r->increment = strcasecmp(value, "true") == 0;
  }
  return 1;
}

int polyOnOpen(XchgElement*, XchgScope* scope, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  xchgScopePush(scope);
  r->level = scope->level;
  return 1;
}

int polyOnClose(XchgElement*, XchgScope* scope, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  const int closing = r->level;
  xchgScopePop(scope);
  r->level = scope->level;
  if (r->setLevel >= 0 && closing == r->setLevel + 1) {
    r->currentSet = kPolyClosedSet;
    r->setLevel = -1;
  }
  if (r->polyLevel >= 0 && closing == r->polyLevel + 1) polyClosePolyhedron(r);
  return 1;
}

int polyOnPolyhedron(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  if (r->polyLevel >= 0) polyClosePolyhedron(r);  // a polyhedron inside another ends the first
  r->polyLevel = r->level;
  r->tables[1] = xchgPointTableGrow(nullptr, 1);
  if (r->tables[1] == nullptr) return polyStop(r);
  r->slot = 1;
  const int hint = std::clamp(polyInt(polyAttr(e, "nFace")), 0, kPolyMaxInitialFacets);
  PolyhedronBlock* block =
      r->quadReader ? polyhedronNewQuadBlock(e->id, hint) : polyhedronNewTriBlock(e->id, hint);
  if (block == nullptr) return polyStop(r);
  block->next = r->head;
  r->head = block;
  r->current = block;
  return 1;
}

int polyOnPset(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  r->currentSet = polyInt(e->id);
  r->setLevel = r->level;
  return 1;
}

bool polyStorable(int set, int index) {
  return set >= 0 && set < kPolyNoSet && index >= 0 && index <= kPolyMaxPointIndex;
}

int polyOnPoint(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  XchgCoord c;
  xchgCoordPreset(&c, nullptr, nullptr, nullptr);
  const int flags = xchgCoordParse(&c, e);
  if ((flags & 1) != 0) r->lastX = polyReal(c.first[0]);
  if ((flags & 2) != 0) r->lastY = polyReal(c.first[1]);
  if ((flags & 4) != 0) r->lastZ = polyReal(c.first[2]);
  if (r->setLevel <= 0 || r->tables[r->slot] == nullptr) return 1;
  const int index = polyInt(e->id);
  if (!polyStorable(r->currentSet, index)) return 1;
  if (xchgPointTableSet(r->tables[r->slot], r->currentSet, index, r->lastX, r->lastY, r->lastZ) !=
      1) {
    return polyStop(r);
  }
  return 1;
}

int polyOnPointList(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  r->currentSet = polyInt(e->id);
  XchgPointTable* table = r->tables[r->slot];
  if (table == nullptr) return 1;
  polyInstallCodec(r);
  std::string text;
  polyMethodText(e, &text);
  double v[3] = {0, 0, 0}, prev[3] = {0, 0, 0};
  int have = 0, number = 0;
  std::string token;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    token.assign(1, c);
    ++i;
    if (c != '*') {
      while (i < text.size() && std::strchr(" \t\r\n*+-", text[i]) == nullptr) token += text[i++];
    }
    v[have++] = xchgNumDecode(token.c_str());
    if (have < 3) continue;
    have = 0;
    ++number;
    if (r->increment && number > 1) {
      for (int k = 0; k < 3; ++k) v[k] += prev[k];
    }
    std::copy(v, v + 3, prev);
    if (!polyStorable(r->currentSet, number)) break;  // no row or point number that far
    if (xchgPointTableSet(table, r->currentSet, number, v[0], v[1], v[2]) != 1) return polyStop(r);
  }
  return 1;
}

// Stores the face of the collected vertex references (set, index) as the reader's facets.
int polyStoreFace(PolyReader* r, const int (*refs)[2], int count) {
  if (count < 3) return 1;  // not a face
  double x[kPolyMaxVertices], y[kPolyMaxVertices], z[kPolyMaxVertices];
  for (int i = 0; i < count; ++i) {
    if (xchgPointTableGet(r->tables[r->slot], refs[i][0], refs[i][1], &x[i], &y[i], &z[i]) != 1) {
      return 0;
    }
  }
  if (r->current == nullptr) return 0;
  const PolyhedronFaceFilter filter = r->quadReader ? polyState.quadFilter : polyState.triFilter;
  if (filter != nullptr && filter(count, x, y, z) == 0) return 1;
  const int stored = r->quadReader ? polyhedronAddQuad(r->current, count, x, y, z)
                                   : polyhedronAddFace(r->current, count, x, y, z);
  if (stored == 0 && count <= 4) r->noMemory = true;  // only a failed growth refuses 3 or 4
  return stored;
}

// Adds a reference unless the face has it already; at most kPolyMaxVertices are kept.
void polyAddRef(int (*refs)[2], int* count, int set, int index) {
  for (int i = 0; i < *count; ++i) {
    if (refs[i][0] == set && refs[i][1] == index) return;
  }
  if (*count < kPolyMaxVertices) {
    refs[*count][0] = set;
    refs[*count][1] = index;
    ++*count;
  }
}

int polyOnFace(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  int refs[kPolyMaxVertices][2];
  int count = 0;
  for (const XchgAttr* a = e->attrs; a != nullptr; a = a->next) {
    if (a->key == nullptr || std::strcmp(a->key, "vx") != 0) continue;
    const char* value = a->value != nullptr ? a->value : "";
    const char* slash = std::strchr(value, '/');
    if (slash == nullptr) return 0;  // a reference must name its set and its index
    if (slash != value) r->lastSet = polyInt(std::string(value, slash).c_str());
    if (slash[1] != '\0') r->lastIndex = polyInt(slash + 1);
    polyAddRef(refs, &count, r->lastSet, r->lastIndex);
  }
  return polyStoreFace(r, refs, count);
}

int polyOnCompactFace(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PolyReader*>(user);
  polyInstallCodec(r);
  std::string text;
  polyMethodText(e, &text);
  int refs[kPolyMaxVertices][2];
  int count = 0;
  std::string token;
  bool wantSet = true;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '/';
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c != '/') {
      token += c;
      continue;
    }
    if (i == text.size() && token.empty()) break;  // no token after the last '/'
    if (wantSet) {
      if (!token.empty()) r->lastSet = xchgNumDecodeInt(token.c_str());
    } else {
      if (!token.empty()) r->lastIndex = xchgNumDecodeInt(token.c_str());
      polyAddRef(refs, &count, r->lastSet, r->lastIndex);
    }
    wantSet = !wantSet;
    token.clear();
  }
  return polyStoreFace(r, refs, count);
}

// Catches what std::string may throw, so that no exception crosses the interpreter.
template <int (*Fn)(XchgElement*, XchgScope*, void*)>
int polySafe(XchgElement* e, XchgScope* scope, void* user) {
  try {
    return Fn(e, scope, user);
  } catch (...) {
    return polyStop(static_cast<PolyReader*>(user));
  }
}

int polyRead(PolyReader* r, bool quadReader, const char* path, PolyhedronBlock** blocks) {
  *r = PolyReader{};
  r->quadReader = quadReader;
  *blocks = nullptr;
  r->tables[0] = xchgPointTableGrow(nullptr, 1);
  XchgInterp* in = xchgInterpNew(r, polySafe<polyOnVariable>, polyOnOpen, polyOnClose);
  bool ready = r->tables[0] != nullptr && in != nullptr;
  ready = ready && xchgInterpOnObject(in, "P", polySafe<polyOnPoint>) == 1 &&
          xchgInterpOnObject(in, "Face", polySafe<polyOnFace>) == 1 &&
          xchgInterpOnObject(in, "Pset", polyOnPset) == 1 &&
          xchgInterpOnObject(in, "Polyhedron", polyOnPolyhedron) == 1 &&
          xchgInterpOnMethod(in, "P", polySafe<polyOnPointList>) == 1 &&
          xchgInterpOnMethod(in, "V", polySafe<polyOnCompactFace>) == 1;
  int result = 1;
  if (!ready) {
    r->noMemory = true;
  } else {
    xchgLexErrorClear();
    const int run = xchgInterpRun(path, in, nullptr);
    XchgLexError lex{};
    xchgLexLastError(&lex);
    if (run == 1 && lex.code == 0) result = 0;
    if (lex.code == kXchgErrMemory) r->noMemory = true;
  }
  if (r->noMemory)
    result = 1;
  else if (result != 0)
    result = 2;
  xchgInterpFree(in);
  xchgPointTableFree(r->tables[0]);
  xchgPointTableFree(r->tables[1]);
  r->tables[0] = r->tables[1] = nullptr;
  *blocks = r->head;
  r->head = r->current = nullptr;
  return result;
}

PolyhedronBlock* polyNewSized(const char* name, int n, std::size_t facetBytes) {
  PolyhedronBlock* block = polyhedronNewBlock(name);
  if (block == nullptr || n <= 0) return block;
  block->facets = memAllocZero(static_cast<std::size_t>(n) * facetBytes);
  if (block->facets == nullptr) {
    polyhedronFreeBlocks(block);
    return nullptr;
  }
  block->capacity = n;
  return block;
}

// Makes room for need more facets, growing by step; on failure the block is emptied.
bool polyRoom(PolyhedronBlock* block, int need, int step, std::size_t facetBytes) {
  if (block->storedCount + need <= block->capacity) return true;
  void* grown = nullptr;
  if (block->capacity <= INT_MAX - step) {
    grown =
        memRealloc(block->facets, static_cast<std::size_t>(block->capacity + step) * facetBytes);
  }
  if (grown == nullptr) {
    memFree(block->facets);
    block->facets = nullptr;
    block->capacity = 0;
    block->storedCount = 0;
    return false;
  }
  block->facets = grown;
  block->capacity += step;
  return true;
}

bool polyFaceArgs(const PolyhedronBlock* block, int count, const double* x, const double* y,
                  const double* z) {
  return block != nullptr && x != nullptr && y != nullptr && z != nullptr && count >= 3 &&
         count <= 4;
}

}  // namespace

int polyhedronReadTriangles(const char* path, PolyhedronBlock** blocks) {
  PolyhedronBlock* none = nullptr;
  return polyRead(&polyState.tri, false, path, blocks != nullptr ? blocks : &none);
}

int polyhedronReadQuads(const char* path, PolyhedronBlock** blocks) {
  PolyhedronBlock* none = nullptr;
  return polyRead(&polyState.quad, true, path, blocks != nullptr ? blocks : &none);
}

void polyhedronSetFaceFilter(PolyhedronFaceFilter filter) { polyState.triFilter = filter; }
void polyhedronClearFaceFilter() { polyState.triFilter = nullptr; }
PolyhedronFaceFilter polyhedronGetFaceFilter() { return polyState.triFilter; }
void polyhedronSetQuadFilter(PolyhedronFaceFilter filter) { polyState.quadFilter = filter; }
void polyhedronClearQuadFilter() { polyState.quadFilter = nullptr; }

PolyhedronBlock* polyhedronNewBlock(const char* name) {
  auto* block = static_cast<PolyhedronBlock*>(memAllocZero(sizeof(PolyhedronBlock)));
  if (block == nullptr || name == nullptr || name[0] == '\0') return block;
  block->name = memStrDup(name);
  if (block->name == nullptr) {
    memFree(block);
    return nullptr;
  }
  return block;
}

PolyhedronBlock* polyhedronNewTriBlock(const char* name, int n) {
  return polyNewSized(name, n, sizeof(Tri3D));
}

PolyhedronBlock* polyhedronNewQuadBlock(const char* name, int n) {
  return polyNewSized(name, n, sizeof(QuadFacet));
}

int polyhedronAddFace(PolyhedronBlock* block, int count, const double* x, const double* y,
                      const double* z) {
  if (!polyFaceArgs(block, count, x, y, z)) return 0;
  const int n = count == 3 ? 1 : 2;
  if (!polyRoom(block, n, kPolyTriGrowth, sizeof(Tri3D))) return 0;
  auto corner = [&](int i) { return Point3D{x[i], y[i], z[i]}; };
  Tri3D* tris = polyhedronTris(block);
  tris[block->storedCount++] = Tri3D{{corner(0), corner(1), corner(2)}};
  if (count == 4) tris[block->storedCount++] = Tri3D{{corner(2), corner(3), corner(0)}};
  block->addedCount += n;
  return 1;
}

int polyhedronAddQuad(PolyhedronBlock* block, int count, const double* x, const double* y,
                      const double* z) {
  if (!polyFaceArgs(block, count, x, y, z)) return 0;
  if (!polyRoom(block, 1, kPolyQuadGrowth, sizeof(QuadFacet))) return 0;
  QuadFacet q{};
  for (int k = 0; k < 4; ++k) {
    const int i = k < count ? k : 2;
    modelSetQuadCorner(&q, k, Point3D{x[i], y[i], z[i]});
  }
  polyhedronQuads(block)[block->storedCount++] = q;
  ++block->addedCount;
  return 1;
}

int polyhedronFaceBuffer(PolyhedronBlock* block, int n) {
  if (block == nullptr) return 0;
  if (n >= 0) {
    if (block->storedCount != 0 || block->facets != nullptr) return 0;
    if (n == 0) return 1;
    block->facets = memAllocZero(static_cast<std::size_t>(n) * sizeof(Tri3D));
    if (block->facets == nullptr) return 0;
    block->capacity = n;
    return 1;
  }
  if (block->storedCount == block->capacity) return 1;
  if (block->storedCount == 0) {
    memFree(block->facets);
    block->facets = nullptr;
    block->capacity = 0;
    return 1;
  }
  void* shrunk =
      memRealloc(block->facets, static_cast<std::size_t>(block->storedCount) * sizeof(Tri3D));
  if (shrunk == nullptr) return 0;
  block->facets = shrunk;
  block->capacity = block->storedCount;
  return 1;
}

void polyhedronFreeBlocks(PolyhedronBlock* blocks) {
  while (blocks != nullptr) {
    PolyhedronBlock* next = blocks->next;
    memFree(blocks->name);
    memFree(blocks->facets);
    memFree(blocks);
    blocks = next;
  }
}

QuadFacetList* polyhedronNewQuadList(int n) {
  auto* list = static_cast<QuadFacetList*>(memAllocZero(sizeof(QuadFacetList)));
  if (list == nullptr) return nullptr;
  list->capacity = std::max(n, 2);
  list->items = static_cast<QuadFacet*>(
      memAllocZero(static_cast<std::size_t>(list->capacity) * sizeof(QuadFacet)));
  if (list->items == nullptr) {
    memFree(list);
    return nullptr;
  }
  list->boxMin = Point3D{1e10, 1e10, 1e10};
  list->boxMax = Point3D{-1e10, -1e10, -1e10};
  return list;
}

int polyhedronQuadListAppend(QuadFacetList* list, const QuadFacet& facet) {
  if (list == nullptr || list->items == nullptr) return -1;
  if (list->count == list->capacity) {
    if (list->capacity > INT_MAX / 3) return -1;
    const int cap = list->capacity + list->capacity / 2 + 1;
    auto* grown = static_cast<QuadFacet*>(
        memRealloc(list->items, static_cast<std::size_t>(cap) * sizeof(QuadFacet)));
    if (grown == nullptr) return -1;
    list->items = grown;
    list->capacity = cap;
  }
  list->items[list->count++] = facet;
  for (int k = 0; k < 4; ++k) modelGrowBox(modelQuadCorner(facet, k), &list->boxMin, &list->boxMax);
  return list->count;
}

void polyhedronFreeQuadList(QuadFacetList* list) {
  if (list == nullptr) return;
  memFree(list->items);
  memFree(list);
}

void polyhedronResetState() { polyState = PolyState{}; }

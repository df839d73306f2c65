// Exchange interpreter: what it dispatches for small files (ids, levels, counters, variables), how
// handlers stop a run, long method texts read by handlers from the file, standard input and HOME.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_default_variable.h"
#include "framework/xchg_interp.h"
#include "framework/xchg_number.h"
#include "support/temp_dir.h"
#include "test_xchg_support.h"

namespace {
using qdtest::TempDirTest;
using qdtest::writeFile;

using Log = std::vector<std::string>;

std::string joined(const Log& log) {
  std::string s;
  for (const std::string& l : log) s += (s.empty() ? "" : " ") + l;
  return s;
}

std::string scopeValue(const XchgScope* scope, const char* name) {
  char* v = xchgScopeGet(scope, name);
  std::string s = v != nullptr ? v : "-";
  memFree(v);
  return s;
}

// Objects and methods: their rendering with the id they were given.
int logElement(XchgElement* e, XchgScope*, void* user) {
  static_cast<Log*>(user)->push_back(xchgtest::render(*e));
  return 1;
}
int stopHere(XchgElement* e, XchgScope*, void* user) {
  static_cast<Log*>(user)->push_back(xchgtest::render(*e));
  return e->id != nullptr && std::strcmp(e->id, "5") == 0 ? 5 : 0;
}
// Scopes: the level and the value of the variable "a" after the default handler ran.
int logOpen(XchgElement* e, XchgScope* scope, void* user) {
  xchgDefaultOpenScope(e, scope, user);
  static_cast<Log*>(user)->push_back("{" + std::to_string(scope->level));
  return 1;
}
int logClose(XchgElement* e, XchgScope* scope, void* user) {
  xchgDefaultCloseScope(e, scope, user);
  static_cast<Log*>(user)->push_back("}" + std::to_string(scope->level) + ":a=" +
                                     scopeValue(scope, "a") + ",b=" + scopeValue(scope, "b"));
  return 1;
}

XchgInterp* newLoggingInterp(Log* log) {
  XchgInterp* in = xchgInterpNew(log, nullptr, logOpen, logClose);
  if (in == nullptr) return nullptr;
  xchgInterpOnObject(in, "L", logElement);
  xchgInterpOnObject(in, "A", logElement);
  xchgInterpOnObject(in, "Stop", stopHere);
  xchgInterpOnMethod(in, "P", logElement);
  return in;
}
}  // namespace

TEST_F(TempDirTest, XchgInterpDispatchesSmallFiles) {
  struct Case {
    const char* body;
    int result;
    const char* log;
  };
  const Case cases[] = {
      {"", 1, ""},
      {"oL( )\noL[7]( )\noL( )\n", 1, "o:L[1]() o:L[7]() o:L[3]()"},
      {"oL[]()\noL[ ]()\n", 1, "o:L[1]() o:L[2]()"},
      {"oL()\n{\noL()\noA()\n}\noL()\n", 1, "o:L[1]() {2 o:L[1]() o:A[2]() }1:a=-,b=- o:L[2]()"},
      {"vobjectCounter(10)\noL()\noL()\n", 1, "o:L[10]() o:L[11]()"},
      {"oL()\n{\nvobjectCounter(5)\noL()\n}\noL()\n", 1,
       "o:L[1]() {2 o:L[5]() }1:a=-,b=- o:L[2]()"},
      {"mP(1 2 3)\nmP[9](x)\noL()\nmP(y)\n", 1, "m:P[1](=1 2 3) m:P[9](=x) o:L[1]() m:P[3](=y)"},
      {"oQ( a[1] )\nmQ(z)\noL()\nmP(y)\n", 1, "o:L[2]() m:P[2](=y)"},
      {"va(1)\n{\nva(2)\nvb(3)\n}\n", 1, "{2 }1:a=1,b=-"},
      {"va(1)\n{\nvb(3)\n{\nva(2)\n}\n}\n", 1, "{2 {3 }2:a=1,b=3 }1:a=1,b=-"},
      {"{\nva(1)\n{\nva(2)\n}\n}\n", 1, "{2 {3 }2:a=1,b=- }1:a=-,b=-"},
      {"}\noL()\n", 1, "}1:a=-,b=- o:L[1]()"},
      {"oL()\noStop()\noL()\n", 0, "o:L[1]() o:Stop[2]()"},
      {"oL()\noL()\noL()\noL()\noStop()\noL()\n", 5,
       "o:L[1]() o:L[2]() o:L[3]() o:L[4]() o:Stop[5]()"},
      {"oL( x[1/2] y[3/4] )\noA( x[/5/6] )\n", 1, "o:L[1](x=1/2,y=3/4) o:A[2](x=/5/6)"},
      {"oL()\noL( x[ ( )\noL()\n", 1, "o:L[1]()"},
      {"oL()\noL( x[1", 1, "o:L[1]()"},
  };
  for (const Case& c : cases) {
    writeFile("in.qdx", xchgtest::header() + c.body);
    Log log;
    XchgInterp* in = newLoggingInterp(&log);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(xchgInterpRun("in.qdx", in, nullptr), c.result) << c.body;
    EXPECT_EQ(joined(log), c.log) << c.body;
    xchgInterpFree(in);
  }
}

// A level-1 variable changed two levels down used to take the middle level on restore and was
// then deleted when that level closed.
TEST_F(TempDirTest, XchgVariableOfLevelOneSurvivesAChangeTwoLevelsDown) {
  writeFile("in.qdx", xchgtest::header() + "va(1)\n{\n{\nva(2)\n}\n}\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  ASSERT_EQ(xchgInterpRun("in.qdx", in, nullptr), 1);
  EXPECT_EQ(joined(log), "{2 {3 }2:a=1,b=- }1:a=1,b=-");
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgLexicalErrorEndsTheRunAndIsRecorded) {
  writeFile("in.qdx", xchgtest::header() + "oL()\noL()\noL( x[\x01] )\noL()\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  EXPECT_EQ(xchgInterpRun("in.qdx", in, nullptr), 1) << "the run ends like at the end of the file";
  EXPECT_EQ(log.size(), 2u);
  XchgLexError err{};
  xchgLexLastError(&err);
  EXPECT_EQ(err.code, kXchgErrByte);
  EXPECT_EQ(err.line, 8);
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgScopeAndCountersLiveFromRunToRun) {
  writeFile("a.qdx", xchgtest::header() + "va(1)\noL()\noL()\n");
  writeFile("b.qdx", xchgtest::header() + "oL()\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  EXPECT_EQ(xchgInterpRun("a.qdx", in, nullptr), 1);
  EXPECT_EQ(xchgInterpRun("b.qdx", in, nullptr), 1);
  EXPECT_EQ(joined(log), "o:L[1]() o:L[2]() o:L[3]()");
  EXPECT_EQ(scopeValue(in->scope, "a"), "1");
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgHeaderCheckAndRefusedHeaderCallNoHandler) {
  writeFile("tmp.qdx", xchgtest::header("temporary") + "oL()\n");
  writeFile("new.qdx", std::string(xchgBanner) + "\nqDX-Version: 1.1\nGeometry\nx\noL()\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  auto geometryOnly = [](const XchgHeader* h) {
    return h->kind != nullptr && std::strcmp(h->kind, "Geometry") == 0 ? 1 : 7;
  };
  EXPECT_EQ(xchgInterpRun("tmp.qdx", in, geometryOnly), 7);
  EXPECT_EQ(xchgInterpRun("new.qdx", in, nullptr), 0);
  EXPECT_EQ(xchgInterpRun("missing.qdx", in, nullptr), 0);
  EXPECT_EQ(xchgInterpRun(nullptr, in, nullptr), 0);
  EXPECT_EQ(xchgInterpRun("tmp.qdx", nullptr, nullptr), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(xchgInterpRun("tmp.qdx", in, nullptr), 1);
  EXPECT_EQ(joined(log), "o:L[1]()");
  xchgInterpFree(in);
}

namespace {
// Reads a long method text from the file up to ')' or the end, as a point-list reader does; then
// reads on to the end of the file, which the interpreter must undo.
int readLongText(XchgElement* e, XchgScope*, void* user) {
  std::string text;
  if (e->attrs != nullptr) {
    text = e->attrs->value;
  } else {
    for (int c = std::getc(e->stream); c != EOF && c != ')'; c = std::getc(e->stream)) {
      text += static_cast<char>(c);
    }
    while (std::getc(e->stream) != EOF) {
    }
  }
  static_cast<Log*>(user)->push_back(std::string(e->id) + ":" + std::to_string(text.size()) + ":" +
                                     text.substr(0, 3));
  return 1;
}
}  // namespace

TEST_F(TempDirTest, XchgLongMethodIsReadFromTheFileAndTheRunGoesOnAfterIt) {
  const std::string longText = "abc" + std::string(9000, 'x');
  writeFile("in.qdx", xchgtest::header() + "mP(" + longText + ")\nmP(short)\nmP(\n" +
                          std::string(kXchgLongMethodChars, 'y') + ")\noL()\n");
  Log log;
  XchgInterp* in = xchgInterpNew(&log, nullptr, nullptr, nullptr);
  xchgInterpOnMethod(in, "P", readLongText);
  xchgInterpOnObject(in, "L", logElement);
  EXPECT_EQ(xchgInterpRun("in.qdx", in, nullptr), 1);
  EXPECT_EQ(joined(log), "1:9003:abc 2:5:sho 3:4352:\nyy o:L[1]()");
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgStandardInputIsReadAndNeverClosed) {
  writeFile("in.qdx", xchgtest::header() + "oL()\noA()\n");
  ASSERT_NE(std::freopen("in.qdx", "rb", stdin), nullptr);
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  EXPECT_EQ(xchgInterpRun("| stdin", in, nullptr), 1);
  EXPECT_EQ(joined(log), "o:L[1]() o:A[2]()");
  EXPECT_EQ(xchgInterpRun("| stdinx", in, nullptr), 0);
  EXPECT_EQ(xchgInterpRun("|stdin", in, nullptr), 0);
  // Still open and usable: its end state was cleared, and it can be read again from the start.
  EXPECT_EQ(std::ferror(stdin), 0);
  EXPECT_EQ(std::feof(stdin), 0);
  std::rewind(stdin);
  EXPECT_EQ(xchgInterpRun("| stdin", in, nullptr), 1);
  EXPECT_EQ(log.size(), 4u);
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgTildeStandsForTheHomeFolder) {
  writeFile("a.qdx", xchgtest::header() + "oL()\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  ASSERT_EQ(::setenv("HOME", tempPath().c_str(), 1), 0);
  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_EQ(xchgInterpRun("~/a.qdx", in, nullptr), 1);
  EXPECT_EQ(joined(log), "o:L[1]()");
  ASSERT_EQ(::setenv("HOME", std::string(600, 'h').c_str(), 1), 0);
  EXPECT_EQ(xchgInterpRun("~/a.qdx", in, nullptr), 0) << "a path beyond 511 characters is refused";
  ASSERT_EQ(::unsetenv("HOME"), 0);
  EXPECT_EQ(xchgInterpRun("~/a.qdx", in, nullptr), 0);
  ASSERT_EQ(::chdir(tempPath().c_str()), 0);
  xchgInterpFree(in);
}

TEST_F(TempDirTest, XchgRegistrationReplacesAndNullHandlerDoesNothing) {
  writeFile("in.qdx", xchgtest::header() + "oL()\noA()\n");
  Log log;
  XchgInterp* in = newLoggingInterp(&log);
  EXPECT_EQ(xchgInterpOnObject(in, "L", stopHere), 1);
  EXPECT_EQ(xchgInterpOnObject(in, "A", nullptr), 1);
  EXPECT_EQ(xchgInterpOnObject(nullptr, "A", nullptr), 0);
  EXPECT_EQ(xchgInterpOnMethod(in, nullptr, logElement), 0);
  for (int i = 0; i < 40; ++i)
    xchgInterpOnObject(in, ("T" + std::to_string(i)).c_str(), logElement);
  EXPECT_EQ(xchgInterpRun("in.qdx", in, nullptr), 0);
  EXPECT_EQ(joined(log), "o:L[1]()");
  xchgInterpFree(in);
}

// Every allocation fails in turn, from creating the interpreter to the end of a run: each step
// fails cleanly and nothing leaks.
TEST_F(TempDirTest, XchgInterpMemoryFailuresAreWalkedThrough) {
  writeFile("in.qdx", xchgtest::header() + "va(1)\noL( x[1] )\n{\nva(2)\nmP(1 2)\n}\noA()\n");
  for (long n = 1; n < 120; ++n) {
    Log log;
    memTestFailAt(n);
    XchgInterp* in = newLoggingInterp(&log);
    if (in != nullptr) xchgInterpRun("in.qdx", in, nullptr);
    memTestFailAt(0);
    xchgInterpFree(in);
    xchgLexResetState();
  }
}

TEST(XchgScope, SetGetPushPop) {
  XchgScope* s = xchgScopeNew();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->level, 1);
  EXPECT_EQ(scopeValue(s, "objectCounter"), "1");
  EXPECT_EQ(xchgScopeSet(s, "a", "1"), 0) << "new";
  EXPECT_EQ(xchgScopeSet(s, "a", "2"), 1) << "changed";
  EXPECT_EQ(xchgScopeSet(s, "a", ""), 0);
  EXPECT_EQ(xchgScopeSet(s, "", "1"), 0);
  EXPECT_EQ(xchgScopeSet(s, nullptr, "1"), 0);
  EXPECT_EQ(xchgScopeSet(nullptr, "a", "1"), 0);
  EXPECT_EQ(scopeValue(s, "a"), "2");
  EXPECT_EQ(xchgScopePop(s), 0) << "level 1 does not close";
  s->objectCounter = 4;
  EXPECT_EQ(xchgScopePush(s), 1);
  EXPECT_EQ(s->objectCounter, 1);
  EXPECT_EQ(xchgScopeSet(s, "methodCounter", "12"), 1);
  EXPECT_EQ(s->methodCounter, 12);
  EXPECT_EQ(xchgScopePop(s), 1);
  EXPECT_EQ(s->objectCounter, 4) << "the outer level's numbering goes on";
  EXPECT_EQ(s->methodCounter, 1);
  xchgScopeFree(s);
}

TEST(XchgScope, LevelsStopAtTheLargestU16) {
  XchgScope* s = xchgScopeNew();
  int pushed = 0;
  while (xchgScopePush(s) == 1) ++pushed;
  EXPECT_EQ(pushed, kXchgScopeMaxLevel - 1);
  EXPECT_EQ(s->level, kXchgScopeMaxLevel);
  while (xchgScopePop(s) == 1) {
  }
  EXPECT_EQ(s->level, 1);
  EXPECT_EQ(scopeValue(s, "objectCounter"), "1");
  xchgScopeFree(s);
}

TEST(XchgScope, CountingGivesIdsOnlyToElementsWithoutOne) {
  XchgScope* s = xchgScopeNew();
  XchgElement o{'o', nullptr, nullptr, nullptr, nullptr, -1, -1};
  XchgElement v{'v', nullptr, nullptr, nullptr, nullptr, -1, -1};
  EXPECT_EQ(xchgCountObject(s, &o), 1);
  EXPECT_STREQ(o.id, "1");
  EXPECT_EQ(xchgCountObject(s, &o), 0) << "has an id now";
  EXPECT_EQ(s->objectCounter, 3);
  EXPECT_EQ(xchgCountMethod(s, &o), 0) << "not a method";
  EXPECT_EQ(xchgCountObject(s, &v), 0);
  EXPECT_EQ(s->methodCounter, 1);
  xchgElementClear(&o);
  xchgScopeFree(s);
}

TEST(XchgScope, DefaultVariableHandlerStoresAndAlwaysGoesOn) {
  XchgScope* s = xchgScopeNew();
  XchgElement v{'v', nullptr, nullptr, nullptr, nullptr, -1, -1};
  v.name = memStrDup("precision");
  v.id = memStrDup("6");
  EXPECT_EQ(xchgDefaultVariable(&v, s, nullptr), 1);
  EXPECT_EQ(scopeValue(s, "precision"), "6");
  xchgElementClear(&v);
  EXPECT_EQ(xchgDefaultVariable(&v, s, nullptr), 1) << "nothing to store, the run goes on";
  xchgScopeFree(s);
}

namespace {
// A small point reader: "P" objects and compact "P" methods fill a point table; the variables
// "chrTab", "base" and "scale" set the codec as the point-list readers do.
struct PointReader {
  XchgPointTable* table = nullptr;
  std::string alphabet = xchgNumDefaultAlphabet;
  int base = 10;
  double scale = 1.0;
};
int pointVariable(XchgElement* e, XchgScope* scope, void* user) {
  auto* r = static_cast<PointReader*>(user);
  xchgDefaultVariable(e, scope, user);
  if (std::strcmp(e->name, "chrTab") == 0) r->alphabet = e->id;
  if (std::strcmp(e->name, "base") == 0) r->base = std::atoi(e->id);
  if (std::strcmp(e->name, "scale") == 0) r->scale = std::strtod(e->id, nullptr);
  return 1;
}
int pointObject(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PointReader*>(user);
  XchgCoord c;
  xchgCoordPreset(&c, "0", "0", "0");
  xchgCoordParse(&c, e);
  return xchgPointTableSet(r->table, 0, std::atoi(e->id), std::strtod(c.first[0], nullptr),
                           std::strtod(c.first[1], nullptr), std::strtod(c.first[2], nullptr));
}
int pointMethod(XchgElement* e, XchgScope*, void* user) {
  auto* r = static_cast<PointReader*>(user);
  xchgNumSetAlphabet(r->alphabet.c_str());
  xchgNumSetScaleBase(r->scale, r->base);
  std::vector<double> v;
  std::string text = e->attrs->value;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < text.size() && std::strchr(" *+-", text[j]) == nullptr) ++j;
    v.push_back(xchgNumDecode(text.substr(i, j - i).c_str()));
    i = j;
  }
  for (std::size_t k = 0; k + 2 < v.size(); k += 3) {
    const int row = std::atoi(e->id);
    if (!xchgPointTableSet(r->table, row, static_cast<int>(k / 3) + 1, v[k], v[k + 1], v[k + 2])) {
      return 0;
    }
  }
  return 1;
}
}  // namespace

TEST_F(TempDirTest, XchgPointsAndCompactNumbersThroughHandlers) {
  writeFile("p.qdx", xchgtest::header() +
                         "oP[1]( x[1.5] y[-2] z[0.25] )\noP[3]( x[4] )\n"
                         "vbase(72)\nvscale(1000)\nmP[2](+1A-1A* +10+0+1)\n"
                         "vbase(10)\nvscale(1)\nmP[5](+7-8+9)\n");
  PointReader r;
  r.table = xchgPointTableGrow(nullptr, 1);
  XchgInterp* in = xchgInterpNew(&r, pointVariable, nullptr, nullptr);
  xchgInterpOnObject(in, "P", pointObject);
  xchgInterpOnMethod(in, "P", pointMethod);
  ASSERT_EQ(xchgInterpRun("p.qdx", in, nullptr), 1);
  struct Expected {
    int row;
    int col;
    double x;
    double y;
    double z;
  };
  const Expected points[] = {{0, 1, 1.5, -2.0, 0.25},
                             {0, 3, 4.0, 0.0, 0.0},
                             {2, 1, 0.082, -0.082, 0.0},
                             {2, 2, 0.072, 0.0, 0.001},
                             {5, 1, 7.0, -8.0, 9.0}};
  double x = 0, y = 0, z = 0;
  for (const Expected& p : points) {
    ASSERT_EQ(xchgPointTableGet(r.table, p.row, p.col, &x, &y, &z), 1) << p.row << "," << p.col;
    EXPECT_DOUBLE_EQ(x, p.x) << p.row << "," << p.col;
    EXPECT_DOUBLE_EQ(y, p.y) << p.row << "," << p.col;
    EXPECT_DOUBLE_EQ(z, p.z) << p.row << "," << p.col;
  }
  EXPECT_EQ(xchgPointTableGet(r.table, 4, 1, &x, &y, &z), 0) << "a row without points";
  xchgInterpFree(in);
  xchgPointTableFree(r.table);
  xchgNumResetState();
}

// The fuzzing seeds are valid files: each reads to its end without a lexical error.
TEST(XchgInterp, FuzzSeedsReadWithoutError) {
  const std::string dir = std::string(QDMILL_SOURCE_DIR) + "/fuzz/corpus/xchg/";
  int files = 0;
  for (const char* name :
       {"contour.qdx", "polyhedron.qdx", "scopes.qdx", "long_method.qdx", "tool.qdx"}) {
    Log log;
    XchgInterp* in = xchgInterpNew(&log, nullptr, nullptr, nullptr);
    for (const char* type : {"L", "A", "M", "P", "Contour", "Tool", "POF", "Face", "Pset"}) {
      xchgInterpOnObject(in, type, logElement);
    }
    xchgLexSetTrace(0);
    EXPECT_EQ(xchgInterpRun((dir + name).c_str(), in, nullptr), 1) << name;
    XchgLexError err{};
    xchgLexLastError(&err);
    EXPECT_EQ(err.code, 0) << name << " line " << err.line;
    EXPECT_FALSE(log.empty()) << name;
    files += log.empty() ? 0 : 1;
    xchgInterpFree(in);
  }
  EXPECT_EQ(files, 5);
}

// Kernel record: loading the definition file and the ".pcf" source, point parameters, the
// information phases and the end phase.
#include <gtest/gtest.h>

#include <string>

#include "framework/kernel.h"
#include "framework/memory.h"
#include "framework/output.h"
#include "framework/phase_runner.h"
#include "support/temp_dir.h"
#include "test_record.h"

using namespace qdtest;

namespace {
std::string valueOf(const CycleRecord& r, const char* name, std::int16_t* kind = nullptr) {
  char* v = parListGet(r.params, name, kind);
  std::string s = v != nullptr ? v : "<none>";
  memFree(v);
  return s;
}
}  // namespace

TEST_F(TempDirTest, SourceNamesGetPcfUnlessTheyHaveIt) {
  writeFile("job.pcf", "v := job\n");
  writeFile("job.PCF", "v := upper\n");
  writeFile("ab.pcf", "v := ab\n");
  writeFile("cyc.def", "v := def\nd := 1\n");
  struct Case {
    const char* source;
    const char* value;
  };
  const Case cases[] = {{"job", "job"}, {"job.PCF", "upper"}, {"ab", "ab"}, {"none", "def"}};
  for (const Case& c : cases) {
    CycleRecord r;
    r.parent = &cycKernel;
    r.id = "cyc";
    r.source = memStrDup(c.source);
    EXPECT_EQ(cycLoadParamSources(&r), 1);
    std::int16_t kind = 0;
    EXPECT_EQ(valueOf(r, "v", &kind), c.value) << c.source;
    EXPECT_EQ(kind, std::string(c.value) == "def" ? 13 : 21);
    EXPECT_EQ(valueOf(r, "d"), "1");
    cycCleanup(&r);
  }
}

TEST_F(TempDirTest, KernelLoaderLeavesIdentityFramesAndNeverFails) {
  CycleRecord r;
  r.frame.m[3] = 5;
  r.tool.m[0] = 0;
  EXPECT_EQ(cycLoadParamSources(&r), 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(r.frame.m[i], kAffIdentity.m[i]);
    EXPECT_EQ(r.tool.m[i], kAffIdentity.m[i]);
  }
  EXPECT_EQ(cycLoadCfgSource(&r), 1);
}

TEST(KernelPoints, FirstOnlyOrLastUsableEntryWins) {
  // the list is newest first: "p" entries in list order are "1 2", "4 5 6", "7 8 9"
  ParamNode a{const_cast<char*>("p"), const_cast<char*>("7 8 9"), 21, nullptr};
  ParamNode b{const_cast<char*>("p"), const_cast<char*>("4,5,6"), 21, &a};
  ParamNode c{const_cast<char*>("p"), const_cast<char*>("1 2"), 21, &b};
  double x = -1, y = -1, z = -1;
  EXPECT_EQ(cycReadPointParam(&c, "p", 1, &x, &y, &z), 1);
  EXPECT_EQ(x, 4);  // "1 2" is skipped: not three numbers
  EXPECT_EQ(cycReadPointParam(&c, "p", 0, &x, &y, &z), 1);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(z, 9);
  x = -1;
  EXPECT_EQ(cycReadPointParam(&c, "q", 0, &x, &y, &z), 0);
  EXPECT_EQ(x, -1);
}

TEST_F(TempDirTest, InformationPhasesNeedTheirLanguageFile) {
  writeFile("cyc.def", "parameters := p.lng\nSystemLanguage := german\n");
  writeFile("p.lng", "language german\nstart german\n: Text\nend\n");
  CycleRecord r;
  r.parent = &cycKernel;
  r.id = "cyc";
  char p[] = "-P";
  char a[] = "-A";
  char* argvP[] = {p};
  ASSERT_EQ(cycParseOptions(&r, argvP, 1, 0), 1);
  EXPECT_EQ(cycRun(&r), 0);
  char* argvA[] = {a};
  ASSERT_EQ(cycParseOptions(&r, argvA, 1, 0), 1);
  EXPECT_EQ(cycRun(&r), 14) << "no \"algorithm\" parameter: the phase fails";
}

TEST(KernelEnd, WritesCycleEndAndFreesTheLayers) {
  static std::string seenTitle;
  CycleRecord r;
  r.title = "my cycle";
  cycRegisterLayer(&r, 0, [](CycleRecord*, OutputRecord* o) {
    if (o->type == 104) seenTitle = std::string(o->text.name) + ":" + o->text.text;
    return 1;
  }, nullptr, 1);
  cycRegisterLayer(&r, 31, nullptr, nullptr, 1);
  EXPECT_EQ(cycEndDefault(&r), 1);
  EXPECT_EQ(seenTitle, "cycleEnd:my cycle");
  EXPECT_EQ(r.layers, nullptr);
}

// ".CFG" reader: keys and values of lines with blanks, tabs and '#' comments, over-long lines, and
// the entry list in file order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/cfg_reader.h"
#include "framework/cycle.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "framework/output.h"
#include "framework/param_file.h"
#include "support/temp_dir.h"

namespace {
using qdtest::TempDirTest;
using qdtest::writeFile;

// Every entry of a text, as "key=value;".
std::string entries(const std::string& text) {
  writeFile("c.CFG", text);
  std::FILE* f = std::fopen("c.CFG", "rb");
  std::string out;
  const char* key = nullptr;
  const char* value = nullptr;
  while (cfgReadLine(f, &key, &value) == 1) out += std::string(key) + "=" + value + ";";
  std::fclose(f);
  return out;
}
}  // namespace

TEST_F(TempDirTest, CfgLinesGiveKeyAndValue) {
  struct Case {
    std::string text;
    std::string entries;
  };
  const Case cases[] = {
      {"", ""},
      {"\n\n   \n\t\n# only comments\n  # here\n", ""},
      {"*TMP_DIR   c:\\tmp  # comment\n*NEXT 1\n", "*TMP_DIR=c:\\tmp;*NEXT=1;"},
      {"  key\tvalue with\t\tblanks \t \r\nk2 v2", "key=value with  blanks;k2=v2;"},
      {"key\nkey2   \n", "key=;key2=;"},
      {"a#b c\n", "a=;"},
      {"a 1\r\n\r\nb 2\rc 3", "a=1;b=2;c=3;"},
      {"a 1\n\x1a"
       "b 2\n",
       "a=1;"},
      {"a 1\x1a", "a=1;"},
  };
  for (const Case& c : cases) {
    cfgResetState();  // the line buffers start empty, as at load
    EXPECT_EQ(entries(c.text), c.entries) << c.text;
  }
  // A NUL byte was dropped and the text around it joined ("3<NUL>4" read as 34): it ends the
  // text, as in a parameter file.
  EXPECT_EQ(entries(std::string("a x\0y\n", 6)), "a=x;");
  EXPECT_EQ(entries(std::string("*FRRADIUS 3\0"
                                "4\nb 2\n",
                                17)),
            "*FRRADIUS=3;b=2;");
  EXPECT_EQ(entries(std::string("ke\0y 5\n", 8)), "ke=;");
}

TEST_F(TempDirTest, CfgOverLongKeyOrValueIsCutAndItsRestDiscarded) {
  const std::string longKey(kCfgKeyMax + 40, 'K');
  const std::string longValue(kCfgValueMax + 700, 'v');
  const std::string text = "*A " + longValue + " tail\n" + longKey + " value\n" + "*B " +
                           std::string(kCfgValueMax, 'w') + "\n*C 3\n";
  EXPECT_EQ(entries(text), "*A=" + std::string(kCfgValueMax, 'v') + ";" +
                               std::string(kCfgKeyMax, 'K') + "=;" +
                               "*B=" + std::string(kCfgValueMax, 'w') + ";*C=3;");
}

TEST_F(TempDirTest, CfgLoadFileAppendsEntriesInFileOrder) {
  writeFile("run.CFG", "*APT out.pof\n# comment\n*FRAME_ID  7\n*EMPTY\n");
  ParamNode* list = cfgListAppend(nullptr, "first", nullptr, 31);
  list = cfgLoadFile(list, "run.CFG", 21);
  std::string seen;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    seen += std::string(n->name) + "=" + n->value + "/" + std::to_string(n->kind) + ";";
  }
  EXPECT_EQ(seen, "first=/31;*APT=out.pof/21;*FRAME_ID=7/21;*EMPTY=/21;");
  EXPECT_EQ(cfgLoadFile(list, "missing.CFG", 21), list);
  EXPECT_EQ(cfgLoadFile(list, nullptr, 21), list);
  EXPECT_EQ(cfgListAppend(list, "", "x", 21), list);
  EXPECT_EQ(cfgListAppend(list, nullptr, "x", 21), list);
  parListFree(list);
  list = cfgLoadFile(nullptr, "run.CFG", 21);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->name, "*APT");
  parListFree(list);
}

namespace {
std::vector<std::string>& heldWarnings() {
  static std::vector<std::string> texts;
  return texts;
}
int keepWarning(CycleRecord*, OutputRecord* r) {
  heldWarnings().push_back(r->text.text);
  return 1;
}
}  // namespace

// A FIFO as ".CFG" source blocked the open for ever. A run's own source that is no regular file
// fails the run (a fault of the load naming it), a FIFO stays a FIFO; any other file is skipped as
// a missing one is, with warning 1100 naming it.
TEST_F(TempDirTest, CfgLoadFileSkipsSourcesThatAreNoRegularFiles) {
  ASSERT_EQ(mkfifo("fifo.CFG", 0644), 0);
  ASSERT_EQ(mkdir("folder.CFG", 0755), 0);
  msgResetState();
  parLoadFaultsClear();
  ParamNode* list = cfgListAppend(nullptr, "first", "1", 31);
  for (const int kind : {kParKindSource, kParKindProgram}) {
    for (const char* path : {"fifo.CFG", "folder.CFG"}) {
      EXPECT_EQ(cfgLoadFile(list, path, kind), list) << path;  // a hang here is the fault
      EXPECT_EQ(list->next, nullptr) << path;
    }
  }
  ASSERT_EQ(parLoadFaultCount(), 2);
  EXPECT_STREQ(parLoadFaultText(0), "fifo.CFG: not a regular file");
  EXPECT_STREQ(parLoadFaultText(1), "folder.CFG: not a regular file");
  parLoadFaultsClear();
  CycleRecord cycle{};
  ASSERT_EQ(cycRegisterLayer(&cycle, 0, keepWarning, keepWarning, 1), 1);
  heldWarnings().clear();
  msgSendPendingWarnings(&cycle);
  EXPECT_EQ(heldWarnings(),
            (std::vector<std::string>{"1100,fifo.CFG: not a regular file, skipped",
                                      "1100,folder.CFG: not a regular file, skipped"}));
  cycFreeLayers(&cycle);
  msgResetState();
  parListFree(list);
  struct stat st {};
  ASSERT_EQ(stat("fifo.CFG", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A job's ".CFG" source means what it says: a line whose key lacks the '*', a value cut at the
// line's limit, a byte that no text holds, a source without any line, and a missing source are
// faults that name the file and the line; the good lines around a bad one are still read.
TEST_F(TempDirTest, CfgSourceFaultsNameFileAndLine) {
  struct Case {
    const char* name;
    std::string text;  // null: no file
    std::vector<std::string> faults;
    int entries;
  };
  const std::string longValue(kCfgValueMax + 5, 'v');
  const std::vector<Case> cases = {
      {"good.CFG", "# comment\n*FRRADIUS 3\n\n*APT out.pof\n", {}, 2},
      {"nostar.CFG",
       "*FRRADIUS 3\nVERTZUSTEL 2\n*AUFMASS 1\n",
       {"nostar.CFG:2: not a *KEY value line: VERTZUSTEL 2"},
       2},
      {"long.CFG",
       "*A1 " + longValue + "\n*AUFMASS 1\n",
       {"long.CFG:1: a key or value longer than the line allows"},
       1},
      {"binary.CFG",
       std::string("*FRRADIUS 3\n*AUF\x01MASS 1\n*X 2\n"),
       {"binary.CFG: not a text file (byte 0x01)"},
       1},
      {"empty.CFG",
       "# only a comment\n\n",
       {"empty.CFG: no *KEY value line (an empty job source)"},
       0},
      {"missing.CFG", "", {"missing.CFG: cannot be opened"}, 0},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) != "missing.CFG") writeFile(c.name, c.text);
    parLoadFaultsClear();
    ParamNode* list = cfgLoadFile(nullptr, c.name, kParKindSource);
    int count = 0;
    for (const ParamNode* n = list; n != nullptr; n = n->next) ++count;
    EXPECT_EQ(count, c.entries) << c.name;
    std::vector<std::string> faults;
    for (int i = 0; i < parLoadFaultCount(); ++i) faults.emplace_back(parLoadFaultText(i));
    EXPECT_EQ(faults, c.faults) << c.name;
    parListFree(list);
  }
  parLoadFaultsClear();
}

TEST_F(TempDirTest, CfgMemoryFailureLeavesTheListAsItWas) {
  writeFile("run.CFG", "a 1\nb 2\nc 3\n");
  for (long n = 1; n <= 10; ++n) {
    ParamNode* list = cfgListAppend(nullptr, "x", "0", 31);
    memTestFailAt(n);
    list = cfgLoadFile(list, "run.CFG", kParKindProgram);
    memTestFailAt(0);
    int count = 0;
    for (const ParamNode* p = list; p != nullptr; p = p->next) ++count;
    EXPECT_GE(count, 1);
    EXPECT_STREQ(list->name, "x");
    parListFree(list);
  }
}

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

// A FIFO as ".CFG" source blocked the open for ever. A source that is no regular file is skipped
// as a missing one is (the list unchanged), with warning 1100 naming it, and a FIFO stays a FIFO.
TEST_F(TempDirTest, CfgLoadFileSkipsSourcesThatAreNoRegularFiles) {
  ASSERT_EQ(mkfifo("fifo.CFG", 0644), 0);
  ASSERT_EQ(mkdir("folder.CFG", 0755), 0);
  msgResetState();
  ParamNode* list = cfgListAppend(nullptr, "first", "1", 31);
  for (const char* path : {"fifo.CFG", "folder.CFG"}) {
    EXPECT_EQ(cfgLoadFile(list, path, 21), list) << path;  // a hang here is the fault
    EXPECT_EQ(list->next, nullptr) << path;
  }
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

TEST_F(TempDirTest, CfgMemoryFailureLeavesTheListAsItWas) {
  writeFile("run.CFG", "a 1\nb 2\nc 3\n");
  for (long n = 1; n <= 10; ++n) {
    ParamNode* list = cfgListAppend(nullptr, "x", "0", 31);
    memTestFailAt(n);
    list = cfgLoadFile(list, "run.CFG", 21);
    memTestFailAt(0);
    int count = 0;
    for (const ParamNode* p = list; p != nullptr; p = p->next) ++count;
    EXPECT_GE(count, 1);
    EXPECT_STREQ(list->name, "x");
    parListFree(list);
  }
}

// Parameter list: replacement by name, front insertion, copies handed out, memory failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/memory.h"
#include "framework/param_list.h"

namespace {
std::string take(char* copy) {
  std::string s = copy != nullptr ? copy : "<null>";
  memFree(copy);
  return s;
}
}  // namespace

TEST(ParamList, SettingANameTwiceKeepsOneEntryWithTheSecondValueAndKind) {
  ParamNode* list = nullptr;
  list = parListSet(list, "a", "1", 13);
  list = parListSet(list, "b", "x", 21);
  list = parListSet(list, "a", "2", 31);
  int count = 0;
  for (ParamNode* n = list; n != nullptr; n = n->next) ++count;
  EXPECT_EQ(count, 2);
  std::int16_t kind = 0;
  EXPECT_EQ(take(parListGet(list, "a", &kind)), "2");
  EXPECT_EQ(kind, 31);
  EXPECT_STREQ(list->name, "b") << "new entries go to the front";
  parListFree(list);
}

TEST(ParamList, EmptyOrMissingTextsAreIgnoredAndMissingNamesLeaveTheKind) {
  ParamNode* list = parListSet(nullptr, "a", "", 21);
  EXPECT_EQ(list, nullptr);
  list = parListSet(list, "", "v", 21);
  list = parListSet(list, nullptr, "v", 21);
  list = parListSet(list, "n", nullptr, 21);
  EXPECT_EQ(list, nullptr);
  std::int16_t kind = 77;
  EXPECT_EQ(parListGet(list, "missing", &kind), nullptr);
  EXPECT_EQ(kind, 77);
}

TEST(ParamList, TakeOwnsTheTextsAndFreesWhatItDoesNotStore) {
  ParamPair p{memStrDup("k"), memStrDup("v")};
  ParamNode* list = parListTake(nullptr, &p, 21);
  EXPECT_EQ(p.name, nullptr);
  ParamPair q{memStrDup("k"), memStrDup("w")};
  list = parListTake(list, &q, 13);
  ParamPair empty{memStrDup("e"), memStrDup("")};
  list = parListTake(list, &empty, 13);
  EXPECT_EQ(take(parListGet(list, "k", nullptr)), "w");
  EXPECT_EQ(parListGet(list, "e", nullptr), nullptr);
  parListFree(list);  // LeakSanitizer checks that nothing was lost on the way
}

TEST(ParamList, AMemoryFailureAtAnyStepLeavesTheListAsItWas) {
  for (long n = 1; n <= 3; ++n) {
    ParamNode* list = parListSet(nullptr, "a", "1", 21);
    memTestFailAt(n);
    ParamNode* after = parListSet(list, "b", "2", 21);
    memTestFailAt(0);
    EXPECT_EQ(after, list) << "failing allocation " << n;
    EXPECT_EQ(after->next, nullptr);
    parListFree(after);
  }
}

// Every ".pcf" entry searched the whole list for its name, so a long file loaded in quadratic time;
// the index beside the list must give the list the plain search gives, entry for entry.
TEST(ParamList, IndexedTakingEqualsThePlainList) {
  auto dump = [](const ParamNode* l) {
    std::string s;
    for (const ParamNode* n = l; n != nullptr; n = n->next) {
      s += std::string(n->name) + "=" + n->value + "/" + std::to_string(n->kind) + ";";
    }
    return s;
  };
  // Names repeat within the stream and with the entries already there; some values are empty.
  ParamNode* plain = parListSet(parListSet(nullptr, "n3", "def", 13), "n7", "def", 13);
  ParamNode* indexed = parListSet(parListSet(nullptr, "n3", "def", 13), "n7", "def", 13);
  ParamIndex* index = parIndexNew(indexed);
  ASSERT_NE(index, nullptr);
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "n" + std::to_string((i * 7919) % 1000);
    const std::string value = i % 97 == 0 ? "" : std::to_string(i);
    ParamPair a{memStrDup(name.c_str()), memStrDup(value.c_str())};
    ParamPair b{memStrDup(name.c_str()), memStrDup(value.c_str())};
    plain = parListTake(plain, &a, 21 + i % 2);
    indexed = parListTakeIndexed(indexed, &b, 21 + i % 2, index);
  }
  EXPECT_EQ(dump(indexed), dump(plain));
  parIndexFree(index);
  parIndexFree(nullptr);
  // Without an index (no memory for it) taking falls back to the list search.
  ParamPair c{memStrDup("n3"), memStrDup("last")};
  indexed = parListTakeIndexed(indexed, &c, 31, nullptr);
  EXPECT_EQ(take(parListGet(indexed, "n3", nullptr)), "last");
  parListFree(plain);
  parListFree(indexed);
}

TEST(Memory, StrDupLeavesTwoSpareBytesAndFailsCleanly) {
  char* c = memStrDup("abc");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::strlen(c), 3u);
  EXPECT_EQ(c[4], '\0');
  memFree(c);
  EXPECT_EQ(memStrDup(nullptr), nullptr);
  memTestFailAt(1);
  EXPECT_EQ(memAllocZero(8), nullptr);
  void* ok = memAllocZero(8);
  EXPECT_NE(ok, nullptr);
  memFree(ok);
}

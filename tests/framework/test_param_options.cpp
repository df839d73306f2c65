// Frame options of the pocketing parameters: axis directions read as unit vectors, first entry
// against last usable entry, and tool frame keys completed from the NC frame keys.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "framework/param_file.h"
#include "framework/param_options.h"

namespace {
// Puts an entry at the front without replacing one of the same name, as a list read in file
// order with repeated keys holds them.
ParamNode* prepend(ParamNode* list, const char* name, const char* value, int kind = 21) {
  auto* n = static_cast<ParamNode*>(memAllocZero(sizeof(ParamNode)));
  n->name = memStrDup(name);
  n->value = memStrDup(value);
  n->kind = static_cast<std::int16_t>(kind);
  n->next = list;
  return n;
}

// A list holding the values in list order.
ParamNode* listOf(const char* name, const std::vector<const char*>& values) {
  ParamNode* list = nullptr;
  for (auto it = values.rbegin(); it != values.rend(); ++it) list = prepend(list, name, *it);
  return list;
}

std::vector<double> unitOf(const std::vector<const char*>& values, int firstOnly) {
  ParamNode* list = listOf("frameCs_x", values);
  std::vector<double> v = {-7, -7, -7};
  parOptionUnitVector(list, "frameCs_x", firstOnly, &v[0], &v[1], &v[2]);
  parListFree(list);
  return v;
}

const std::vector<double> kUntouched = {-7, -7, -7};
}  // namespace

TEST(ParOptionUnitVector, ValuesAndTheirVectors) {
  struct Case {
    const char* value;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {"2 0 0", {1, 0, 0}},
      {"0 0 0", kUntouched},  // no direction
      {"1 2", kUntouched},    // two numbers only
      {"", kUntouched},
      {"x y z", kUntouched},
      {"0,-3,4", {0, -0.6, 0.8}},  // any separator
      {"1e-9 0 0", kUntouched},    // not longer than 1e-8
      {"2e-8 0 0", {1, 0, 0}},
      {"1e200 1e200 0", {std::sqrt(0.5), std::sqrt(0.5), 0}},  // large values keep their direction
      {"1e999 0 0", kUntouched},                               // infinite: no direction
  };
  for (const Case& c : cases) {
    const std::vector<double> v = unitOf({c.value}, 1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[i], c.expected[i], 1e-15) << '"' << c.value << '"';
  }
}

TEST(ParOptionUnitVector, FirstOnlyAgainstLastUsable) {
  struct Case {
    std::vector<const char*> values;  // in list order
    std::vector<double> firstOnly;
    std::vector<double> lastWins;
  };
  const Case cases[] = {
      {{"2 0 0", "0 3 0"}, {1, 0, 0}, {0, 1, 0}},
      {{"1 2", "0 0 5"}, kUntouched, {0, 0, 1}},          // first entry unusable
      {{"0 3 0", "0 0 0", "1 2"}, {0, 1, 0}, {0, 1, 0}},  // later unusable ones change nothing
      {{"0 0 0"}, kUntouched, kUntouched},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(unitOf(c.values, 1), c.firstOnly) << c.values[0];
    EXPECT_EQ(unitOf(c.values, 0), c.lastWins) << c.values[0];
  }
}

TEST(ParOptionUnitVector, NamesMatchExactly) {
  ParamNode* list = prepend(nullptr, "FrameCs_x", "0 1 0");
  list = prepend(list, "frameCs_x ", "0 0 1");
  double v[3] = {1, 0, 0};
  parOptionUnitVector(list, "frameCs_x", 0, &v[0], &v[1], &v[2]);
  EXPECT_EQ(v[0], 1);
  parOptionUnitVector(list, nullptr, 0, &v[0], &v[1], &v[2]);
  parOptionUnitVector(nullptr, "frameCs_x", 0, &v[0], &v[1], &v[2]);
  EXPECT_EQ(v[0], 1);
  parListFree(list);
}

TEST(ParToolCsFromFrameCs, MissingToolKeysTakeTheLastFrameEntry) {
  CycleRecord r;
  // list order: frameCs_x "1 0 0", frameCs_x "0 1 0", frameCs_y, toolCs_y, frameCs_o
  ParamNode* list = prepend(nullptr, "frameCs_o", "5 5 5");
  list = prepend(list, "toolCs_y", "0 0 1");
  list = prepend(list, "frameCs_y", "-1 0 0");
  list = prepend(list, "frameCs_x", "0 1 0");
  list = prepend(list, "frameCs_x", "1 0 0");
  r.params = list;
  parToolCsFromFrameCs(&r);
  struct Expect {
    const char* name;
    const char* value;
    std::int16_t kind;
  };
  const Expect expected[] = {
      {"toolCs_x", "0 1 0", 31},  // the last frame entry in list order
      {"toolCs_y", "0 0 1", 21},  // present: left alone
      {"toolCs_o", "5 5 5", 31},
  };
  for (const Expect& e : expected) {
    std::int16_t kind = 0;
    char* v = parListGet(r.params, e.name, &kind);
    ASSERT_NE(v, nullptr) << e.name;
    EXPECT_STREQ(v, e.value);
    EXPECT_EQ(kind, e.kind) << e.name;
    memFree(v);
  }
  EXPECT_EQ(parListGet(r.params, "toolCs_z", nullptr), nullptr) << "no frame key: nothing added";
  parToolCsFromFrameCs(nullptr);
  parListFree(r.params);
}

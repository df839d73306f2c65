// The common sort: ascending order against std::sort on distinct keys around the shell/heap
// threshold, stability below 18 records, and the parallel array of the paired form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "geometry/lst_sort.h"

namespace {
struct Rec {
  int key;
  int tag;
};

int byKey(const void* a, const void* b) {
  const int ka = static_cast<const Rec*>(a)->key, kb = static_cast<const Rec*>(b)->key;
  return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

std::vector<Rec> shuffledDistinct(int n, unsigned seed) {
  std::vector<Rec> v(n);
  for (int i = 0; i < n; ++i) v[i] = {i * 3 - 5000, i};
  std::shuffle(v.begin(), v.end(), std::mt19937(seed));
  return v;
}

// A record of 300 bytes, larger than the sort keeps on the stack.
struct Big {
  int key;
  char pad[296];
};
}  // namespace

TEST(LstSort, MatchesStdSortOnDistinctKeys) {
  for (int n : {0, 1, 2, 17, 18, 44, 45, 125, 126, 1000, 9999, 10000, 10001, 25000}) {
    std::vector<Rec> v = shuffledDistinct(n, static_cast<unsigned>(n));
    std::vector<Rec> expected = v;
    std::sort(expected.begin(), expected.end(),
              [](const Rec& a, const Rec& b) { return a.key < b.key; });
    ASSERT_EQ(lstSort(v.data(), n, sizeof(Rec), byKey), 1);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(v[i].key, expected[i].key) << n << " " << i;
      ASSERT_EQ(v[i].tag, expected[i].tag) << n << " " << i;
    }
  }
}

TEST(LstSort, EqualKeysKeepInputOrderBelow18) {
  std::mt19937 rng(1);
  for (int n = 2; n < 18; ++n) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<Rec> v(n);
      for (int i = 0; i < n; ++i) v[i] = {static_cast<int>(rng() % 3), i};
      std::vector<Rec> expected = v;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const Rec& a, const Rec& b) { return a.key < b.key; });
      lstSort(v.data(), n, sizeof(Rec), byKey);
      for (int i = 0; i < n; ++i) ASSERT_EQ(v[i].tag, expected[i].tag) << n;
    }
  }
}

TEST(LstSort, EighteenRecordsRunTheGapFourPass) {
  // Gap 4 then gap 1 moves equal keys out of input order where one insertion pass would not:
  // keys 1 1 1 1 0 ...: the gap-4 pass swaps the first 1 with the 0 behind it.
  std::vector<Rec> v(18);
  for (int i = 0; i < 18; ++i) v[i] = {i == 4 ? 0 : 1, i};
  lstSort(v.data(), 18, sizeof(Rec), byKey);
  EXPECT_EQ(v[0].tag, 4);
  std::vector<int> tags;
  for (int i = 1; i < 18; ++i) tags.push_back(v[i].tag);
  EXPECT_FALSE(std::is_sorted(tags.begin(), tags.end())) << "not stable from 18 on";
}

TEST(LstSort, PairedMovesTheSecondArrayAlike) {
  for (int n : {17, 500, 12000}) {
    std::vector<Rec> v = shuffledDistinct(n, 99);
    std::vector<double> second(n);
    for (int i = 0; i < n; ++i) second[i] = v[i].key * 0.5;
    std::vector<Rec> alone = v;
    ASSERT_EQ(lstSortPaired(v.data(), n, sizeof(Rec), byKey, second.data(), sizeof(double)), 1);
    lstSort(alone.data(), n, sizeof(Rec), byKey);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(second[i], v[i].key * 0.5) << n << " " << i;
      ASSERT_EQ(v[i].tag, alone[i].tag);
    }
    std::vector<Rec> nullSecond = shuffledDistinct(n, 99);
    lstSortPaired(nullSecond.data(), n, sizeof(Rec), byKey, nullptr, 8);
    for (int i = 0; i < n; ++i) ASSERT_EQ(nullSecond[i].tag, alone[i].tag);
  }
}

TEST(LstSort, LargeRecordsAndBadArguments) {
  std::vector<Big> v(300);
  std::mt19937 rng(4);
  for (Big& b : v) {
    b.key = static_cast<int>(rng() % 100000);
    std::memset(b.pad, b.key & 0x7f, sizeof b.pad);
  }
  ASSERT_EQ(lstSort(v.data(), 300, sizeof(Big),
                    [](const void* a, const void* b) {
                      return static_cast<const Big*>(a)->key - static_cast<const Big*>(b)->key;
                    }),
            1);
  for (int i = 0; i < 300; ++i) {
    if (i > 0) {
      ASSERT_LE(v[i - 1].key, v[i].key);
    }
    ASSERT_EQ(v[i].pad[295], v[i].key & 0x7f);
  }
  EXPECT_EQ(lstSort(nullptr, 5, 4, byKey), -20);
  EXPECT_EQ(lstSort(v.data(), 5, 0, byKey), -20);
  EXPECT_EQ(lstSort(v.data(), 5, sizeof(Big), nullptr), -20);
  EXPECT_EQ(lstSort(nullptr, 1, 4, byKey), 1);
  EXPECT_EQ(lstSort(nullptr, -3, 4, byKey), 1);
}

// Tag-run searches and link-reference steps of open-pocket rings against a brute force over random
// tag patterns (the wrap included), and the run start when the marked element is the last one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pocket/open_runs.h"

namespace {

// A ring of n unit lines along x with the given tags.
std::vector<ContourElement> ring(const std::vector<int>& tags) {
  std::vector<ContourElement> r;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    r.push_back(
        contMakeLine(static_cast<double>(i), 0.0, static_cast<double>(i + 1), 0.0, tags[i]));
  }
  return r;
}

// Brute force: walk k = 0..n-1 steps from start in direction dir, the first match of want.
int brute(const std::vector<int>& tags, int start, int dir, bool want) {
  const int n = static_cast<int>(tags.size());
  for (int k = 0; k < n; ++k) {
    const int i = ((start + dir * k) % n + n) % n;
    if ((tags[static_cast<std::size_t>(i)] < 0) == want) return i;
  }
  return -1;
}

TEST(OpenRunsTest, SearchesAndStepsAgainstBruteForce) {
  std::mt19937 rng(47);
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + static_cast<int>(rng() % 9);
    std::vector<int> tags(static_cast<std::size_t>(n));
    for (int& t : tags) t = rng() % 3 == 0 ? -1 : static_cast<int>(rng() % 4);
    const std::vector<ContourElement> r = ring(tags);
    for (int s = 0; s < n; ++s) {
      EXPECT_EQ(contNextMarked(r.data(), n, s), brute(tags, s, 1, true));
      EXPECT_EQ(contNextUnmarked(r.data(), n, s), brute(tags, s, 1, false));
      EXPECT_EQ(contPrevMarked(r.data(), n, s), brute(tags, s, -1, true));
      EXPECT_EQ(contPrevUnmarked(r.data(), n, s), brute(tags, s, -1, false));

      const int e = s;  // element index; reference number e + 1 at its start
      const LinkRef ref{e + 1, contElemStart(r[static_cast<std::size_t>(e)])};
      const bool atStart = tags[static_cast<std::size_t>(e)] >= 0 &&
                           tags[static_cast<std::size_t>((e + n - 1) % n)] < 0;
      EXPECT_EQ(linkRefAtMarkedStart(r.data(), n, ref), atStart ? 1 : 0);
      LinkRef out{};
      const int b = brute(tags, (e + n - 1) % n, -1, false);
      EXPECT_EQ(linkStepBack(r.data(), n, ref, &out), b < 0 ? -1 : 1);
      if (b >= 0) {
        EXPECT_EQ(out.element, b + 1);
        EXPECT_DOUBLE_EQ(out.point.x, b + 1.0);  // the end of element b
      }
      const int c = brute(tags, e, 1, false);
      const int d = c < 0 ? -1 : brute(tags, c, 1, true);
      const int want = atStart ? 1 : (d < 0 ? -1 : 1);
      EXPECT_EQ(linkNextUnmarkedRunEnd(r.data(), n, ref, &out), want);
      if (want == 1) {
        EXPECT_EQ(out.element, atStart ? e + 1 : d + 1);
      }
      const int b2 = brute(tags, e, -1, false);
      const int c2 = b2 < 0 ? -1 : brute(tags, b2, -1, true);
      EXPECT_EQ(linkCurrentRunStart(r.data(), n, ref, &out), c2 < 0 ? -1 : 1);
      if (c2 >= 0) {
        const int cp = c2 == n - 1 ? 0 : c2 + 1;
        EXPECT_EQ(out.element, cp + 1);
        EXPECT_DOUBLE_EQ(out.point.x, static_cast<double>(cp));
      }
    }
  }
}

TEST(OpenRunsTest, RunStartWrapsToTheFirstElementAndSymbolicEnds) {
  const std::vector<ContourElement> r = ring({0, 1, 2, -1});
  LinkRef out{};
  ASSERT_EQ(linkCurrentRunStart(r.data(), 4, LinkRef{3, {2.5, 0.0}}, &out), 1);
  EXPECT_EQ(out.element, 1);
  EXPECT_DOUBLE_EQ(out.point.x, 0.0);
  // The symbolic start (0) resolves to element 1, which starts behind the marked last element.
  EXPECT_EQ(linkRefAtMarkedStart(r.data(), 4, LinkRef{0, {0.0, 0.0}}), 1);
  // The symbolic end (-1) is element 4, marked: the step back lands on element 3's end.
  ASSERT_EQ(linkStepBack(r.data(), 4, LinkRef{-1, {0.0, 0.0}}, &out), 1);
  EXPECT_EQ(out.element, 3);
  // No unmarked element at all.
  const std::vector<ContourElement> open = ring({-1, -1});
  EXPECT_EQ(linkStepBack(open.data(), 2, LinkRef{1, {0.0, 0.0}}, &out), -1);
  EXPECT_EQ(contNextUnmarked(open.data(), 2, 5), -1);
}
}  // namespace

// Layer store: random operation sequences against a plain vector model, the refusals in one table,
// the capacity of the read buffer, header writes that would point a layer at a foreign block,
// re-creating a filled layer, the contour limit and failing allocations.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/memory.h"
#include "pocket/layer_store.h"

namespace {
// A contour of the reference model: the header's own fields and the elements.
struct ModelContour {
  ContourHeader header;  // elements pointer not compared
  std::vector<ContourElement> elements;
};
using Model = std::vector<ModelContour>;

ContourElement lineElem(double a, int tag) { return contMakeLine(a, a + 1, a + 2, a + 3, tag); }

ModelContour makeContour(std::mt19937& rng, int maxCount) {
  std::uniform_int_distribution<int> countDist(0, maxCount);
  std::uniform_real_distribution<double> val(-100, 100);
  ModelContour c{};
  std::memset(&c.header, 0, sizeof c.header);
  const int n = countDist(rng);
  for (int k = 0; k < n; ++k) {
    c.elements.push_back(k % 2 == 0 ? lineElem(val(rng), k)
                                    : contMakeArc(val(rng), val(rng), val(rng), val(rng), val(rng),
                                                  val(rng), val(rng), k % 4 == 1 ? 1 : -1, -1));
  }
  c.header.count = n;
  c.header.group = static_cast<std::int16_t>(countDist(rng) - 3);
  c.header.ccw = static_cast<std::uint8_t>(n % 2);
  c.header.leftSide = 1;
  c.header.zTop = val(rng);
  c.header.zBottom = val(rng);
  c.header.parent = -1;
  c.header.allowance = val(rng);
  c.header.sequence = static_cast<std::int16_t>(n);
  c.header.index = 7;
  return c;
}

void expectHeaderFields(const ContourHeader& a, const ContourHeader& b) {
  EXPECT_EQ(a.ccw, b.ccw);
  EXPECT_EQ(a.leftSide, b.leftSide);
  EXPECT_EQ(a.group, b.group);
  EXPECT_EQ(a.count, b.count);
  EXPECT_EQ(a.zTop, b.zTop);
  EXPECT_EQ(a.zBottom, b.zBottom);
  EXPECT_EQ(a.parent, b.parent);
  EXPECT_EQ(a.stockMark, b.stockMark);
  EXPECT_EQ(a.allowance, b.allowance);
  EXPECT_EQ(a.sequence, b.sequence);
  EXPECT_EQ(a.index, b.index);
}

void expectLayerEquals(const char* layer, const Model& model) {
  ASSERT_EQ(layerCount(layer), static_cast<int>(model.size()));
  std::vector<ContourElement> buffer(64);
  for (int i = 0; i < static_cast<int>(model.size()); ++i) {
    ContourHeader h{};
    ASSERT_EQ(layerGetContour(layer, buffer.data(), 64, &h, i), i);
    expectHeaderFields(h, model[i].header);
    if (!model[i].elements.empty()) {
      ASSERT_EQ(std::memcmp(buffer.data(), model[i].elements.data(),
                            model[i].elements.size() * sizeof(ContourElement)),
                0);
    }
  }
}

class LayerStoreTest : public ::testing::Test {
 protected:
  void TearDown() override {
    memTestFailAt(0);
    layerResetState();
  }
};

TEST_F(LayerStoreTest, NamesAreExactAndCaseSensitive) {
  const char* names[] = {"MAIN", "GKT",    "SPAN",    "INSEL",    "REST",     "INPUT", "ORIG",
                         "TEMP", "CLAMPS", "CUT_GKT", "CUT_SPAN", "CUT_BACK", "POCKET"};
  for (int k = 0; k < kLayerCount; ++k) EXPECT_EQ(layerIndexOfName(names[k]), k);
  for (const char* bad : {"main", "MAIN ", "MAI", "", "CUT", "POCKETS"}) {
    EXPECT_EQ(layerIndexOfName(bad), -1) << bad;
  }
  EXPECT_EQ(layerIndexOfName(nullptr), -1);
}

// Random inserts, replacements, deletions, reads, level and header writes on two layers, checked
// after every step against a vector model.
TEST_F(LayerStoreTest, RandomSequencesMatchAVectorModel) {
  std::mt19937 rng(1234);
  const char* layers[] = {"MAIN", "CUT_BACK"};
  Model models[2];
  for (const char* l : layers) ASSERT_EQ(layerCreate(l), 1);
  std::uniform_int_distribution<int> opDist(0, 9);
  for (int step = 0; step < 3000; ++step) {
    const int which = step % 2;
    const char* layer = layers[which];
    Model& model = models[which];
    const int count = static_cast<int>(model.size());
    std::uniform_int_distribution<int> indexDist(-2, count + 1);
    const int i = indexDist(rng);
    const int op = opDist(rng);
    SCOPED_TRACE(::testing::Message() << "step " << step << " op " << op << " i " << i);
    if (op <= 3) {  // insert
      ModelContour c = makeContour(rng, 6);
      const int r = layerInsertContour(layer, c.elements.data(), &c.header, i);
      const bool ok = i <= count;
      ASSERT_EQ(r, ok ? 1 : 0);
      if (ok) model.insert(model.begin() + (i < 0 ? count : i), c);
    } else if (op == 4) {  // replace
      ModelContour c = makeContour(rng, 6);
      const bool ok = i >= 0 && i < count;
      ASSERT_EQ(layerReplaceContour(layer, c.elements.data(), &c.header, i), ok ? 1 : 0);
      if (ok) model[i] = c;
    } else if (op == 5) {  // replace from the layer's own block
      if (count == 0) continue;
      const int k = std::uniform_int_distribution<int>(0, count - 1)(rng);
      ContourHeader h{};
      ASSERT_EQ(layerGetHeader(layer, &h, k), k);
      h.zTop = 42.0;
      ASSERT_EQ(layerReplaceContour(layer, h.elements, &h, k), 1);
      model[k].header.zTop = 42.0;
    } else if (op == 6) {  // delete
      const bool ok = count > 0 && i >= -1 && i <= count - 1;
      ASSERT_EQ(layerDeleteContour(layer, i), ok ? 1 : 0);
      if (ok) model.erase(model.begin() + (i == -1 ? count - 1 : i));
    } else if (op == 7) {  // level
      const int k = i < 0 ? count - 1 : i;
      const bool ok = k >= 0 && k < count;
      ASSERT_EQ(layerSetLevel(layer, step % 50 - 5, i), ok ? k : -1);
      if (ok) model[k].header.group = static_cast<std::int16_t>(step % 50 - 5);
    } else if (op == 8) {  // header read and write back
      const int k = i < 0 ? count - 1 : i;
      const bool ok = k >= 0 && k < count;
      ContourHeader h{};
      ASSERT_EQ(layerGetHeader(layer, &h, i), ok ? k : -1);
      if (ok) {
        h.index = static_cast<std::int16_t>(step);
        h.parent = 3;
        ASSERT_EQ(layerSetHeader(layer, &h, i), k);
        model[k].header.index = static_cast<std::int16_t>(step);
        model[k].header.parent = 3;
      }
    } else if (step % 97 == 0) {  // occasionally empty the layer
      ASSERT_EQ(step % 2 == 0 ? layerClear(layer) : layerCreate(layer), 1);
      model.clear();
    } else {  // read with a random capacity
      const int k = i < 0 ? count - 1 : i;
      const bool inRange = k >= 0 && k < count;
      std::vector<ContourElement> buffer(8);
      const int capacity = std::uniform_int_distribution<int>(0, 8)(rng);
      ContourHeader h{};
      const bool fits = inRange && static_cast<int>(model[k].elements.size()) <= capacity;
      ASSERT_EQ(layerGetContour(layer, buffer.data(), capacity, &h, i), fits ? k : -1);
    }
    int maxLevel = 0;
    for (const ModelContour& c : model) maxLevel = std::max<int>(maxLevel, c.header.group);
    ASSERT_EQ(layerMaxLevel(layer), maxLevel);
    expectLayerEquals(layer, model);
  }
}

// The refusals and boundary answers of every operation.
TEST_F(LayerStoreTest, RefusalTable) {
  ContourElement e[2] = {lineElem(0, 0), lineElem(1, 0)};
  ContourHeader h{};
  h.count = 2;
  ContourElement buffer[4];
  ContourHeader out{};
  // Unknown names: reads -1, count 0, clear 1, the rest 0.
  EXPECT_EQ(layerCreate("NOPE"), 0);
  EXPECT_EQ(layerFree("NOPE"), 0);
  EXPECT_EQ(layerClear("NOPE"), 1);
  EXPECT_EQ(layerCount("NOPE"), 0);
  EXPECT_EQ(layerMaxLevel("NOPE"), -1);
  EXPECT_EQ(layerGetContour("NOPE", buffer, 4, &out, 0), -1);
  EXPECT_EQ(layerGetHeader("NOPE", &out, 0), -1);
  EXPECT_EQ(layerSetLevel("NOPE", 1, 0), -1);
  EXPECT_EQ(layerInsertContour("NOPE", e, &h, -1), 0);
  EXPECT_EQ(layerReplaceContour("NOPE", e, &h, 0), 0);
  EXPECT_EQ(layerDeleteContour("NOPE", -1), 0);
  // A layer without table takes nothing.
  EXPECT_EQ(layerInsertContour("GKT", e, &h, -1), 0);
  ASSERT_EQ(layerCreate("GKT"), 1);
  // Empty layer.
  EXPECT_EQ(layerDeleteContour("GKT", -1), 0);
  EXPECT_EQ(layerCount("GKT"), 0);
  EXPECT_EQ(layerGetContour("GKT", buffer, 4, &out, -1), -1);
  EXPECT_EQ(layerMaxLevel("GKT"), 0);
  // Insertion at count appends, at count + 1 is refused.
  EXPECT_EQ(layerInsertContour("GKT", e, &h, 0), 1);
  EXPECT_EQ(layerInsertContour("GKT", e, &h, 2), 0);
  EXPECT_EQ(layerInsertContour("GKT", e, &h, 1), 1);
  // Counts out of range and missing elements.
  ContourHeader bad = h;
  bad.count = -1;
  EXPECT_EQ(layerInsertContour("GKT", e, &bad, -1), 0);
  bad.count = kContMaxElements + 1;
  EXPECT_EQ(layerInsertContour("GKT", e, &bad, -1), 0);
  EXPECT_EQ(layerInsertContour("GKT", nullptr, &h, -1), 0);
  EXPECT_EQ(layerInsertContour("GKT", e, nullptr, -1), 0);
  EXPECT_EQ(layerCount("GKT"), 2);
  // Replacement has no "last" convention.
  EXPECT_EQ(layerReplaceContour("GKT", e, &h, -1), 0);
  EXPECT_EQ(layerReplaceContour("GKT", e, &h, 2), 0);
  EXPECT_EQ(layerReplaceContour("GKT", e, &h, 1), 1);
  // A negative index reads the last contour and answers its index.
  EXPECT_EQ(layerGetContour("GKT", buffer, 4, &out, -1), 1);
  EXPECT_EQ(layerGetHeader("GKT", &out, -7), 1);
  EXPECT_EQ(layerGetHeader("GKT", &out, 2), -1);
  // Deletion below -1 or beyond the last.
  EXPECT_EQ(layerDeleteContour("GKT", -2), 0);
  EXPECT_EQ(layerDeleteContour("GKT", 2), 0);
  EXPECT_EQ(layerCount("GKT"), 2);
  // Groups all negative: the largest level is 0.
  EXPECT_EQ(layerSetLevel("GKT", -4, 0), 0);
  EXPECT_EQ(layerSetLevel("GKT", -2, -1), 1);
  EXPECT_EQ(layerMaxLevel("GKT"), 0);
  // A contour without elements is stored and read back.
  ContourHeader empty{};
  EXPECT_EQ(layerInsertContour("GKT", nullptr, &empty, -1), 1);
  EXPECT_EQ(layerGetContour("GKT", nullptr, 0, &out, -1), 2);
  EXPECT_EQ(out.count, 0);
}

// Reading a contour into a buffer that is too small was an overflow: it is refused and nothing
// is copied.
TEST_F(LayerStoreTest, ReadRefusesAContourLargerThanTheBuffer) {
  ASSERT_EQ(layerCreate("MAIN"), 1);
  std::vector<ContourElement> e;
  for (int k = 0; k < 5; ++k) e.push_back(lineElem(k, k));
  ContourHeader h{};
  h.count = 5;
  h.zTop = 3;
  ASSERT_EQ(layerInsertContour("MAIN", e.data(), &h, -1), 1);
  ContourElement buffer[5];
  std::memset(buffer, 0x5a, sizeof buffer);
  ContourHeader out{};
  out.zTop = -1;
  EXPECT_EQ(layerGetContour("MAIN", buffer, 4, &out, 0), -1);
  EXPECT_EQ(out.zTop, -1);
  for (const ContourElement& b : buffer)
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&b)[0], 0x5a);
  EXPECT_EQ(layerGetContour("MAIN", buffer, 5, &out, 0), 0);
  EXPECT_EQ(std::memcmp(buffer, e.data(), sizeof buffer), 0);
  EXPECT_EQ(layerGetContour("MAIN", nullptr, 5, &out, 0), -1);
  EXPECT_EQ(layerGetContour("MAIN", buffer, 5, nullptr, 0), -1);
}

// Writing back a header that names another element block, or another count, would point the layer
// at memory it does not own: refused, and the stored header stays.
TEST_F(LayerStoreTest, HeaderWriteKeepsTheLayersOwnBlock) {
  ASSERT_EQ(layerCreate("SPAN"), 1);
  ContourElement e[3] = {lineElem(0, 0), lineElem(1, 0), lineElem(2, 0)};
  ContourHeader h{};
  h.count = 3;
  ASSERT_EQ(layerInsertContour("SPAN", e, &h, -1), 1);
  ASSERT_EQ(layerInsertContour("SPAN", e, &h, -1), 1);
  ContourHeader first{}, second{};
  ASSERT_EQ(layerGetHeader("SPAN", &first, 0), 0);
  ASSERT_EQ(layerGetHeader("SPAN", &second, 1), 1);
  ContourHeader foreign = first;
  foreign.elements = second.elements;
  foreign.index = 9;
  EXPECT_EQ(layerSetHeader("SPAN", &foreign, 0), -1);
  ContourHeader longer = first;
  longer.count = 4;
  EXPECT_EQ(layerSetHeader("SPAN", &longer, 0), -1);
  foreign.elements = e;  // the caller's own array
  EXPECT_EQ(layerSetHeader("SPAN", &foreign, 0), -1);
  EXPECT_EQ(layerSetHeader("SPAN", nullptr, 0), -1);
  ContourHeader now{};
  ASSERT_EQ(layerGetHeader("SPAN", &now, 0), 0);
  EXPECT_EQ(now.elements, first.elements);
  EXPECT_EQ(now.index, 0);
  first.index = 9;
  EXPECT_EQ(layerSetHeader("SPAN", &first, -1), -1);  // -1 names contour 1, another block
  EXPECT_EQ(layerSetHeader("SPAN", &first, 0), 0);
}

// Re-creating a filled layer released nothing and leaked every element block (LeakSanitizer
// reports the blocks); it empties the layer like layerClear.
TEST_F(LayerStoreTest, RecreatingAFilledLayerReleasesItsContours) {
  ContourElement e[4] = {lineElem(0, 0), lineElem(1, 0), lineElem(2, 0), lineElem(3, 0)};
  ContourHeader h{};
  h.count = 4;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(layerCreate("INPUT"), 1);
    EXPECT_EQ(layerCount("INPUT"), 0);
    for (int k = 0; k < 10; ++k) ASSERT_EQ(layerInsertContour("INPUT", e, &h, 0), 1);
    EXPECT_EQ(layerCount("INPUT"), 10);
  }
  EXPECT_EQ(layerFree("INPUT"), 1);
  EXPECT_EQ(layerCount("INPUT"), 0);
  EXPECT_EQ(layerInsertContour("INPUT", e, &h, -1), 0);  // no table after layerFree
}

TEST_F(LayerStoreTest, TheContourLimitRefusesOneMore) {
  ASSERT_EQ(layerCreate("POCKET"), 1);
  ContourElement e = lineElem(0, 0);
  ContourHeader h{};
  h.count = 1;
  for (int k = 0; k < kLayerMaxContours; ++k) {
    h.index = static_cast<std::int16_t>(k % 30000);
    ASSERT_EQ(layerInsertContour("POCKET", &e, &h, -1), 1);
  }
  EXPECT_EQ(layerInsertContour("POCKET", &e, &h, -1), 0);
  EXPECT_EQ(layerInsertContour("POCKET", &e, &h, 0), 0);
  EXPECT_EQ(layerCount("POCKET"), kLayerMaxContours);
  ContourHeader last{};
  ASSERT_EQ(layerGetHeader("POCKET", &last, -1), kLayerMaxContours - 1);
  EXPECT_EQ(last.index, kLayerMaxContours - 1);
}

// Each allocation of the store made to fail in turn: the operation answers 0 and the layer is as
// before (LeakSanitizer checks that no copy is kept).
TEST_F(LayerStoreTest, FailedAllocationsLeaveTheLayerUnchanged) {
  memTestFailAt(1);
  EXPECT_EQ(layerCreate("REST"), 0);
  EXPECT_EQ(layerInsertContour("REST", nullptr, nullptr, -1), 0);
  ASSERT_EQ(layerCreate("REST"), 1);
  ContourElement e[2] = {lineElem(0, 0), lineElem(5, 1)};
  ContourHeader h{};
  h.count = 2;
  h.zTop = 1;
  ASSERT_EQ(layerInsertContour("REST", e, &h, -1), 1);
  memTestFailAt(1);
  EXPECT_EQ(layerInsertContour("REST", e, &h, 0), 0);
  EXPECT_EQ(layerCount("REST"), 1);
  ContourHeader other = h;
  other.zTop = 2;
  memTestFailAt(1);
  EXPECT_EQ(layerReplaceContour("REST", e, &other, 0), 0);
  ContourHeader out{};
  ASSERT_EQ(layerGetHeader("REST", &out, 0), 0);
  EXPECT_EQ(out.zTop, 1);
  EXPECT_NE(out.elements, nullptr);
  ContourElement buffer[2];
  ASSERT_EQ(layerGetContour("REST", buffer, 2, &out, 0), 0);
  EXPECT_EQ(std::memcmp(buffer, e, sizeof e), 0);
}
}  // namespace

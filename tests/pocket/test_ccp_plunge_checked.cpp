// Helical and ramp plunges in whole pocket runs, proven by the independent checker: the plunge
// moves included, the path never gouges the walls or islands (G2), its links and rapids are sound
// (L), and the floor is cleared as with the straight plunge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ccp_checked_support.h"
#include "framework/phase_runner.h"
#include "pocket/ccp_record.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_level.h"

using namespace ccpcheck;

namespace {

class PlungeCheckedTest : public ccptest::CcpRunFixture {};

}  // namespace

TEST_F(PlungeCheckedTest, HelixAndRampOnCheckedPockets) {
  const Fixture fixtures[] = {
      {"rectangle", rectangleShape(0, 0, 60, 40), {}},
      {"island", rectangleShape(0, 0, 80, 60), {circleShape(40, 30, 8)}},
      {"L", polygonShape({{0, 0}, {60, 0}, {60, 25}, {25, 25}, {25, 60}, {0, 60}}), {}}};
  for (const Fixture& f : fixtures) {
    for (const char* plunge : {"helical", "ramp"}) {
      for (const char* strategy : {"", "outsideInDirect"}) {
        const std::string label = f.name + " " + plunge + " " + strategy;
        std::vector<std::pair<std::string, std::string>> keys = {
            {"plungeType", plunge}, {"helixRadius", "2"},      {"helixPlungeAngle", "5"},
            {"depth", "5"},         {"geoSource", "job.qdx"},  {"toolDiameter", "10"},
            {"precision", "8"},     {"pofFilename", "out.pof"}};
        if (strategy[0] != '\0') keys.push_back({"strategy", strategy});
        qdtest::writeFile("job.qdx", exchangeText({&f}));
        qdtest::writeFile("job.pcf", ccptest::pcf(keys));
        std::remove("out.pof");
        ASSERT_EQ(ccptest::runCycle(ccpCycleRecord(), "job"), kRunOk)
            << label << "\n"
            << qdtest::readFile("out.pof");
        const tpc::Path path = readRun("out.pof", 5);
        const tpc::Pocket pocket = checkPocket(f);
        tpc::CoverOptions cover;
        cover.floorZ = -5;
        cover.step = 4;
        // Outside-in runs start at the outer ring, a tool radius from the wall: the helix does
        // not fit there (code 3123, id 1522) and the plunge is straight.
        const bool helixFits = std::string(plunge) == "ramp" || strategy[0] == '\0';
        std::vector<long> failures = failureMessages();
        if (!helixFits) std::erase(failures, 1522L);
        EXPECT_TRUE(tpc::passes(tpc::checkSanity(path, failures))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkNoGouge2D(path, pocket))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkLinks2D(path, pocket))) << label;
        EXPECT_TRUE(tpc::passes(tpc::checkCoverClear(path, pocket, cover))) << label;
        // The plunge is not straight: some feed move descends while it moves sideways.
        bool slanted = false;
        for (const tpc::Move& m : path.moves) {
          slanted = slanted || (m.kind == tpc::MoveKind::Feed && m.to.z < m.from.z - 1e-9 &&
                                std::hypot(m.to.x - m.from.x, m.to.y - m.from.y) > 1e-6);
        }
        EXPECT_TRUE(slanted || !helixFits) << label;
      }
    }
  }
}

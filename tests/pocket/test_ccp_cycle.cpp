// The pocket cycle run in-process: the records of a rectangle job, a job without tool, a nested
// run, the level plan against a brute-force filter, and two runs in one process.
#include <gtest/gtest.h>

#include "ccp_support.h"
#include "framework/pof_writer.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_level.h"

using namespace ccptest;
using qdtest::readFile;
using qdtest::writeFile;

namespace {
class CcpRunTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    pofResetState();
    ccpResetState();
    ccpRecordReset();
    pockRunReset();
    layerResetState();
    pockLevelResetState();
    pockSetSourceLoader(ccpCycleRecord());
  }
  void TearDown() override {
    pockLevelResetState();
    ccpResetState();
    ccpRecordReset();
    layerResetState();
    pofResetState();
  }
};
}  // namespace

TEST_F(CcpRunTest, RectangleJob) {
  writeFile("rect.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  writeFile("job.pcf", pcf({{"geoSource", "rect.qdx"},
                            {"toolDiameter", "10"},
                            {"oriAutomatic", "none"},
                            {"depth", "5"},
                            {"pofFilename", "out.pof"}}));
  const int code = runCycle(ccpCycleRecord(), "job");
  const std::string out = readFile("out.pof");
  std::printf("%d\n%s\n", code, out.c_str());
}

// Pocket cycle parameters: every key of a parameter file against its field, a second read without
// keys, the words and their case, the settings text, the ".CFG" key table, and the derived values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "framework/cfg_reader.h"
#include "framework/memory.h"
#include "framework/output.h"
#include "framework/param_file.h"
#include "framework/param_list.h"
#include "pocket/ccp_params.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"

using namespace ccptest;
using qdtest::writeFile;

namespace {
constexpr double kDeg = 0.017453292519943295;

struct Sent {
  int layer;
  int type;
  std::string name, text;
};
std::vector<Sent>& sent() {
  static std::vector<Sent> s;
  return s;
}
template <int Layer>
int capture(CycleRecord*, OutputRecord* r) {
  sent().push_back({Layer, r->type, r->text.name, r->text.text});
  return 1;
}

class ParamsTest : public qdtest::TempDirTest {
 protected:
  void SetUp() override {
    ccptest::resetPocketModules();
    sent().clear();
    cycle()->firstOutputPending = 0;
    cycRegisterLayer(cycle(), 0, capture<0>, capture<0>, 1);
    cycRegisterLayer(cycle(), 4, capture<4>, capture<4>, 1);
    ccpSetCurrent(cycle());
    writeFile("g.qdx", xchgHeader() + lineContour(rectangle(0, 0, 40, 30)));
  }
  void TearDown() override {
    parListFree(cycle()->params);
    cycle()->params = nullptr;
    parListFree(cycle()->cfgEntries);
    cycle()->cfgEntries = nullptr;
    cycFreeLayers(cycle());
    ccpRecordReset();
    pockRunReset();
    layerResetState();
  }
  static CycleRecord* cycle() { return ccpCycleRecord(); }
  static CcpRecord* rec() { return ccpRecordOf(ccpCycleRecord()); }
  void set(const std::string& k, const std::string& v) {
    cycle()->params = parListSet(cycle()->params, k.c_str(), v.c_str(), kParKindSource);
  }
  void setAll(const std::vector<std::pair<std::string, std::string>>& keys) {
    for (const auto& [k, v] : keys) set(k, v);
  }
  void clearKeys() {
    parListFree(cycle()->params);
    cycle()->params = nullptr;
  }
  std::vector<std::string> texts(int layer) {
    std::vector<std::string> out;
    for (const Sent& s : sent()) {
      if (s.layer == layer) out.push_back(s.text);
    }
    return out;
  }
};

// One key of the all-keys fixture: its value and the check of what it set.
struct KeyCase {
  const char* key;
  const char* value;
  std::function<bool()> check;
};
}  // namespace

// Every key given once with a value that differs from its initial one; each lands in its fields.
// A second read without the optional keys keeps every value.
TEST_F(ParamsTest, AllKeysThenNone) {
  CcpRecord* r = rec();
  PockEngine& e = pockEngine();
  PocketCfgRecord& c = pockCfg();
  const std::vector<KeyCase> cases = {
      {"geoSource", "g.qdx", [&] { return std::strcmp(r->geoSource, "g.qdx") == 0; }},
      {"toolDiameter", "-8", [&] { return r->toolDiameter == 8; }},
      {"clearancePlane", "12", [&] { return r->clearancePlane == 12; }},
      {"clearanceDistance", "3", [&] { return r->clearanceDistance == 3; }},
      {"planeFeedrate", "-900", [&] { return r->planeFeedrate == 900; }},
      {"zFeedrate", "-300", [&] { return r->zFeedrate == 300; }},
      {"planeAllowance", "0.25", [&] { return r->planeAllowance == 0.25; }},
      {"epsilon", "-0.002", [&] { return r->epsilon == 0.002 && c.epsilon == 0.002; }},
      {"infeedDepth", "-2.5", [&] { return r->infeedDepth == 2.5; }},
      {"surface", "4", [&] { return r->surface == 4 && c.oberfl == 4; }},
      {"depth", "-6", [&] { return r->depth == 6 && c.tief == 6; }},
      {"rifSource", "rest.rif",
       [&] { return std::strcmp(c.rifName, "rest.rif") == 0 && r->rifSource == c.rifName; }},
      {"generateRif", "true", [&] { return r->generateRif == 1 && c.genRif == 1; }},
      {"rifMinLength", "1.5", [&] { return r->rifMinLength == 1.5 && c.minLength == 1.5; }},
      {"oriAutomatic", "single", [&] { return r->oriAutomatic == 1; }},
      {"orientation", "clockwise", [&] { return r->orientation == -1; }},
      {"clamps", "cl.qdx", [&] { return std::strcmp(r->clampsSource, "cl.qdx") == 0; }},
      {"startExplicit", "true", [&] { return r->startExplicit == 1 && c.startGiven == 1; }},
      {"startX", "5", [&] { return r->startX == 5 && c.zustellX == 5; }},
      {"startY", "6", [&] { return r->startY == 6 && c.zustellY == 6; }},
      {"edgeMovement", "force", [&] { return r->edgeMovement == 2 && c.edgeMovement == 2; }},
      {"useReferenceToolDiameter", "true", [&] { return r->useReference == 1; }},
      {"referenceToolDiameter", "3", [&] { return r->referenceRadius == 1.5; }},
      {"stock", "multi", [&] { return r->stockMode == 4; }},
      {"frame", "1,2,3,4,5,6", [&] { return std::strcmp(r->frameText, "1/2/3/4/5/6") == 0; }},
      {"frameOn", "true", [&] { return r->frameOn == 1; }},
      {"frameOff", "true", [&] { return r->frameOff == 1; }},
      {"lengthOfUnit", "inch", [&] { return r->scaleLengths == 1; }},
      {"strategy", "openPocket",
       [&] {
         return r->strategy == 5 && c.strategy == 5 && e.pockStrategyOpenPocket == 1 &&
                e.pockStrategyAxisParallel == 0;
       }},
      {"plungeType", "ramp", [&] { return r->plungeType == 3 && c.macroTmode == 3; }},
      {"helixRadius", "2", [&] { return r->helixRadius == 2 && c.macroTrad == 2; }},
      {"helixAngleResolution", "30",
       [&] { return r->helixAngleResolution == 30 * kDeg && c.macroIwin == 30 * kDeg; }},
      {"leavingLength", "0.7", [&] { return r->leavingLength == 4; }},  // "leavingFactor" wins
      {"retractEachPlane", "false", [&] { return r->retractEachPlane == 1; }},  // stock sets it
      {"leavingType", "quarterCircle", [&] { return r->leavingType == 3; }},
      {"stockMovement", "rapid", [&] { return r->stockMovement == 1 && e.pockStockMovement; }},
      {"approachType", "halfCircle", [&] { return r->approachType == 4; }},
      {"wallAngle", "5", [&] { return r->wallAngle == 5; }},
      {"cornerRadius", "1", [&] { return r->cornerRadius == 1; }},
      {"toolType", "radiusMill", [&] { return r->toolType == 3; }},
      {"rampAngle", "15",
       [&] { return r->helixPlungeAngle == 15 * kDeg && c.macroTswin == 15 * kDeg; }},
      {"depthOffset", "0.5", [&] { return r->depthOffset == 0.5; }},
      {"approachFactor", "0.25", [&] { return r->approachLength == 2; }},
      {"leavingFactor", "0.5", [&] { return r->leavingLength == 4; }},
      {"infeedRadius", "0.3",
       [&] {
         return r->infeedRadius == 0.3 && c.infeedRadius == 0.3 && e.pockInfeedRadius == 0.3;
       }},
      {"filletRadius", "0.4",
       [&] {
         return r->filletRadius == 0.4 && c.filletRadius == 0.4 && e.pockFilletRadius == 0.4;
       }},
      {"completePocket", "no", [&] { return r->completePocket == 0 && c.completePocket == 0; }},
      {"stockTolerance", "0.1",
       [&] { return r->stockTolerance == 0.1 && e.pockStockTolerance == 0.1; }},
      {"retractPlane", "7", [&] { return r->retractPlane == 7; }},
      {"filletCorners", "true", [&] { return r->filletCorners == 1 && c.filletCorners == 1; }},
      {"considerToolType", "true",
       [&] { return r->considerToolType == 1 && c.considerToolType == 1; }},
      {"cutterCompensation", "true", [&] { return r->cutterCompensation == 1; }},
      {"splitPath", "true", [&] { return r->splitPath == 1 && e.pockSplitPath == 1; }},
      {"invertSequence", "true", [&] { return e.paramInvertSequence == 1; }},
      {"pocketContour", "true", [&] { return e.paramPocketContour == 1; }},
      {"reduceContours", "false", [&] { return e.paramReduceContours == 0; }},
      {"stepStrategy", "pocket", [&] { return e.paramStepStrategyPocket == 1; }},
      {"overlap", "0.3", [&] { return e.paramOverlap == 0.3; }},
      {"reducedFeedrate", "-50", [&] { return r->reducedFeedrate == 50; }},
      {"plungeAtLastPosition", "false", [&] { return r->plungeAtLastPosition == 0; }},
      {"openInsideOut", "true", [&] { return e.paramOpenInsideOut == 1; }},
      {"noPlunge", "true", [&] { return e.paramNoPlunge == 1; }},
      {"rampAddClearance", "-0.2", [&] { return e.paramRampAddClearance == 0.2; }},
      {"spiral", "true", [&] { return e.paramSpiral == 1; }},
      {"allowSingleCut", "true", [&] { return r->allowSingleCut == 1; }},
      {"singleCutOverlapFactor", "-0.8", [&] { return r->singleCutOverlapFactor == 0.8; }},
      {"spiralTolerance", "-0.02", [&] { return e.paramSpiralTolerance == 0.02; }},
      {"surfaceOffset", "0.1", [&] { return r->surfaceOffset == 0.1; }},
      {"forceInside", "true", [&] { return e.paramForceInside == 1; }},
      {"stockOffset", "0.6", [&] { return e.paramStockOffset == 0.6; }},
      {"optimizeSingleCut", "false", [&] { return e.paramOptimizeSingleCut == 0; }},
      {"suppressReduction", "yes", [&] { return e.paramSuppressReduction == 1; }},
      {"triggerInfeed", "yes", [&] { return e.paramTriggerInfeed == 1; }},
  };
  for (const KeyCase& k : cases) set(k.key, k.value);
  EXPECT_EQ(ccpReadParameters(cycle()), 1);
  for (const KeyCase& k : cases) EXPECT_TRUE(k.check()) << "first read: " << k.key;
  // Keys read together with others: "infeedLength" and "infeedFactor", the rest file evaluation.
  EXPECT_DOUBLE_EQ(r->infeedLength, 0.5 * 8);

  // The second read: only the required keys. Every other value stays, except those every read
  // sets first (the fillet radius, the contour reduction) and the start point, given before and
  // not now.
  clearKeys();
  set("toolDiameter", "8");
  EXPECT_EQ(ccpReadParameters(cycle()), 1);
  for (const KeyCase& k : cases) {
    if (std::strcmp(k.key, "startExplicit") == 0 || std::strcmp(k.key, "filletRadius") == 0 ||
        std::strcmp(k.key, "reduceContours") == 0) {
      continue;
    }
    EXPECT_TRUE(k.check()) << "second read: " << k.key;
  }
  EXPECT_EQ(r->filletRadius, 0);
  EXPECT_EQ(pockEngine().paramReduceContours, 1);
  EXPECT_EQ(r->startExplicit, 0);
  EXPECT_EQ(c.startGiven, 0);
}

TEST_F(ParamsTest, WordsCompareWithCase) {
  CcpRecord* r = rec();
  const struct {
    const char* key;
    const char* value;
    std::int32_t CcpRecord::*field;
    std::int32_t expected;
    int warnings;
  } cases[] = {
      {"orientation", "counterClockwise", &CcpRecord::orientation, 1, 0},
      {"orientation", "Clockwise", &CcpRecord::orientation, 1, 0},
      {"toolType", "endMill", &CcpRecord::toolType, 2, 0},
      {"toolType", "ballMill", &CcpRecord::toolType, 1, 0},
      {"stock", "Multi", &CcpRecord::stockMode, 0, 0},
      {"stock", "stockOnly", &CcpRecord::stockMode, 3, 0},
      {"stock", "force", &CcpRecord::stockMode, 2, 0},
      {"oriAutomatic", "Full", &CcpRecord::oriAutomatic, 0, 0},
      {"oriAutomatic", "full", &CcpRecord::oriAutomatic, 2, 0},
      {"plungeType", "helical", &CcpRecord::plungeType, 1, 0},
      {"plungeType", "other", &CcpRecord::plungeType, 2, 0},
      {"leavingType", "none", &CcpRecord::leavingType, 0, 0},
      {"leavingType", "None", &CcpRecord::leavingType, 0, 1},
      {"leavingType", "perpendicular", &CcpRecord::leavingType, 1, 0},
      {"stockMovement", "contour", &CcpRecord::stockMovement, 0, 0},
      {"stockMovement", "Rapid", &CcpRecord::stockMovement, 0, 1},
      {"approachType", "contourParallel", &CcpRecord::approachType, 2, 0},
      {"approachType", "arc", &CcpRecord::approachType, 0, 1},
      {"strategy", "outsideInDirect", &CcpRecord::strategy, 2, 0},
      {"strategy", "OutsideIn", &CcpRecord::strategy, 0, 0},
      {"edgeMovement", "True", &CcpRecord::edgeMovement, 0, 0},
      {"completePocket", "TRUE", &CcpRecord::completePocket, 0, 0},
  };
  for (const auto& c : cases) {
    clearKeys();
    sent().clear();
    setAll({{"geoSource", "g.qdx"}, {"toolDiameter", "10"}, {c.key, c.value}});
    ccpReadParameters(cycle());
    EXPECT_EQ(r->*c.field, c.expected) << c.key << " " << c.value;
    const std::vector<std::string> w = texts(4);
    ASSERT_EQ(static_cast<int>(w.size()), c.warnings) << c.key << " " << c.value;
    if (c.warnings == 1) {
      EXPECT_EQ(w[0], std::string("4712,(") + c.value + ")");
    }
  }
}

TEST_F(ParamsTest, FrameNeedsFiveCommas) {
  CcpRecord* r = rec();
  setAll({{"geoSource", "g.qdx"}, {"toolDiameter", "10"}, {"frame", "1,2,3"}, {"frameOn", "true"}});
  ccpReadParameters(cycle());
  EXPECT_EQ(r->frameText, nullptr);
  EXPECT_EQ(r->frameOn, 0);
}

// "infeedFactor" 0.6 with a 10 tool gives 6; "infeedLength" 12 is capped at 9.9; reference keys
// later in the order win.
TEST_F(ParamsTest, DerivedValuesAndKeyOrder) {
  CcpRecord* r = rec();
  setAll({{"geoSource", "g.qdx"},
          {"toolDiameter", "10"},
          {"infeedFactor", "0.6"},
          {"evaluateRif", "true"},
          {"generateRif", "true"},
          {"referenceDiameter", "4"},
          {"useReferenceDiameter", "false"},
          {"stock", "true"},
          {"retractEachPlane", "false"}});
  EXPECT_EQ(ccpReadParameters(cycle()), 1);
  EXPECT_DOUBLE_EQ(r->infeedLength, 6.0);
  EXPECT_EQ(r->generateRif, 0);
  EXPECT_EQ(pockCfg().genRif, 0);
  EXPECT_EQ(r->useReference, 0);  // "useReferenceDiameter" false comes after "referenceDiameter"
  EXPECT_EQ(r->referenceRadius, 2.0);
  EXPECT_EQ(r->retractEachPlane, 1);  // a stock mode turns it back on
  EXPECT_EQ(pockEngine().pockRetractEachPlane, 1);

  clearKeys();
  setAll({{"toolDiameter", "10"},
          {"infeedLength", "12"},
          {"useReferenceToolDiameter", "false"},
          {"referenceToolDiameter", "6"}});
  EXPECT_EQ(ccpReadParameters(cycle()), 1);
  EXPECT_DOUBLE_EQ(r->infeedLength, 9.9);
  EXPECT_EQ(r->useReference, 1);
  EXPECT_EQ(r->referenceRadius, 3.0);
  // Tolerances follow "epsilon"; the engine took the settings text.
  EXPECT_EQ(pockEngine().contTol, r->epsilon);
  EXPECT_EQ(pockEngine().contAngleGuard, r->epsilon * 1e-8);
  EXPECT_EQ(pockEngine().pockToolRadius, 5.0);
  EXPECT_NEAR(pockEngine().pockStepFactor, 0.99 * 0.99, 1e-12);
}

TEST_F(ParamsTest, SettingsText) {
  CcpRecord* r = rec();
  char text[256];
  r->toolDiameter = 10;
  r->infeedLength = 5;
  r->startX = 1.23456;
  r->startY = -2;
  ASSERT_EQ(ccpSettingsText(r, 0, text, sizeof text), 1);
  EXPECT_STREQ(text, "TI0.0 R5.0000 ZM0.500000");
  ASSERT_EQ(ccpSettingsText(r, 1, text, sizeof text), 1);
  EXPECT_STREQ(text, "TI0.0 R5.0000 ZM0.500000XA1.2346 YA-2.0000");
  r->toolDiameter = 0;
  EXPECT_EQ(ccpSettingsText(r, 0, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

// A start point from the geometry ("P") is appended to the settings text after the read.
TEST_F(ParamsTest, StartPointFromTheGeometry) {
  writeFile("p.qdx", xchgHeader() + "oContour(id[s]){\n  oP( x[3] y[4] )\n}\n" +
                         lineContour(rectangle(0, 0, 40, 30)));
  setAll({{"geoSource", "p.qdx"}, {"toolDiameter", "10"}});
  EXPECT_EQ(ccpReadParameters(cycle()), 1);
  EXPECT_EQ(rec()->startExplicit, 1);
  EXPECT_EQ(pockEngine().pockStartSet, 1);
  EXPECT_EQ(pockEngine().pockStartPoint.x, 3);
  EXPECT_EQ(pockEngine().pockStartPoint.y, 4);
  EXPECT_EQ(layerCount("INPUT"), 1);
}

TEST_F(ParamsTest, RequiredKeys) {
  EXPECT_EQ(ccpReadParameters(cycle()), 0);
  EXPECT_EQ(texts(0), (std::vector<std::string>{"1,(toolDiameter)", "1,(geoSource)"}));
  for (const Sent& s : sent()) EXPECT_EQ(s.type, 102);
  // A geometry source known from before is enough; the reading goes on after a missing key.
  sent().clear();
  rec()->geoSource = memStrDup("g.qdx");
  set("depth", "3");
  EXPECT_EQ(ccpReadParameters(cycle()), 0);
  EXPECT_EQ(texts(0), (std::vector<std::string>{"1,(toolDiameter)"}));
  EXPECT_EQ(rec()->depth, 3);
}

// The plunge angles are read in degrees; the record holds radians after each read, converted
// once however often the values are read again.
TEST_F(ParamsTest, DegreesConvertedOncePerValue) {
  CcpRecord* r = rec();
  setAll({{"geoSource", "g.qdx"}, {"toolDiameter", "10"}});
  for (int read = 0; read < 3; ++read) {
    ASSERT_EQ(ccpReadParameters(cycle()), 1);
    EXPECT_DOUBLE_EQ(r->helixPlungeAngle, 20 * kDeg) << read;
    EXPECT_DOUBLE_EQ(r->helixAngleResolution, 10 * kDeg) << read;
    EXPECT_DOUBLE_EQ(pockCfg().macroTswin, 20 * kDeg) << read;
    EXPECT_DOUBLE_EQ(pockCfg().macroIwin, 10 * kDeg) << read;
  }
}

// ".CFG" entries: every row type, fields shared by two keys (the later entry wins), the word
// table, a key the table does not know, and the leading blanks of a trimmed text.
TEST_F(ParamsTest, LegacyKeys) {
  const std::vector<std::pair<const char*, const char*>> entries = {
      {"*RIF_NAME", "   rest.rif"},
      {"*QDX", "a.qdx"},
      {"*QDX_DATEI", "b.qdx"},
      {"*TMP_DIR", " /tmp/w"},
      {"*WKZNUMMER", "-7.9"},
      {"*FRRADIUS", "2.5"},
      {"*FRTYP", "3.7"},
      {"*NCKO_X", "0 1 0"},
      {"*NCKO_O", "1 2"},
      {"*RGB_G0", "0 0 1"},
      {"*G0_COLOR_RGB", "0 1 0"},
      {"*ORI_AUTO", "DXF"},
      {"*CAD_MODE", "MI"},
      {"*INCH_MODE", "1"},
      {"*INCH", "0"},
      {"*UNKNOWN", "5"},
      {"*JOBID", "99999"},
      {"*ORI_AUTO", "mi"},
      {"*MACRO_TSWIN", "30"},
  };
  ParamNode* list = nullptr;
  for (const auto& [k, v] : entries) list = cfgListAppend(list, k, v, kParKindSource);
  EXPECT_EQ(pockLegacyFromOptions(list), 1);
  const PocketCfgRecord& c = pockCfg();
  EXPECT_STREQ(c.rifName, "rest.rif");
  EXPECT_STREQ(c.qdx, "b.qdx");
  EXPECT_STREQ(c.tmpDir, " /tmp/w");
  EXPECT_EQ(c.wkzNummer, -7);
  EXPECT_EQ(c.frRadius, 2.5);
  EXPECT_EQ(c.frTyp, 3);
  EXPECT_EQ(c.nckoX[0], 0);
  EXPECT_EQ(c.nckoX[1], 1);
  EXPECT_EQ(c.nckoO[0], 1);
  EXPECT_EQ(c.nckoO[1], 2);
  EXPECT_EQ(c.nckoO[2], 0);  // a third number not given keeps its value
  EXPECT_EQ(c.g0Color[1], 1);
  EXPECT_EQ(c.g0Color[2], 0);
  EXPECT_EQ(c.oriAuto, 0);  // "mi" is no word of the table: the earlier "DXF" stays
  EXPECT_EQ(c.cadMode, 1);
  EXPECT_EQ(c.inch, 0);
  EXPECT_EQ(c.jobId, 32767);  // clamped to the field
  EXPECT_EQ(c.macroTswin, 30);
  char path[64];
  ASSERT_EQ(pockTmpPath(path, sizeof path, "tmp.pcf"), 1);
  EXPECT_STREQ(path, " /tmp/w/tmp.pcf");
  // A ".CFG" plunge angle is converted once by the read that follows, and not again after it.
  setAll({{"geoSource", "g.qdx"}, {"toolDiameter", "10"}});
  ccpReadParameters(cycle());
  EXPECT_DOUBLE_EQ(c.macroTswin, 30 * kDeg);
  EXPECT_EQ(pockLegacyFromOptions(nullptr), 1);
  ccpReadParameters(cycle());
  EXPECT_DOUBLE_EQ(c.macroTswin, 30 * kDeg);
  parListFree(list);
}

TEST_F(ParamsTest, KeyTable) {
  int rows = 0;
  while (LegacyKeyTable[rows].key != nullptr) ++rows;
  EXPECT_EQ(rows, kPockLegacyKeyCount);
  EXPECT_EQ(pockKeyIndex("*RIF_NAME"), 0);
  EXPECT_EQ(pockKeyIndex("*FRTYP"), 17);  // the first of the two rows
  EXPECT_EQ(LegacyKeyTable[64].target, LegacyKeyTable[17].target);
  EXPECT_EQ(pockKeyIndex("*SURFACE_OFFSET"), 106);
  EXPECT_EQ(pockKeyIndex("*rif_name"), -1);
  EXPECT_EQ(pockKeyIndex(nullptr), -1);
  PockKeyValue v{};
  EXPECT_EQ(pockKeyConvert(kPockConvWord, "MI", &v), 0);
  EXPECT_EQ(v.number, 1);
  EXPECT_EQ(pockKeyConvert(kPockConvWord, "dxf", &v), -1);
  EXPECT_EQ(pockKeyConvert(kPockConvTrimmed, "  a b ", &v), 0);
  EXPECT_STREQ(v.text, "a b ");
  // Texts are cut at 256 characters.
  const std::string longText(300, 'x');
  EXPECT_EQ(pockKeyConvert(kPockConvRaw, longText.c_str(), &v), 0);
  EXPECT_EQ(std::strlen(v.text), 256u);
}

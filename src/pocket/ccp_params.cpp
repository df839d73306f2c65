// ccp_params.cpp - the pocket cycle's parameter keys, the configuration record with its legacy key
// table, and the engine settings text.
#include "pocket/ccp_params.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/memory.h"
#include "framework/numtext.h"
#include "framework/output_records.h"
#include "framework/platform.h"
#include "pocket/engine_state.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_runtime.h"

namespace {

constexpr double kDegToRad = 0.017453292519943295;
// The installation folder "*PRG_DIR" names until a ".CFG" source sets it.
constexpr char kPockPrgDir[] = "/opt/qdmill/pocket";

constexpr PocketCfgRecord pockCfgLoadImage() {
  PocketCfgRecord c{};
  c.epsilon = 0.001;
  c.tief = -10.0;
  c.sichDist = 5.0;
  c.sichEbene = 20.0;
  c.frTyp = 2;
  c.frRadius = 4.0;
  c.frLaenge = 40.0;
  c.xVorschub = 2000.0;
  c.zVorschub = 500.0;
  c.horiZustel = 0.5;
  c.drehzahl = 2000.0;
  c.wkzNummer = 1;
  for (double* axis : {c.wzkoX, c.nckoX}) axis[0] = 1.0;
  for (double* axis : {c.wzkoY, c.nckoY}) axis[1] = 1.0;
  for (double* axis : {c.wzkoZ, c.nckoZ}) axis[2] = 1.0;
  c.rifDir[0] = '.';
  c.tmpDir[0] = '.';
  c.vertZustel = 10000.0;
  c.g0Color[0] = 1.0;
  c.g1Color[0] = 1.0;
  c.g1Color[1] = 1.0;
  c.oriAuto = 1;
  c.refRadius = 10.0;
  c.macroTrad = 1.0;
  c.macroTmode = 1;
  c.macroIwin = 10.0;
  c.macroTswin = 20.0;
  c.startPt[2] = 100.0;
  for (std::size_t i = 0; i < sizeof kPockPrgDir; ++i) c.prgDir[i] = kPockPrgDir[i];
  c.stepMax = 10.0;
  c.stepMin = 0.005;
  c.completePocket = 1;
  c.toolTip = 1;
  c.spiralTol = 0.01;
  return c;
}

struct ParamsState {
  PocketCfgRecord cfg = pockCfgLoadImage();
  // The plunge angles in degrees as last read: every read derives the radians from them, so a
  // read that does not give the key again does not convert its value a second time.
  double plungeDeg = 20.0;      // helixPlungeAngle
  double resolutionDeg = 10.0;  // helixAngleResolution
  double tswinDeg = 20.0;       // "*MACRO_TSWIN"
  double iwinDeg = 10.0;        // "*MACRO_IWIN"
};
ParamsState paramsState;

// The enumeration of conversion 101.
struct EnumWord {
  const char* word;
  int value;
};
constexpr EnumWord kPockEnumWords[] = {{"DXF", 0}, {"MI", 1}};

// One parameter of the record's list for the time of a read (the newest entry of the name).
class CcpParam {
 public:
  CcpParam(const CycleRecord* cycle, const char* key)
      : text_(parListGet(cycle->params, key, nullptr)) {}
  ~CcpParam() { memFree(text_); }
  CcpParam(const CcpParam&) = delete;
  CcpParam& operator=(const CcpParam&) = delete;
  bool given() const { return text_ != nullptr; }
  const char* text() const { return text_; }
  bool is(const char* word) const { return text_ != nullptr && std::strcmp(text_, word) == 0; }
  // A value that is not a finite number reads as 0.
  double number() const {
    const double v = pockAtof(text_);
    return std::isfinite(v) ? v : 0.0;
  }
  double abs() const { return std::fabs(number()); }
  std::int32_t flag() const { return is("true") ? 1 : 0; }
  std::int32_t falseFlag() const { return is("false") ? 0 : 1; }

 private:
  char* text_;
};

// A number truncated toward zero and clamped to the integer type T.
template <typename T>
T pockTruncate(double v) {
  if (!(v == v)) return 0;
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (v <= lo) return std::numeric_limits<T>::min();
  if (v >= hi) return std::numeric_limits<T>::max();
  return static_cast<T>(std::trunc(v));
}

// A decimal number at *cursor as "%lf" reads it in the "C" locale (leading white space skipped);
// false when none.
bool pockScanNumber(const char** cursor, double* out) {
  char* end = nullptr;
  const locale_t c = platCLocale();
  const double v = c != nullptr ? strtod_l(*cursor, &end, c) : std::strtod(*cursor, &end);
  if (end == *cursor) return false;
  *out = v;
  *cursor = end;
  return true;
}

void pockCopyCfgText(char* field, const char* text) {
  std::snprintf(field, kPockCfgTextSize, "%s", text != nullptr ? text : "");
}

// Sends the layer-4 warning "4712,(<value>)" of a word not listed.
void ccpWordWarning(CycleRecord* cycle, const char* value) {
  char text[kPockCfgTextSize + 16];
  std::snprintf(text, sizeof text, "4712,(%s)", value);
  cycSendTextRecord(cycle, 4, 101, "error", text);
}

// The engine's strategy flags follow the strategy read.
void ccpStrategyFlags(std::int32_t strategy) {
  PockEngine& e = pockEngine();
  e.pockStrategyAxisParallel = strategy == kCcpStrategyAxisParallel ? 1 : 0;
  e.pockStrategyStockOutin = strategy == kCcpStrategyStockOutin ? 1 : 0;
  e.pockStrategyOpenPocket = strategy == kCcpStrategyOpenPocket ? 1 : 0;
}

// Tolerances of a read: contTol from epsilon, the intersection tolerance fixed, the angle guard
// below epsilon.
void ccpReadTolerances(const CcpRecord* r) {
  PockEngine& e = pockEngine();
  e.contTol = r->epsilon;
  e.isectTol = kPockIsectTol;
  e.contAngleGuard = r->epsilon * 1e-8;
}

// Caps the engine's infeed and fillet radius at a quarter of the infeed length.
void ccpCapRadii(const CcpRecord* r) {
  PockEngine& e = pockEngine();
  const double cap = 0.25 * r->infeedLength;
  if (e.pockInfeedRadius > cap) e.pockInfeedRadius = cap;
  if (e.pockFilletRadius > cap) e.pockFilletRadius = cap;
}

// Step 3 of the read: the optional keys, in their order.
void ccpReadOptional(CycleRecord* cycle, CcpRecord* r) {
  PocketCfgRecord& cfg = paramsState.cfg;
  PockEngine& e = pockEngine();
  auto number = [cycle](const char* key, double* field) {
    const CcpParam p(cycle, key);
    if (p.given()) *field = p.number();
    return p.given();
  };
  auto absNumber = [cycle](const char* key, double* field) {
    const CcpParam p(cycle, key);
    if (p.given()) *field = p.abs();
    return p.given();
  };
  auto flag = [cycle](const char* key, std::int32_t* field) {
    const CcpParam p(cycle, key);
    if (p.given()) *field = p.flag();
    return p.given();
  };
  auto falseFlag = [cycle](const char* key, std::int32_t* field) {
    const CcpParam p(cycle, key);
    if (p.given()) *field = p.falseFlag();
    return p.given();
  };

  number("clearancePlane", &r->clearancePlane);
  number("clearanceDistance", &r->clearanceDistance);
  absNumber("planeFeedrate", &r->planeFeedrate);
  absNumber("zFeedrate", &r->zFeedrate);
  number("planeAllowance", &r->planeAllowance);
  number("infeedLength", &r->infeedLength);
  {
    const CcpParam p(cycle, "infeedFactor");
    if (p.given()) r->infeedLength = p.number() * r->toolDiameter;
  }
  absNumber("epsilon", &r->epsilon);
  absNumber("infeedDepth", &r->infeedDepth);
  if (number("surface", &r->surface)) cfg.oberfl = r->surface;
  if (absNumber("depth", &r->depth)) cfg.tief = r->depth;
  {
    const CcpParam p(cycle, "rifSource");
    if (p.given()) pockCopyCfgText(cfg.rifName, p.text());
    r->rifSource = cfg.rifName;
  }
  {
    std::int32_t v = 0;
    if (flag("generateRif", &v)) cfg.genRif = static_cast<std::int16_t>(r->generateRif = v);
    if (flag("evaluateRif", &v)) cfg.evalRif = static_cast<std::int16_t>(r->evaluateRif = v);
  }
  if (number("rifMinLength", &r->rifMinLength)) cfg.minLength = r->rifMinLength;
  {
    const CcpParam p(cycle, "oriAutomatic");
    if (p.given()) r->oriAutomatic = p.is("single") ? 1 : (p.is("full") ? 2 : 0);
  }
  {
    const CcpParam p(cycle, "orientation");
    if (p.given()) r->orientation = p.is("clockwise") ? -1 : 1;
  }
  {
    const CcpParam p(cycle, "clamps");
    if (p.given()) {
      char* copy = memStrDup(p.text());
      memFree(r->clampsSource);
      r->clampsSource = copy;
    }
  }
  {
    std::int32_t v = 0;
    if (flag("startExplicit", &v)) {
      r->startExplicit = v;
      cfg.startGiven = static_cast<std::int16_t>(v);
    }
  }
  if (number("startX", &r->startX)) cfg.zustellX = r->startX;
  if (number("startY", &r->startY)) cfg.zustellY = r->startY;
  {
    const CcpParam p(cycle, "edgeMovement");
    if (p.given()) {
      if (p.is("true")) r->edgeMovement = 1;
      if (p.is("force")) r->edgeMovement = 2;
      cfg.edgeMovement = static_cast<std::int16_t>(r->edgeMovement);
    }
  }
  flag("useReferenceToolDiameter", &r->useReference);
  {
    const CcpParam p(cycle, "referenceToolDiameter");
    if (p.given()) {
      r->useReference = 1;
      r->referenceRadius = p.number() / 2.0;
    }
  }
  {
    const CcpParam p(cycle, "stock");
    if (p.given()) {
      r->stockMode = p.is("true")        ? kCcpStockOn
                     : p.is("force")     ? kCcpStockForce
                     : p.is("stockOnly") ? kCcpStockOnly
                     : p.is("multi")     ? kCcpStockMulti
                                         : kCcpStockOff;
    }
  }
  {
    const CcpParam p(cycle, "frame");
    if (p.given()) {
      int commas = 0;
      for (const char* c = p.text(); *c != '\0'; ++c) commas += *c == ',' ? 1 : 0;
      if (commas == 5) {
        char* copy = memStrDup(p.text());
        if (copy != nullptr) {
          numReplaceChar(copy, copy, ',', '/');
          memFree(r->frameText);
          r->frameText = copy;
        }
      }
    }
  }
  if (r->frameText != nullptr) {
    if (CcpParam(cycle, "frameOn").flag() == 1) r->frameOn = 1;
    if (CcpParam(cycle, "frameOff").flag() == 1) r->frameOff = 1;
  }
  {
    const CcpParam p(cycle, "lengthOfUnit");
    if (p.given()) r->scaleLengths = p.is("inch") ? 1 : 0;
  }
  {
    const CcpParam p(cycle, "strategy");
    if (p.given()) {
      r->strategy = p.is("outsideIn")         ? kCcpStrategyOutsideIn
                    : p.is("outsideInDirect") ? kCcpStrategyOutsideInDirect
                    : p.is("axisParallel")    ? kCcpStrategyAxisParallel
                    : p.is("stockOutin")      ? kCcpStrategyStockOutin
                    : p.is("openPocket")      ? kCcpStrategyOpenPocket
                                              : kCcpStrategyDefault;
      cfg.strategy = static_cast<std::int16_t>(r->strategy);
      ccpStrategyFlags(r->strategy);
    }
  }
  {
    const CcpParam p(cycle, "plungeType");
    if (p.given()) {
      r->plungeType = p.is("helical") ? 1 : (p.is("ramp") ? 3 : 2);
      cfg.macroTmode = static_cast<std::int16_t>(r->plungeType);
    }
  }
  if (number("helixRadius", &r->helixRadius)) cfg.macroTrad = r->helixRadius;
  {
    double v = 0.0;
    if (number("helixPlungeAngle", &v)) paramsState.plungeDeg = paramsState.tswinDeg = v;
    if (number("helixAngleResolution", &v)) {
      paramsState.resolutionDeg = paramsState.iwinDeg = v;
    }
  }
  number("leavingLength", &r->leavingLength);
  if (CcpParam(cycle, "retractEachPlane").is("false")) {
    r->retractEachPlane = 0;
    e.pockRetractEachPlane = 0;
  }
  {
    const CcpParam p(cycle, "leavingType");
    if (p.given()) {
      r->leavingType = p.is("perpendicular")     ? 1
                       : p.is("quarterCircle")   ? 3
                       : p.is("contourParallel") ? 2
                                                 : 0;
      if (r->leavingType == 0 && !p.is("none")) ccpWordWarning(cycle, p.text());
    }
  }
  {
    const CcpParam p(cycle, "stockMovement");
    if (p.given()) {
      r->stockMovement = p.is("rapid") ? 1 : 0;
      if (!p.is("rapid") && !p.is("contour")) ccpWordWarning(cycle, p.text());
    }
  }
  {
    const CcpParam p(cycle, "approachType");
    if (p.given()) {
      r->approachType = p.is("perpendicular")     ? 1
                        : p.is("contourParallel") ? 2
                        : p.is("quarterCircle")   ? 3
                        : p.is("halfCircle")      ? 4
                                                  : 0;
      if (r->approachType == 0 && !p.is("none")) ccpWordWarning(cycle, p.text());
    }
  }
  absNumber("approachLength", &r->approachLength);
  number("wallAngle", &r->wallAngle);
  number("cornerRadius", &r->cornerRadius);
  {
    const CcpParam p(cycle, "toolType");
    if (p.given()) {
      r->toolType =
          p.is("ballMill") ? kCcpToolBall : (p.is("radiusMill") ? kCcpToolRadius : kCcpToolFlat);
    }
  }
  {
    double v = 0.0;
    if (number("rampAngle", &v)) paramsState.plungeDeg = paramsState.tswinDeg = v;
  }
  number("depthOffset", &r->depthOffset);
  {
    const CcpParam p(cycle, "referenceDiameter");
    if (p.given()) {
      r->useReference = 1;
      r->referenceRadius = p.number() / 2.0;
    }
  }
  flag("useReferenceDiameter", &r->useReference);
  {
    const CcpParam p(cycle, "approachFactor");
    if (p.given()) r->approachLength = p.number() * r->toolDiameter;
  }
  {
    const CcpParam p(cycle, "leavingFactor");
    if (p.given()) r->leavingLength = p.number() * r->toolDiameter;
  }
  if (number("infeedRadius", &r->infeedRadius)) {
    cfg.infeedRadius = e.pockInfeedRadius = r->infeedRadius;
  }
  if (number("filletRadius", &r->filletRadius)) {
    cfg.filletRadius = e.pockFilletRadius = r->filletRadius;
  }
  if (flag("completePocket", &r->completePocket)) {
    cfg.completePocket = static_cast<std::int16_t>(r->completePocket);
  }
  if (number("stockTolerance", &r->stockTolerance)) e.pockStockTolerance = r->stockTolerance;
  number("retractPlane", &r->retractPlane);
  if (flag("filletCorners", &r->filletCorners)) {
    cfg.filletCorners = static_cast<std::int16_t>(r->filletCorners);
  }
  if (flag("considerToolType", &r->considerToolType)) {
    cfg.considerToolType = static_cast<std::int16_t>(r->considerToolType);
  }
  flag("cutterCompensation", &r->cutterCompensation);
  if (flag("splitPath", &r->splitPath)) e.pockSplitPath = r->splitPath;
  flag("invertSequence", &e.paramInvertSequence);
  flag("pocketContour", &e.paramPocketContour);
  falseFlag("reduceContours", &e.paramReduceContours);
  {
    const CcpParam p(cycle, "stepStrategy");
    if (p.given()) e.paramStepStrategyPocket = p.is("pocket") ? 1 : 0;
  }
  number("overlap", &e.paramOverlap);
  absNumber("reducedFeedrate", &r->reducedFeedrate);
  falseFlag("plungeAtLastPosition", &r->plungeAtLastPosition);
  flag("openInsideOut", &e.paramOpenInsideOut);
  flag("noPlunge", &e.paramNoPlunge);
  absNumber("rampAddClearance", &e.paramRampAddClearance);
  flag("spiral", &e.paramSpiral);
  flag("allowSingleCut", &r->allowSingleCut);
  absNumber("singleCutOverlapFactor", &r->singleCutOverlapFactor);
  absNumber("spiralTolerance", &e.paramSpiralTolerance);
  number("surfaceOffset", &r->surfaceOffset);
  flag("forceInside", &e.paramForceInside);
  number("stockOffset", &e.paramStockOffset);
  falseFlag("optimizeSingleCut", &e.paramOptimizeSingleCut);
  falseFlag("suppressReduction", &e.paramSuppressReduction);
  falseFlag("triggerInfeed", &e.paramTriggerInfeed);
}

}  // namespace

#define POCK_ROW(key, type, conv, field) \
  { key, type, conv, offsetof(PocketCfgRecord, field) }
const LegacyKeyRow LegacyKeyTable[kPockLegacyKeyCount + 1] = {
    POCK_ROW("*RIF_NAME", kPockTypeText, kPockConvTrimmed, rifName),
    POCK_ROW("*GEN_RIF", kPockTypeI16, kPockConvNumber, genRif),
    POCK_ROW("*EVAL_RIF", kPockTypeI16, kPockConvNumber, evalRif),
    POCK_ROW("*MIN_ELEM", kPockTypeF64, kPockConvNumber, minElem),
    POCK_ROW("*EPSILON", kPockTypeF64, kPockConvNumber, epsilon),
    POCK_ROW("*MIN_LENGTH", kPockTypeF64, kPockConvNumber, minLength),
    POCK_ROW("*QDX", kPockTypeText, kPockConvRaw, qdx),
    POCK_ROW("*QDX_DATEI", kPockTypeText, kPockConvRaw, qdx),
    POCK_ROW("*APT", kPockTypeText, kPockConvTrimmed, apt),
    POCK_ROW("*REPORT", kPockTypeText, kPockConvTrimmed, report),
    POCK_ROW("*UMLAUF", kPockTypeI16, kPockConvNumber, umlauf),
    POCK_ROW("*REPORT_CLASS", kPockTypeI16, kPockConvNumber, reportClass),
    POCK_ROW("*AUFMASS", kPockTypeF64, kPockConvNumber, aufmass),
    POCK_ROW("*OBERFL", kPockTypeF64, kPockConvNumber, oberfl),
    POCK_ROW("*TIEF", kPockTypeF64, kPockConvNumber, tief),
    POCK_ROW("*SICHDIST", kPockTypeF64, kPockConvNumber, sichDist),
    POCK_ROW("*SICHEBENE", kPockTypeF64, kPockConvNumber, sichEbene),
    POCK_ROW("*FRTYP", kPockTypeI16, kPockConvNumber, frTyp),
    POCK_ROW("*FRRADIUS", kPockTypeF64, kPockConvNumber, frRadius),
    POCK_ROW("*FRLAENGE", kPockTypeF64, kPockConvNumber, frLaenge),
    POCK_ROW("*XVORSCHUB", kPockTypeF64, kPockConvNumber, xVorschub),
    POCK_ROW("*ZVORSCHUB", kPockTypeF64, kPockConvNumber, zVorschub),
    POCK_ROW("*HORIZUSTEL", kPockTypeF64, kPockConvNumber, horiZustel),
    POCK_ROW("*DREHZAHL", kPockTypeF64, kPockConvNumber, drehzahl),
    POCK_ROW("*WKZNUMMER", kPockTypeI32, kPockConvNumber, wkzNummer),
    POCK_ROW("*DREHRICHT", kPockTypeI16, kPockConvNumber, drehRicht),
    POCK_ROW("*KUEHLMITTEL", kPockTypeI16, kPockConvNumber, kuehlmittel),
    POCK_ROW("*WZKO_O", kPockTypeF64x3, kPockConvThree, wzkoO),
    POCK_ROW("*WZKO_X", kPockTypeF64x3, kPockConvThree, wzkoX),
    POCK_ROW("*WZKO_Y", kPockTypeF64x3, kPockConvThree, wzkoY),
    POCK_ROW("*WZKO_Z", kPockTypeF64x3, kPockConvThree, wzkoZ),
    POCK_ROW("*NCKO_O", kPockTypeF64x3, kPockConvThree, nckoO),
    POCK_ROW("*NCKO_X", kPockTypeF64x3, kPockConvThree, nckoX),
    POCK_ROW("*NCKO_Y", kPockTypeF64x3, kPockConvThree, nckoY),
    POCK_ROW("*NCKO_Z", kPockTypeF64x3, kPockConvThree, nckoZ),
    POCK_ROW("*X11", kPockTypeI16, kPockConvNumber, x11),
    POCK_ROW("*NC_BODY", kPockTypeI16, kPockConvNumber, ncBody),
    POCK_ROW("*RIF_DIR", kPockTypeText, kPockConvRaw, rifDir),
    POCK_ROW("*TMP_DIR", kPockTypeText, kPockConvRaw, tmpDir),
    POCK_ROW("*VERTZUSTEL", kPockTypeF64, kPockConvNumber, vertZustel),
    POCK_ROW("*AUFMASS_Z", kPockTypeF64, kPockConvNumber, aufmassZ),
    POCK_ROW("*ZUSTELL_X", kPockTypeF64, kPockConvNumber, zustellX),
    POCK_ROW("*ZUSTELL_Y", kPockTypeF64, kPockConvNumber, zustellY),
    POCK_ROW("*JOBID", kPockTypeI16, kPockConvNumber, jobId),
    POCK_ROW("*ZUSTELL_OK", kPockTypeI16, kPockConvNumber, startGiven),
    POCK_ROW("*START_GIVEN", kPockTypeI16, kPockConvNumber, startGiven),
    POCK_ROW("*EDGE_MOVEMENT", kPockTypeI16, kPockConvNumber, edgeMovement),
    POCK_ROW("*G0_COLOR_RGB", kPockTypeF64x3, kPockConvThree, g0Color),
    POCK_ROW("*G1_COLOR_RGB", kPockTypeF64x3, kPockConvThree, g1Color),
    POCK_ROW("*RGB_G0", kPockTypeF64x3, kPockConvThree, g0Color),
    POCK_ROW("*RGB_G1", kPockTypeF64x3, kPockConvThree, g1Color),
    POCK_ROW("*CAD_MODE", kPockTypeI16, kPockConvWord, cadMode),
    POCK_ROW("*ORI_AUTO", kPockTypeI16, kPockConvWord, oriAuto),
    POCK_ROW("*REF_RADIUS", kPockTypeF64, kPockConvNumber, refRadius),
    POCK_ROW("*MACRO_TRAD", kPockTypeF64, kPockConvNumber, macroTrad),
    POCK_ROW("*MACRO_TMODE", kPockTypeI16, kPockConvNumber, macroTmode),
    POCK_ROW("*STRATEGY", kPockTypeI16, kPockConvNumber, strategy),
    POCK_ROW("*MACRO_IWIN", kPockTypeF64, kPockConvNumber, macroIwin),
    POCK_ROW("*MACRO_TSWIN", kPockTypeF64, kPockConvNumber, macroTswin),
    POCK_ROW("*MACRO_END", kPockTypeI16, kPockConvNumber, macroEnd),
    POCK_ROW("*PLANE_RETRACT", kPockTypeI16, kPockConvNumber, planeRetract),
    POCK_ROW("*MACRO_ERAD", kPockTypeF64, kPockConvNumber, macroErad),
    POCK_ROW("*STOCK", kPockTypeI16, kPockConvNumber, stock),
    POCK_ROW("*WALL_ANGLE", kPockTypeF64, kPockConvNumber, wallAngle),
    POCK_ROW("*FRTYP", kPockTypeI16, kPockConvNumber, frTyp),
    POCK_ROW("*FRBOGEN", kPockTypeF64, kPockConvNumber, frBogen),
    POCK_ROW("*TOTAL_TOOL_LENGTH", kPockTypeF64, kPockConvNumber, totalToolLength),
    POCK_ROW("*CUTTING_LENGTH", kPockTypeF64, kPockConvNumber, cuttingLength),
    POCK_ROW("*LENGTH1", kPockTypeF64, kPockConvNumber, length1),
    POCK_ROW("*LENGTH2", kPockTypeF64, kPockConvNumber, length2),
    POCK_ROW("*DIAMETER1", kPockTypeF64, kPockConvNumber, diameter1),
    POCK_ROW("*DIAMETER2", kPockTypeF64, kPockConvNumber, diameter2),
    POCK_ROW("*RVORSCHUB", kPockTypeF64, kPockConvNumber, rVorschub),
    POCK_ROW("*VVORSCHUB", kPockTypeF64, kPockConvNumber, vVorschub),
    POCK_ROW("*INCH", kPockTypeI16, kPockConvNumber, inch),
    POCK_ROW("*INCH_MODE", kPockTypeI16, kPockConvNumber, inch),
    POCK_ROW("*MACRO_START", kPockTypeI16, kPockConvNumber, macroStart),
    POCK_ROW("*MACRO_SRAD", kPockTypeF64, kPockConvNumber, macroSrad),
    POCK_ROW("*REF_JOBTYPE", kPockTypeI16, kPockConvNumber, refJobType),
    POCK_ROW("*SEITE", kPockTypeI16, kPockConvNumber, seite),
    POCK_ROW("*STARTPT", kPockTypeF64x3, kPockConvThree, startPt),
    POCK_ROW("*START", kPockTypeF64x3, kPockConvThree, startPt),
    POCK_ROW("*PRG_DIR", kPockTypeText, kPockConvRaw, prgDir),
    POCK_ROW("*LOC_DIR", kPockTypeText, kPockConvRaw, locDir),
    POCK_ROW("*STEP_MAX", kPockTypeF64, kPockConvNumber, stepMax),
    POCK_ROW("*STEP_MIN", kPockTypeF64, kPockConvNumber, stepMin),
    POCK_ROW("*STOCKONLY", kPockTypeI16, kPockConvNumber, stockOnly),
    POCK_ROW("*INFEED_RADIUS", kPockTypeF64, kPockConvNumber, infeedRadius),
    POCK_ROW("*FILLET_RADIUS", kPockTypeF64, kPockConvNumber, filletRadius),
    POCK_ROW("*COMPLETE_POCKET", kPockTypeI16, kPockConvNumber, completePocket),
    POCK_ROW("*FILLET_CORNERS", kPockTypeI16, kPockConvNumber, filletCorners),
    POCK_ROW("*CONSIDER_TOOLTYPE", kPockTypeI16, kPockConvNumber, considerToolType),
    POCK_ROW("*TAPER_ANGLE", kPockTypeF64, kPockConvNumber, taperAngle),
    POCK_ROW("*TAPER_HEIGHT", kPockTypeF64, kPockConvNumber, taperHeight),
    POCK_ROW("*TOOL_TIP", kPockTypeI16, kPockConvNumber, toolTip),
    POCK_ROW("*CONTOUR_PROJECTION", kPockTypeI16, kPockConvNumber, contourProjection),
    POCK_ROW("*STEP_FACTOR", kPockTypeF64, kPockConvNumber, stepFactor),
    POCK_ROW("*OPEN_POCKET", kPockTypeI16, kPockConvNumber, openPocket),
    POCK_ROW("*STEP_STRATEGY", kPockTypeI16, kPockConvNumber, stepStrategy),
    POCK_ROW("*OVERLAP", kPockTypeF64, kPockConvNumber, overlap),
    POCK_ROW("*PLUNGE_LAST", kPockTypeI16, kPockConvNumber, plungeLast),
    POCK_ROW("*OPEN_INOUT", kPockTypeI16, kPockConvNumber, openInOut),
    POCK_ROW("*MACRO_HWIN", kPockTypeF64, kPockConvNumber, macroHwin),
    POCK_ROW("*MACRO_TABST", kPockTypeF64, kPockConvNumber, macroTabst),
    POCK_ROW("*SPIRAL", kPockTypeI16, kPockConvNumber, spiral),
    POCK_ROW("*SPIRAL_TOL", kPockTypeF64, kPockConvNumber, spiralTol),
    POCK_ROW("*SURFACE_OFFSET", kPockTypeF64, kPockConvNumber, surfaceOffset),
    {nullptr, 0, 0, 0},
};
#undef POCK_ROW

PocketCfgRecord& pockCfg() { return paramsState.cfg; }

void pockCfgReset() { paramsState.cfg = pockCfgLoadImage(); }

void ccpParamsResetState() { paramsState = ParamsState{}; }

int pockKeyIndex(const char* key) {
  if (key == nullptr) return -1;
  for (int i = 0; LegacyKeyTable[i].key != nullptr; ++i) {
    if (std::strcmp(LegacyKeyTable[i].key, key) == 0) return i;
  }
  return -1;
}

int pockKeyConvert(int conversion, const char* text, PockKeyValue* out) {
  if (text == nullptr || out == nullptr) return -1;
  switch (conversion) {
    case kPockConvNumber: out->number = pockAtof(text); break;
    case kPockConvRaw: pockCopyCfgText(out->text, text); break;
    case kPockConvTrimmed:
      while (*text == ' ') ++text;
      pockCopyCfgText(out->text, text);
      break;
    case kPockConvThree: {
      const char* cursor = text;
      for (double& v : out->three) {
        if (!pockScanNumber(&cursor, &v)) break;
      }
      break;
    }
    case kPockConvWord: {
      for (const EnumWord& w : kPockEnumWords) {
        if (std::strcmp(w.word, text) == 0) {
          out->number = w.value;
          return 0;
        }
      }
      return -1;
    }
    default: break;
  }
  return 0;
}

int pockLegacyFromOptions(const ParamNode* entries) {
  // The plunge angles are stored as read (degrees) and turned into radians by the read that
  // follows; an entry that is not given again keeps the degrees last read.
  paramsState.cfg.macroTswin = paramsState.tswinDeg;
  paramsState.cfg.macroIwin = paramsState.iwinDeg;
  auto* base = reinterpret_cast<unsigned char*>(&paramsState.cfg);
  for (const ParamNode* n = entries; n != nullptr; n = n->next) {
    if (n->name == nullptr || n->name[0] == '\0') continue;
    const int row = pockKeyIndex(n->name);
    if (row < 0) continue;
    const LegacyKeyRow& k = LegacyKeyTable[row];
    char value[kPockCfgTextSize];
    pockCopyCfgText(value, n->value);
    PockKeyValue v{};
    if (k.type == kPockTypeF64x3) std::memcpy(v.three, base + k.target, sizeof v.three);
    if (pockKeyConvert(k.conversion, value, &v) < 0) continue;
    unsigned char* field = base + k.target;
    switch (k.type) {
      case kPockTypeI16: {
        const std::int16_t x = pockTruncate<std::int16_t>(v.number);
        std::memcpy(field, &x, sizeof x);
        break;
      }
      case kPockTypeI32: {
        const std::int32_t x = pockTruncate<std::int32_t>(v.number);
        std::memcpy(field, &x, sizeof x);
        break;
      }
      case kPockTypeF64: std::memcpy(field, &v.number, sizeof v.number); break;
      case kPockTypeText: std::memcpy(field, v.text, kPockCfgTextSize); break;
      case kPockTypeF64x3: std::memcpy(field, v.three, sizeof v.three); break;
      default: break;
    }
  }
  paramsState.tswinDeg = paramsState.cfg.macroTswin;
  paramsState.iwinDeg = paramsState.cfg.macroIwin;
  return 1;
}

int pockTmpPath(char* out, std::size_t size, const char* name) {
  if (out == nullptr || size == 0 || name == nullptr) return 0;
  const char* dir = paramsState.cfg.tmpDir;
  const int n = std::snprintf(out, size, "%s%s%s", dir, dir[0] != '\0' ? "/" : "", name);
  return n >= 0 && static_cast<std::size_t>(n) < size ? 1 : 0;
}

int ccpSettingsText(const CcpRecord* r, int withStart, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (r == nullptr || !(r->toolDiameter > 0.0)) return 0;
  char radius[kNumFixedTextSize];
  char factor[kNumFixedTextSize];
  numFormatFixedWidth(radius, sizeof radius, r->toolDiameter / 2.0, 4, 0);
  numFormatFixedWidth(factor, sizeof factor, r->infeedLength / r->toolDiameter, 6, 4);
  int n = std::snprintf(out, size, "TI0.0 R%s ZM%s", radius, factor);
  if (withStart == 1 && n >= 0 && static_cast<std::size_t>(n) < size) {
    char x[kNumFixedTextSize];
    char y[kNumFixedTextSize];
    numFormatFixedWidth(x, sizeof x, r->startX, 4, 0);
    numFormatFixedWidth(y, sizeof y, r->startY, 4, 0);
    std::snprintf(out + n, size - static_cast<std::size_t>(n), "XA%s YA%s", x, y);
  }
  return 1;
}

int ccpReadParameters(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  PocketCfgRecord& cfg = paramsState.cfg;
  PockEngine& e = pockEngine();
  int result = 1;

  r->startExplicit = 0;
  cfg.startGiven = 0;

  // The required keys.
  {
    const CcpParam geo(cycle, "geoSource");
    if (geo.given() && cycle->outputMode == kCycOutputPof) {
      char* copy = memStrDup(geo.text());
      memFree(r->geoSource);
      r->geoSource = copy;
    }
    const CcpParam diameter(cycle, "toolDiameter");
    if (diameter.given()) {
      r->toolDiameter = diameter.abs();
    } else {
      cycSendTextRecord(cycle, 0, 102, "error", "1,(toolDiameter)");
      result = 0;
    }
    if (!geo.given() && (r->geoSource == nullptr || r->geoSource[0] == '\0')) {
      cycSendTextRecord(cycle, 0, 102, "error", "1,(geoSource)");
      result = 0;
    }
  }

  r->infeedLength = 0.5 * r->toolDiameter;
  r->filletRadius = 0.0;
  e.pockFilletRadius = 0.0;
  e.paramReduceContours = 1;

  ccpReadOptional(cycle, r);

  // Derived values.
  if (r->evaluateRif != 0) {
    r->generateRif = 0;
    cfg.genRif = 0;
  }
  if (r->infeedLength > 0.99 * r->toolDiameter) r->infeedLength = 0.99 * r->toolDiameter;
  char settings[256];
  if (ccpSettingsText(r, r->startExplicit, settings, sizeof settings) == 1) {
    ccpCapRadii(r);
    pockApplySettings(settings);
  }
  ccpReadTolerances(r);
  cfg.epsilon = r->epsilon;
  if (r->toolDiameter < 1.4) r->scaleLengths = 1;
  r->helixPlungeAngle = paramsState.plungeDeg * kDegToRad;
  r->helixAngleResolution = paramsState.resolutionDeg * kDegToRad;
  cfg.macroTswin = paramsState.tswinDeg * kDegToRad;
  cfg.macroIwin = paramsState.iwinDeg * kDegToRad;
  if (r->stockMode != kCcpStockOff) {
    r->retractEachPlane = 1;
    e.pockRetractEachPlane = 1;
  }
  if (result == 1) result = pockReadGeometry(r, 0);
  e.pockStockMovement = r->stockMovement;
  if (cfg.startGiven == 0 && r->startExplicit != 0 &&
      ccpSettingsText(r, 1, settings, sizeof settings) == 1) {
    // The geometry gave the start point.
    pockApplySettings(settings);
    e.contTol = r->epsilon;
    e.isectTol = kPockIsectTol;
  }
  return result;
}

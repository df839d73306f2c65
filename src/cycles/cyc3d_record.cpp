// cyc3d_record.cpp - the common 3D cycle record "qdCyc3d" with its phases, and the routines every
// 3D cycle run uses: reading the 3D block, frames and geometry dumps at the start of a compute
// phase, the copy of the block into the global parameter block, the temporary files and the
// ".CFG" tool reference.
#include "cycles/cyc3d_record.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "cycles/cycle_stubs.h"
#include "cycles/job_check.h"
#include "framework/cfg_reader.h"
#include "framework/global_params.h"
#include "framework/kernel.h"
#include "framework/messages.h"
#include "framework/numtext.h"
#include "framework/output.h"
#include "framework/output_records.h"
#include "framework/param_file.h"
#include "framework/param_keys.h"
#include "framework/pof_writer.h"
#include "framework/xchg_writers.h"
#include "geometry/csys.h"
#include "geometry/cycle_state.h"
#include "model/mesh_load.h"
#include "output/geo_source.h"
#include "output/out3d_state.h"
#include "output/pof_reader.h"
#include "pocket/pock_runtime.h"

namespace {

// Message of a model file that loads neither as triangles nor as four-corner facets (and of a
// file name too long for its key).
constexpr int kCyc3dMsgFileRead = 332;
constexpr int kCyc3dMsgLevel = 9;
// The layers that every 3D cycle registers, after those its output options ask for.
constexpr std::uint16_t kCyc3dAlwaysListed[] = {12, 35, 36, 41, 42};
// The file names of the nested pocket runs and the stock outline in the temporary folder.
constexpr const char* kCyc3dPocketFiles[] = {"tmp.pcf", "tmp.pof", "tmp.qdx", "geo.qdx"};

// Constant-initialised: the library's load-time installer sets the run reset before main.
struct Cyc3dState {
  Cyc3dRunResetFn runReset = nullptr;
  char toolReference[kCfgValueMax + 1] = "";  // the last "*TOOL_REFERENCE" read
  double toolReferenceOffset = 0.0;
};
constinit Cyc3dState cyc3dState;

constexpr Cycle3dRecord cyc3dLoadImage() {
  Cycle3dRecord r{};
  r.base.parent = &cycKernel;
  r.base.code = 0;
  r.base.version[0] = 5;
  r.base.version[1] = 0;
  r.base.version[2] = 2001;
  r.base.version[3] = 3;
  r.base.version[4] = 28;
  r.base.title = "Brevonix 3D Common Cycle";
  r.base.id = "qdCyc3d";
  CycleSlots& s = r.base.slots;
  s.phaseArguments = stubReturnZero;
  s.phaseInit = cyc3dInit;
  s.phaseParameters = cyc3dParametersText;
  s.phaseAlgorithm = cyc3dAlgorithmText;
  s.phaseLayers = cyc3dLayersText;
  s.phaseOptionD = cycPhaseNoop;
  s.phaseReadParams = cyc3dReadParams;
  s.phaseReadCfgParams = cycPhaseNoop;
  s.phasePrepare = cycPhaseNoop;
  s.phaseCompute = cyc3dRun;
  s.phaseFinish = cycPhaseNoop;
  s.phaseEnd = cyc3dCycleEnd;
  return r;
}

constinit Cycle3dRecord cyc3dRecord = cyc3dLoadImage();

// Replaces an owned text of the record by a copy of text (null clears it).
void cyc3dSetText(char** field, const char* text) {
  char* copy = text != nullptr ? memStrDup(text) : nullptr;
  memFree(*field);
  *field = copy;
}

void cyc3dReadVector(const CycleRecord* cycle, Cyc3dKey key, Point3D* out) {
  const Cyc3dParam p(cycle, key);
  if (p.given()) p.vector(out);
}

// The layer list of the "layers" record and the layers registered, in the order of the list.
struct Cyc3dLayers {
  std::uint16_t listed[16];
  int count = 0;
  void add(std::uint16_t layer) { listed[count++] = layer; }
};

int cyc3dRegister(CycleRecord* cycle, std::uint16_t layer) {
  return cycRegisterLayer(cycle, layer, pofTextWriterFor(layer), pofXchgWriterFor(layer), 1);
}

// Sends the error record "<code>,<name>" of the tool reference.
void cyc3dToolReferenceError(CycleRecord* cycle, int code, const char* name) {
  char text[kCfgValueMax + 16];
  std::snprintf(text, sizeof text, "%d,%s", code, name);
  cycSendError(cycle, text);
}

void cyc3dKeyPoint(double (&field)[3], const Point3D& p) {
  field[0] = p.x;
  field[1] = p.y;
  field[2] = p.z;
}

// An integer of the record into a short key: its low 16 bits.
std::int16_t cyc3dShort(std::int32_t v) { return static_cast<std::int16_t>(v); }

void cyc3dRemoveFile(const char* name) {
  if (name != nullptr && name[0] != '\0' && name[0] != ' ') std::remove(name);
}

}  // namespace

CycleRecord* cyc3dCycleRecord() { return &cyc3dRecord.base; }

void cyc3dFreeTexts(Cycle3dRecord* r) {
  if (r == nullptr) return;
  for (char** field : {&r->geoSource, &r->polySource, &r->extraPolySource, &r->toolName, &r->frame,
                       &r->tempDirectory}) {
    memFree(*field);
    *field = nullptr;
  }
}

void cyc3dRecordReset() { cyc3dRestoreRecord(&cyc3dRecord, cyc3dLoadImage()); }

void cyc3dSetRunReset(Cyc3dRunResetFn reset) { cyc3dState.runReset = reset; }

void cyc3dResetState() {
  cyc3dState.toolReference[0] = '\0';
  cyc3dState.toolReferenceOffset = 0.0;
  jobReportReset();
}

double cyc3dTextNumber(const char* text) {
  const double v = pockAtof(text);
  return std::isfinite(v) ? v : 0.0;
}

// ---- strict values and the report of a job's reading --------------------------------------------

namespace {
// "<key> := <value>: <what>", the value cut to a readable length.
constexpr std::size_t kCyc3dValueShown = 60;
std::string cyc3dValueText(const char* key, const char* value, const char* what) {
  std::string v = value != nullptr ? value : "";
  if (v.size() > kCyc3dValueShown) v = v.substr(0, kCyc3dValueShown) + "...";
  return std::string(key) + " := " + v + ": " + what;
}

}  // namespace

double Cyc3dParam::number() const {
  double v = 0.0;
  if (text_ == nullptr) return 0.0;
  if (jobWholeNumber(text_, &v)) return v;
  try {
    jobFault(kMsgJobFault, cyc3dValueText(key_, text_, "not a number").c_str());
  } catch (...) {
  }
  return 0.0;
}

bool Cyc3dParam::isTrue() const {
  if (is("true")) return true;
  if (text_ == nullptr || is("false")) return false;
  try {
    jobFault(kMsgJobFault, cyc3dValueText(key_, text_, "not true or false").c_str());
  } catch (...) {
  }
  return false;
}

bool Cyc3dParam::vector(Point3D* out) const {
  if (text_ == nullptr || out == nullptr) return false;
  try {
    const std::string t = text_;
    const std::size_t c1 = t.find(',');
    const std::size_t c2 = c1 == std::string::npos ? c1 : t.find(',', c1 + 1);
    Point3D p{};
    if (c2 != std::string::npos && t.find(',', c2 + 1) == std::string::npos &&
        jobWholeNumber(t.substr(0, c1).c_str(), &p.x) &&
        jobWholeNumber(t.substr(c1 + 1, c2 - c1 - 1).c_str(), &p.y) &&
        jobWholeNumber(t.substr(c2 + 1).c_str(), &p.z)) {
      *out = p;
      return true;
    }
    jobFault(kMsgJobFault,
             cyc3dValueText(key_, text_, "not three numbers separated by commas").c_str());
  } catch (...) {
  }
  return false;
}

void Cyc3dParam::unknownWord(const char* const* known, std::size_t count, const char* otherWord,
                             std::int32_t other) const {
  try {
    std::string what = "not one of ";
    ParNearestKey nearest(text_);
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) what += ", ";
      what += known[i];
      nearest.offer(known[i]);
    }
    what += "; read as ";
    what += otherWord != nullptr ? otherWord : std::to_string(other);
    if (!nearest.best().empty()) what += "; did you mean " + nearest.best() + "?";
    jobWarning(cyc3dValueText(key_, text_, what.c_str()).c_str());
  } catch (...) {
  }
}

// ---- init -------------------------------------------------------------------------------------

int cyc3dInit(CycleRecord* cycle) {
  if (cycle == nullptr) return 1;
  if (cyc3dState.runReset != nullptr) cyc3dState.runReset(cycle);
  Cycle3dRecord* r = cyc3dRecordOf(cycle);

  const bool nc = Cyc3dParam(cycle, "NCOutp").flag() == 1;
  const bool drill = Cyc3dParam(cycle, "drillPointsOutp").flag() == 1;
  const bool original = Cyc3dParam(cycle, "originalOutp").flag() == 1;
  Cyc3dLayers list;
  if (nc) list.add(3);
  if (drill) list.add(30);
  if (nc) list.add(32);
  if (original) list.add(33);
  for (std::uint16_t layer : kCyc3dAlwaysListed) list.add(layer);

  {
    const Cyc3dParam precision(cycle, "precision");
    if (precision.given()) numSetPrecision(pockAtoi(precision.text()));
  }
  {
    const Cyc3dParam geo(cycle, "geoSource");
    if (geo.given()) {
      cycle->params = parListSet(cycle->params, "sourceGeometry", geo.text(), kParKindProgram);
    }
    if (cycle->outputMode == kCycOutputExchange) {
      // The exchange writer of the run takes "geoSource" for its own output file; the user's
      // geometry stays reachable as "sourceGeometry", which the reader takes in this mode.
      if (geo.given()) cyc3dSetText(&r->geoSource, geo.text());
      const Cyc3dParam out(cycle, "geoOut");
      if (out.given()) {
        cycle->params = parListSet(cycle->params, "geoSource", out.text(), kParKindProgram);
      }
    }
  }

  char* messageFile = nullptr;
  if (char* language = parListGet(cycle->params, "SystemLanguage", nullptr)) {
    messageFile = parListGet(cycle->params, language, nullptr);
    memFree(language);
  }
  if (messageFile == nullptr) messageFile = parListGet(cycle->params, "MessageFile", nullptr);
  if (messageFile == nullptr && r->defaultMessageFile != nullptr) {
    messageFile = memStrDup(r->defaultMessageFile);
  }

  for (std::uint16_t layer : {0, 1, 2}) cyc3dRegister(cycle, layer);
  if (nc) cyc3dRegister(cycle, 3);
  for (std::uint16_t layer = 4; layer <= 6; ++layer) {
    if (cycle->mValue >= layer - 3) cyc3dRegister(cycle, layer);
  }
  for (std::uint16_t layer : {10, 11, 12}) cyc3dRegister(cycle, layer);
  if (drill) cyc3dRegister(cycle, 30);
  cyc3dRegister(cycle, 31);
  if (nc) cyc3dRegister(cycle, 32);
  if (original) cyc3dRegister(cycle, 33);
  for (std::uint16_t layer : {35, 36, 41, 42}) cyc3dRegister(cycle, layer);

  // A ".CFG" job frames its tool description by the "BTC" and "ATC" blocks; a ".pcf" job after
  // it does not.
  cycle->toolChangeBlocks = cycle->sourceIsCfg == 1 ? 1 : 0;

  cycSendTextRecord(cycle, 0, 103, "cycle", cycle->title);
  if (messageFile != nullptr) {
    cycSendTextRecord(cycle, 0, 109, "msgFile", messageFile);
    memFree(messageFile);
  }
  char layers[96] = "";
  std::size_t used = 0;
  for (int i = 0; i < list.count; ++i) {
    used += static_cast<std::size_t>(std::snprintf(layers + used, sizeof layers - used, "%s%u",
                                                   i > 0 ? "," : "", unsigned{list.listed[i]}));
  }
  cycSendTextRecord(cycle, 0, 110, "layers", layers);

  cycSendComments(cycle);
  cycSendFrameToolAxis(cycle, 0.0, 0.0, 1.0);
  {
    const Cyc3dParam job(cycle, "ppJobID");
    const int number = job.given() ? pockAtoi(job.text()) : 0;
    if (number > 0) cycBeginPart(cycle, number, nullptr, nullptr);
  }
  return 1;
}

// ---- reading the parameters -----------------------------------------------------------------

int cyc3dReadParams(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  using W = Cyc3dParam::Word;
  int result = 1;
  jobCheckSourceKeys(cycle);
  // The keys no phase reads, and the faults of the init's options, before what the reading finds.
  if (jobReportSend(cycle) > 0) result = 0;
  {
    const Cyc3dParam poly(cycle, "polySource");
    if (poly.given()) {
      cyc3dSetText(&r->polySource, poly.text());
    } else if (r->polySource == nullptr) {
      cycSendTextRecord(cycle, 0, 102, "error", "1,(polySource)");
      result = 0;
    }
    const Cyc3dParam diameter(cycle, "toolDiameter");
    if (diameter.given()) {
      r->toolDiameter = diameter.number();
    } else {
      cycSendTextRecord(cycle, 0, 102, "error", "1,(toolDiameter)");
      result = 0;
    }
  }
  {
    // In exchange-file output "geoSource" names the run's own output; the user's geometry is
    // "sourceGeometry" then.
    const bool exchange = cycle->outputMode == kCycOutputExchange;
    const Cyc3dParam geo(cycle, exchange ? Cyc3dKey("sourceGeometry") : Cyc3dKey("geoSource"));
    if (geo.given()) cyc3dSetText(&r->geoSource, geo.text());
  }
  if (const Cyc3dParam p(cycle, "toolName"); p.given()) cyc3dSetText(&r->toolName, p.text());
  if (const Cyc3dParam p(cycle, "toolType"); p.given()) {
    r->toolType =
        p.decode({W{"ballMill", 1}, W{"endMill", 2}}, 3, {"radiusMill", "lollipop", "drilTool"});
  }
  if (const Cyc3dParam p(cycle, "cornerRadius"); p.given()) r->cornerRadius = p.abs();
  if (const Cyc3dParam p(cycle, "allowance"); p.given()) r->allowance = p.number();
  if (const Cyc3dParam p(cycle, "infeedDepth"); p.given()) r->infeedDepth = p.abs();
  if (const Cyc3dParam p(cycle, "infeedLength"); p.given()) r->infeedLength = p.abs();
  if (const Cyc3dParam p(cycle, "clearanceDistance"); p.given()) r->clearanceDistance = p.abs();
  if (const Cyc3dParam p(cycle, "clearancePlane"); p.given()) r->clearancePlane = p.number();
  if (const Cyc3dParam p(cycle, "jumpStepDistance"); p.given()) r->jumpStepDistance = p.number();
  if (const Cyc3dParam p(cycle, "rapidMode"); p.given())
    r->rapidMode = p.decode({W{"plane", 0}}, 1, {"direct"});
  if (const Cyc3dParam p(cycle, "surface"); p.given()) r->surface = p.number();
  if (const Cyc3dParam p(cycle, "depth"); p.given()) r->depth = p.number();
  if (const Cyc3dParam p(cycle, "boundaryMode"); p.given()) {
    r->boundaryMode = p.decode({W{"axis", 0}, W{"to", 2}, W{"past", 3}}, 1, {"on"});
  }
  if (const Cyc3dParam p(cycle, "approachType"); p.given()) {
    r->approachType = p.decode({W{"axis", 1}, W{"circle", 2}, W{"ramp", 8}}, 3, {"other"});
  }
  if (const Cyc3dParam p(cycle, "leavingType"); p.given()) {
    r->leavingType = p.decode({W{"axis", 1}, W{"circle", 2}}, 3, {"other"});
  }
  if (const Cyc3dParam p(cycle, "returnMacro"); p.given()) r->returnMacro = p.boolean(2, 1);
  if (const Cyc3dParam p(cycle, "approachLength"); p.given()) r->approachLength = p.number();
  if (const Cyc3dParam p(cycle, "leavingLength"); p.given()) r->leavingLength = p.number();
  if (const Cyc3dParam p(cycle, "maxOutputLine"); p.given()) r->maxOutputLine = p.number();
  if (const Cyc3dParam p(cycle, "toolReference"); p.given()) {
    r->toolReference = p.decode({W{"tip", 1}}, 2, {"centre", "center"});
  }
  if (const Cyc3dParam p(cycle, "tempDirectory"); p.given()) {
    cyc3dSetText(&r->tempDirectory, p.text());
  }
  if (const Cyc3dParam p(cycle, "planeFeedrate"); p.given()) r->planeFeedrate = p.number();
  if (const Cyc3dParam p(cycle, "zFeedrate"); p.given()) r->zFeedrate = p.number();
  if (const Cyc3dParam p(cycle, "spindleSpeed"); p.given()) r->spindleSpeed = p.number();
  if (const Cyc3dParam p(cycle, "spindleRotation"); p.given()) {
    r->spindleRotation = p.decode({W{"counterClockwise", 2}}, 1, {"clockwise"});
  }
  if (const Cyc3dParam p(cycle, "coolant"); p.given()) r->coolant = p.boolean(1, 2);
  cyc3dReadVector(cycle, "frameCs_o", &r->frameCs_o);
  cyc3dReadVector(cycle, "frameCs_x", &r->frameCs_x);
  cyc3dReadVector(cycle, "frameCs_y", &r->frameCs_y);
  cyc3dReadVector(cycle, "frameCs_z", &r->frameCs_z);
  cyc3dReadVector(cycle, "toolCs_o", &r->toolCs_o);
  cyc3dReadVector(cycle, "toolCs_x", &r->toolCs_x);
  cyc3dReadVector(cycle, "toolCs_y", &r->toolCs_y);
  cyc3dReadVector(cycle, "toolCs_z", &r->toolCs_z);
  if (const Cyc3dParam p(cycle, "ScaleXYZ"); p.given()) {
    Point3D scale{1.0, 1.0, 1.0};
    if (p.vector(&scale)) cyc3dSetMeshScale(&scale);
  }
  if (const Cyc3dParam p(cycle, "frame"); p.given()) {
    const std::size_t n = std::strlen(p.text());
    if (char* text = static_cast<char*>(memAllocZero(n + 1))) {
      if (numReplaceChar(text, p.text(), ',', '/') == 5) {
        memFree(r->frame);
        r->frame = text;
      } else {
        memFree(text);
      }
    }
  }
  if (const Cyc3dParam p(cycle, "frameOn"); p.given() && p.isTrue() && r->frame != nullptr) {
    r->frameOn = 1;
  }
  if (const Cyc3dParam p(cycle, "frameOff"); p.given() && p.isTrue() && r->frame != nullptr) {
    r->frameOff = 1;
  }
  if (const Cyc3dParam p(cycle, "lengthOfUnit"); p.given()) {
    r->lengthOfUnit = p.decode({W{"inch", 1}}, 0, {"millimetre", "mm"});
  }
  if (const Cyc3dParam p(cycle, "machiningTolerance"); p.given()) {
    r->machiningTolerance = p.abs();
  }
  if (const Cyc3dParam p(cycle, "ncFormat"); p.given()) {
    r->ncFormat = p.decode({W{"dsplineFormat", 1}, W{"polyFormat", 2}}, 0, {"standardFormat"});
  }
  if (const Cyc3dParam p(cycle, "feedrateReductionAngle"); p.given()) {
    r->feedrateReductionAngle = p.abs();
  }
  if (const Cyc3dParam p(cycle, "circularMacroDirection"); p.given()) {
    r->circularMacroDirection = p.abs();
  }
  if (const Cyc3dParam p(cycle, "circularMacroSegmentAngle"); p.given()) {
    r->circularMacroSegmentAngle = p.abs();
  }
  if (const Cyc3dParam p(cycle, "reverseDirection"); p.given()) r->reverseDirection = p.flag();
  if (const Cyc3dParam p(cycle, "infeedDirection"); p.given()) r->infeedDirection = p.flag();
  if (const Cyc3dParam p(cycle, "removeTempFiles"); p.given()) {
    r->removeTempFiles = p.boolean(1, 0);
  }
  if (const Cyc3dParam p(cycle, "startPoint"); p.given()) {
    p.vector(&r->startPoint);
    r->startPointGiven = 1;
  }
  cyc3dReadVector(cycle, "polyCs_o", &r->polyCs_o);
  cyc3dReadVector(cycle, "polyCs_x", &r->polyCs_x);
  cyc3dReadVector(cycle, "polyCs_y", &r->polyCs_y);
  cyc3dReadVector(cycle, "polyCs_z", &r->polyCs_z);
  if (const Cyc3dParam p(cycle, "smoothStepover"); p.given()) r->smoothStepover = p.flag();
  if (const Cyc3dParam p(cycle, "slopeCondition"); p.given()) {
    r->slopeCondition = p.decode({W{"zlevel", 2}, W{"mixed", 1}, W{"true", 1}, W{"horizontal", 3}},
                                 0, {"none", "false"});
  }
  if (const Cyc3dParam p(cycle, "slopeAngle"); p.given()) r->slopeAngle = p.abs();
  if (const Cyc3dParam p(cycle, "smoothStepOver"); p.given()) r->smoothStepover = p.flag();
  bool retractGiven = false;
  if (const Cyc3dParam p(cycle, "retractPlane"); p.given()) {
    r->retractPlane = p.number();
    retractGiven = true;
  }
  if (const Cyc3dParam p(cycle, "tiltStrategy"); p.given()) {
    r->tiltStrategy = p.decode(
        {W{"tilt", 3}, W{"radial", 5}, W{"lead", 1}, W{"climb", 2}, W{"lag", 2}, W{"offset", 1}}, 0,
        {"none"});
  }
  if (const Cyc3dParam p(cycle, "tiltAngle"); p.given()) r->tiltAngle = p.number();
  if (const Cyc3dParam p(cycle, "maxTiltAngle"); p.given()) r->maxTiltAngle = p.number();
  if (const Cyc3dParam p(cycle, "tiltOffset"); p.given()) r->tiltOffset = p.number();
  if (const Cyc3dParam p(cycle, "fanDistance"); p.given()) r->fanDistance = p.number();
  if (const Cyc3dParam p(cycle, "checkToolHolder"); p.given()) r->checkToolHolder = p.flag();
  if (const Cyc3dParam p(cycle, "avoidCollision"); p.given()) r->avoidCollision = p.flag();
  if (const Cyc3dParam p(cycle, "approachAxialLength"); p.given()) {
    r->approachAxialLength = p.number();
  }
  if (const Cyc3dParam p(cycle, "leavingAxialLength"); p.given()) {
    r->leavingAxialLength = p.number();
  }
  if (const Cyc3dParam p(cycle, "maxOutputAngle"); p.given()) r->maxOutputAngle = p.number();
  if (const Cyc3dParam p(cycle, "smoothVectors"); p.given()) r->smoothVectors = p.flag();
  if (const Cyc3dParam p(cycle, "smoothInterval"); p.given()) r->smoothInterval = p.number();
  if (const Cyc3dParam p(cycle, "pivotSmooth"); p.given()) r->pivotSmooth = p.flag();
  if (const Cyc3dParam p(cycle, "pivotHeight"); p.given()) r->pivotHeight = p.number();
  if (const Cyc3dParam p(cycle, "autoIndex"); p.given()) r->autoIndex = p.flag();
  if (const Cyc3dParam p(cycle, "maxSegmentAngle"); p.given()) r->maxSegmentAngle = p.number();
  if (const Cyc3dParam p(cycle, "connectMacroRadius"); p.given()) {
    r->connectMacroRadius = p.number();
  }
  if (const Cyc3dParam p(cycle, "connectMacroHeight"); p.given()) {
    r->connectMacroHeight = p.number();
  }
  if (const Cyc3dParam p(cycle, "fixedInclination"); p.given()) r->fixedInclination = p.flag();
  if (const Cyc3dParam p(cycle, "angleB"); p.given()) r->angleB = p.number();
  if (const Cyc3dParam p(cycle, "angleC"); p.given()) r->angleC = p.number();
  if (const Cyc3dParam p(cycle, "extraPolySource"); p.given()) {
    cyc3dSetText(&r->extraPolySource, p.text());
  }
  if (const Cyc3dParam p(cycle, "reducedFeedrate"); p.given()) r->reducedFeedrate = p.number();

  cyc3dTempFileName(r->tempNames[kCyc3dTempConfig], kCyc3dTempNameSize, cyc3dTempDirectory(r),
                    "cfg");
  if (!retractGiven || r->retractPlane > r->clearancePlane) r->retractPlane = r->clearancePlane;
  const double offset = r->clearancePlane - r->retractPlane;
  planeOffset = offset > 0.0 ? offset : 0.0;
  jobCheckValues(
      {r->infeedDepth, r->depth, cyc3dTempDirectory(r), r->machiningTolerance, r->polySource},
      {"infeedDepth", "tempDirectory", "machiningTolerance", "polySource"});
  if (jobReportSend(cycle) > 0) result = 0;
  return result;
}

// ---- compute and end --------------------------------------------------------------------------

int cyc3dBeginRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  if (cyc3dSetMeshFrame(r->polyCs_o, r->polyCs_x, r->polyCs_y, r->polyCs_z) != 0) return 0;
  csysSetFrame(r->frameCs_o, r->frameCs_x, r->frameCs_y, r->frameCs_z);
  csysSetTool(r->toolCs_o, r->toolCs_x, r->toolCs_y, r->toolCs_z);
  if (csysPrepare() != 1) {
    msgSendText(kCyc3dMsgLevel, kCyc3dMsgSingularFrame,
                "* Error: coordinate system %s cannot be inverted", "frameCs/toolCs");
    return 0;
  }
  if (r->geoSource != nullptr) bndGeometryDumps(r);
  out3dSetNcMode(r->ncFormat);
  if (r->frame != nullptr) {
    cycSendNameValue(cycle, "frame", r->frame);
    if (r->frameOn == 1) cycSendNameValue(cycle, "tr", "frameOn");
  }
  return 1;
}

void cyc3dEndRun(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  if (r->frame == nullptr) return;
  if (r->frameOff == 1) cycSendNameValue(cycle, "tr", "frameOff");
  memFree(r->frame);
  r->frame = nullptr;
}

int cyc3dRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  out3dSetCycle(cycle);
  if (cyc3dBeginRun(cycle) != 1) return 0;
  MeshListNode* tris = cyc3dLoadTriMeshes(r->polySource, "POLY", 1);
  const bool trisLoaded = tris != nullptr;
  cyc3dFreeTriMeshes(tris);
  QuadMeshListNode* quads = cyc3dLoadQuadMeshes(r->polySource, "POLY", 1, 1);
  const bool quadsLoaded = quads != nullptr;
  cyc3dFreeQuadMeshes(quads);
  if (!trisLoaded || !quadsLoaded) {
    msgSendText(kCyc3dMsgLevel, kCyc3dMsgFileRead, "* Fehler beim lesen der Datei %s",
                r->polySource != nullptr ? r->polySource : "");
    cyc3dRemoveTempFiles(cycle);  // the dumps written above are the run's, failed or not
    return 0;
  }
  cyc3dEndRun(cycle);
  cyc3dRemoveTempFiles(cycle);
  return 1;
}

int cyc3dCycleEnd(CycleRecord* cycle) { return cycEndDefault(cycle); }

int cyc3dParametersText(CycleRecord* cycle) { return cycShowMsgSection(cycle, "parameters"); }
int cyc3dAlgorithmText(CycleRecord* cycle) { return cycShowMsgSection(cycle, "algorithm"); }
int cyc3dLayersText(CycleRecord* cycle) { return cycShowMsgSection(cycle, "layers"); }

// ---- temporary files ---------------------------------------------------------------------------

const char* cyc3dRunTempFolder(CycleRecord* cycle) {
  if (cycle != nullptr && cycle->sourceIsCfg == 1) return parGlobalBlock()->tmpDir;
  return cyc3dTempDirectory(cycle != nullptr ? cyc3dRecordOf(cycle) : nullptr);
}

void cyc3dRemoveTempFiles(CycleRecord* cycle) {
  if (cycle == nullptr) return;
  Cycle3dRecord* r = cyc3dRecordOf(cycle);
  if (r->removeTempFiles == 0) return;
  for (const char* name : r->tempNames) cyc3dRemoveFile(name);
  cyc3dRemoveFile(r->traceDumpName);
  cyc3dRemoveFile(r->sync2DumpName);
  cyc3dRemoveFile(r->spareDumpName);
  const char* folder = cyc3dRunTempFolder(cycle);
  for (const char* file : kCyc3dPocketFiles) {
    char path[kParPathMax + 1];
    if (cyc3dJoinPath(path, sizeof path, folder, file) == 1) std::remove(path);
  }
  if (pofReadDxfWritten() == 1) std::remove(pofReadDxfPath());
}

// ---- texts --------------------------------------------------------------------------------------

int cyc3dParseVector(const char* text, Point3D* out) {
  if (text == nullptr || out == nullptr) return -1;
  const char* first = std::strchr(text, ',');
  if (first == nullptr) return -1;
  out->x = cyc3dTextNumber(text);
  const char* second = std::strchr(first + 1, ',');
  if (second == nullptr) return -1;
  out->y = cyc3dTextNumber(first + 1);
  out->z = cyc3dTextNumber(second + 1);
  return 1;
}

char* cyc3dFindStarKey(const ParamNode* list, const char* key, std::int16_t* kind) {
  if (key == nullptr) return nullptr;
  const ParamNode* found = parListLast(list, key);
  if (found == nullptr || found->value == nullptr) return nullptr;
  char* copy = memStrDup(found->value);
  if (copy != nullptr && kind != nullptr) *kind = found->kind;
  return copy;
}

int cyc3dReadToolReference(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  char* name = cyc3dFindStarKey(cycle->cfgEntries, "*TOOL_REFERENCE", nullptr);
  if (name == nullptr || name[0] == '\0') {
    memFree(name);
    return 0;
  }
  std::snprintf(cyc3dState.toolReference, sizeof cyc3dState.toolReference, "%s", name);
  char key[sizeof cyc3dState.toolReference + 8];
  std::snprintf(key, sizeof key, "*TREF_%s", name);
  char* length = cyc3dFindStarKey(cycle->cfgEntries, key, nullptr);
  if (length == nullptr) {
    cyc3dToolReferenceError(cycle, 770, name);
    memFree(name);
    return 0;
  }
  cyc3dState.toolReferenceOffset = cyc3dTextNumber(length);
  memFree(length);
  cyc3dToolReferenceError(cycle, 771, name);
  memFree(name);
  out3dSetZOffset(cyc3dState.toolReferenceOffset);
  return 1;
}

const char* cyc3dToolReferenceName() { return cyc3dState.toolReference; }
double cyc3dToolReferenceOffset() { return cyc3dState.toolReferenceOffset; }

// ---- copy into the global parameter block -----------------------------------------------------

int cyc3dKeyText(char* field, const char* text) {
  if (field == nullptr) return 0;
  if (text == nullptr) text = "";
  const std::size_t n = std::strlen(text);
  if (n >= static_cast<std::size_t>(kParTextSize)) {
    msgSendText(kCyc3dMsgLevel, kCyc3dMsgFileRead, "* Fehler beim lesen der Datei %s", text);
    return 0;
  }
  std::memcpy(field, text, n + 1);
  return 1;
}

int cyc3dCopyBlockParams(CycleRecord* cycle, int frameStart) {
  if (cycle == nullptr) return 0;
  const Cycle3dRecord* r = cyc3dRecordOf(cycle);
  GlobalParams& g = *parGlobalBlock();
  bool ok = cyc3dKeyText(g.boundary, r->tempNames[kCyc3dTempBoundary]) == 1;
  ok = cyc3dKeyText(g.approx, r->polySource) == 1 && ok;
  if (r->extraPolySource != nullptr) ok = cyc3dKeyText(g.extra3df, r->extraPolySource) == 1 && ok;
  {
    const long number = r->toolName != nullptr ? std::strtol(r->toolName, nullptr, 10) : 0;
    g.wkznummer = static_cast<std::int32_t>(number > INT32_MAX   ? INT32_MAX
                                            : number < INT32_MIN ? INT32_MIN
                                                                 : number);
  }
  g.frtyp = cyc3dShort(r->toolType);
  g.frradius = r->toolDiameter * 0.5;
  g.frbogen = r->cornerRadius;
  g.aufmass = r->allowance;
  g.kuehlmittel = cyc3dShort(r->coolant);
  g.drehzahl = r->spindleSpeed;
  g.drehricht = cyc3dShort(r->spindleRotation);
  g.xvorschub = r->planeFeedrate;
  g.zvorschub = r->zFeedrate;
  g.rvorschub = r->reducedFeedrate;
  cyc3dKeyPoint(g.nckoO, r->frameCs_o);
  cyc3dKeyPoint(g.nckoX, r->frameCs_x);
  cyc3dKeyPoint(g.nckoY, r->frameCs_y);
  cyc3dKeyPoint(g.nckoZ, r->frameCs_z);
  cyc3dKeyPoint(g.wzkoO, r->toolCs_o);
  cyc3dKeyPoint(g.wzkoX, r->toolCs_x);
  cyc3dKeyPoint(g.wzkoY, r->toolCs_y);
  cyc3dKeyPoint(g.wzkoZ, r->toolCs_z);
  g.vertzustel = r->infeedDepth;
  g.horizustel = r->infeedLength;
  g.sichdist = r->clearanceDistance;
  g.sichebene = r->retractPlane;
  g.ruppMaxdist = r->jumpStepDistance;
  g.zustEilgang = cyc3dShort(r->rapidMode);
  g.oberfl = r->surface;
  g.tief = r->surface - std::fabs(r->depth);
  g.boundMode = cyc3dShort(r->boundaryMode);
  g.macroStart = cyc3dShort(r->approachType);
  g.macroEnd = cyc3dShort(r->leavingType);
  g.macroReturn = cyc3dShort(r->returnMacro);
  g.macroSrad = g.macroSlength = r->approachLength;
  g.macroErad = g.macroElength = r->leavingLength;
  g.macroIwin = r->circularMacroSegmentAngle;
  g.macroEwin = r->circularMacroDirection;
  g.stepMax = r->maxOutputLine;
  g.toolTip = cyc3dShort(r->toolReference);
  g.inchMode = g.inch = cyc3dShort(r->lengthOfUnit);
  g.precision = r->machiningTolerance;
  g.fredAngle = r->feedrateReductionAngle;
  ok = cyc3dKeyText(g.tmpDir, cyc3dTempDirectory(r)) == 1 && ok;
  g.zustellOk = cyc3dShort(r->startPointGiven);
  Point3D start = r->startPoint;
  if (frameStart == 1) {
    csysFrameToWorld(&start);
    g.zustellX = start.x;
    g.zustellY = start.y;
  } else if (g.zustellOk != 0) {
    csysToolToWorld(&start);
  }
  cyc3dKeyPoint(g.zustellPtTcs, start);
  return ok ? 1 : 0;
}

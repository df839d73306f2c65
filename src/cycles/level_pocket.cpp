// level_pocket.cpp - one level pocketed by a nested pocket cycle: the parameter file, the contour
// reduction, the nested run with its POF output in "tmp.pof", the read-back hooks that turn the
// planar moves into points of the level's path, and the retries of the contour-parallel variant.
#include "cycles/level_pocket.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cycles/level_pocket_xchg.h"
#include "cycles/rough_grid.h"
#include "cycles/rupp_calls.h"
#include "framework/global_params.h"
#include "framework/messages.h"
#include "framework/path_join.h"
#include "framework/phase_runner.h"
#include "framework/platform.h"
#include "framework/pof_writer.h"
#include "geometry/arc_rewrite.h"
#include "geometry/cycle_state.h"
#include "pocket/axcp_record.h"
#include "pocket/ccp_record.h"

namespace {

struct LevelPocketState {
  CycleRecord* cycle = nullptr;  // a test's record for every attempt; null: each variant's own
  PathList* path = nullptr;      // the caller's path the hooks fill
  double param = 0.0;            // parameter of the next point
  int moveKind = 0;
  int pendingMarker = 0;
  int emittedMarker = 0;
  Point3D last{0, 0, 0};
  int rampSeen = 0;
  int axisSet = 0;
  int reductionGate = 1;  // 0 during the third attempt: the cycle reduces no contours
  int quiet = 0;          // 1 while attempts are muted: a failed nested run sends no message
  int hookFlag = 0;
  int (*postHook)(PathList*) = nullptr;
};
LevelPocketState lpState;

// The record a nested run of the cycle id runs: a test's record, else the axis-parallel record
// for "qdAxCp" and the contour-parallel one for any other id.
CycleRecord* levelCycle(const char* cycleId) {
  if (lpState.cycle != nullptr) return lpState.cycle;
  return std::strcmp(cycleId, kLevelAxisCycleId) == 0 ? axcpCycleRecord() : ccpCycleRecord();
}

// What an attempt starts from: the read-back's marks, kind, last point and ramp flag of the
// previous level must not reach this one.
void levelStartAttempt(PathList* out) {
  lpState.path = out;
  if (out != nullptr) out->count = 0;
  lpState.param = 0.0;
  lpState.moveKind = 0;
  lpState.pendingMarker = 0;
  lpState.emittedMarker = 0;
  lpState.last = Point3D{0, 0, 0};
  lpState.rampSeen = 0;
}

// Numbers in the parameter file are written as in the "C" locale.
class LevelCLocale {
 public:
  LevelCLocale() {
    locale_t c = platCLocale();
    if (c != static_cast<locale_t>(nullptr)) previous_ = uselocale(c);
  }
  ~LevelCLocale() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  LevelCLocale(const LevelCLocale&) = delete;
  LevelCLocale& operator=(const LevelCLocale&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(nullptr);
};

// A folder whose name would end the quoted geoSource line early cannot be written into it.
bool levelFolderWritable(const char* dir) { return std::strpbrk(dir, "\"\r\n") == nullptr; }

void levelPcfDashLine(std::FILE* f) {
  std::fputs("; ", f);
  for (int i = 0; i < 70; ++i) std::fputc('-', f);
  std::fputc('\n', f);
}

int levelPocketAttempt(double R, double z, PathList* out, int stockMode, const char* cycleId,
                       bool reduce) {
  levelStartAttempt(out);
  const GlobalParams* g = parGlobalBlock();
  if (!levelFolderWritable(g->tmpDir)) {
    msgSendText(9, kLevelMsgPcf, "* Error writing pcf file", g->tmpDir);
    return -1;
  }
  char pcf[1024], qdx[1024], red[1024], pof[1024];
  if (levelPocketJoinPath(pcf, sizeof pcf, g->tmpDir, "tmp.pcf") != 1 ||
      levelPocketJoinPath(qdx, sizeof qdx, g->tmpDir, "tmp.qdx") != 1 ||
      levelPocketJoinPath(red, sizeof red, g->tmpDir, "tmp_red.qdx") != 1 ||
      levelPocketJoinPath(pof, sizeof pof, g->tmpDir, "tmp.pof") != 1 ||
      levelPocketWritePcf(pcf, R, z, stockMode) != 1) {
    msgSendReal(9, kLevelMsgPcf, "* Error writing pcf file", 0.0);
    return -1;
  }
  if (reduce) {
    const double tol = g->pockTolIntern > 0 ? g->pockTolIntern : 0.5 * g->precision;
    if (arcRecognizeFile(red, qdx, tol) == 1) {
      platRemoveFile(qdx);
      platRename(red, qdx);
    } else {
      platRemoveFile(red);
    }
  }
  std::FILE* f = std::fopen(pof, "w");
  if (f == nullptr) {
    msgSendReal(9, kLevelMsgPofOpen, "* Fehler beim Oeffnen der POF Datei", 0.0);
    return -1;
  }
  std::FILE* previous = pofGetOutput();
  pofSetOutput(f);
  const int code = levelPocketRunCycle(pcf, cycleId);
  std::fclose(f);
  pofSetOutput(previous);
  if (code != 0) {
    if (lpState.quiet == 0) msgSendReal(9, kLevelMsgNestedRun, "* Error in computation", code);
    return -1;
  }
  // The read-back fills the path through this module's hooks, whatever table a caller left in
  // force, and writes its drawing into the work folder.
  const PofReadHooks before = pofReadHooks();
  PofReadHooks mine = levelPocketReadHooks();
  mine.pocket = before.pocket;  // the optional hooks of levelPocketContour stay installed
  mine.end = before.end;
  pofReadSetHooks(&mine);
  pofReadSetDxfFolder(g->tmpDir);
  const int read = pofReadBack(pof);
  pofReadSetDxfFolder(nullptr);
  pofReadSetHooks(&before);
  return read >= 0 ? 1 : -1;
}

// The post hook of a successful attempt.
int levelPostHook(int result, PathList* out) {
  if (result >= 0 && lpState.postHook != nullptr) return lpState.postHook(out);
  return result;
}

void levelAddArcPoint(double x, double y, double z, int code) {
  levelPocketAddPoint({x, y, z}, lpState.param, code);
  lpState.param += 1.0;
}

}  // namespace

// ---- the level ----------------------------------------------------------------------------------

int levelPocketContour(double R, double z, PathList* out, int stockMode) {
  GlobalParams* g = parGlobalBlock();
  const double fillet = g->filletRadius;
  const double infeed = g->horizustel;
  if (lpState.hookFlag != 0) pofReadSetPocketHook(levelPocketSetLayerHook);
  if (g->rampInside != 0) pofReadSetEndHook(levelPocketSetRampSeen);
  struct Hooks {
    ~Hooks() {
      pofReadClearPocketHook();
      pofReadClearEndHook();
    }
  } hooks;

  ruppMuteErrors(1);
  lpState.quiet = 1;
  int result = levelPocketRun(R, z, out, stockMode);
  ruppMuteErrors(0);
  lpState.quiet = 0;
  result = levelPostHook(result, out);
  if (result >= 0) return result;

  if (out != nullptr) out->count = 0;
  g->filletRadius = 0.0;
  g->horizustel = infeed * 0.95;
  ruppMuteErrors(1);
  lpState.quiet = 1;
  result = levelPocketRun(R, z, out, stockMode);
  ruppMuteErrors(0);
  lpState.quiet = 0;
  g->filletRadius = fillet;
  g->horizustel = infeed;
  result = levelPostHook(result, out);
  if (result >= 0) return result;

  if (out != nullptr) out->count = 0;
  g->horizustel = infeed * 0.9;
  lpState.reductionGate = 0;
  result = levelPocketRun(R, z, out, stockMode);
  lpState.reductionGate = 1;
  g->horizustel = infeed;
  return levelPostHook(result, out);
}

int levelPocketAxis(double R, double z, PathList* out) {
  return levelPocketAttempt(R, z, out, 0, kLevelAxisCycleId, false);
}

int levelPocketRun(double R, double z, PathList* out, int stockMode) {
  return levelPocketAttempt(R, z, out, stockMode, kLevelContourCycleId, true);
}

int levelPocketWritePcf(const char* path, double R, double z, int stockMode) {
  const GlobalParams* g = parGlobalBlock();
  if (path == nullptr || !levelFolderWritable(g->tmpDir)) return 0;
  char source[1024];
  if (levelPocketJoinPath(source, sizeof source, g->tmpDir, "tmp.qdx") != 1) return 0;
  levelPocketSlashPath(source);
  std::FILE* f = std::fopen(path, "w");
  if (f == nullptr) return 0;
  LevelCLocale cLocale;
  char when[64] = "";
  platLocalTimeText(when, sizeof when, "%a %b %e %H:%M:%S %Y", platNowSeconds());
  levelPcfDashLine(f);
  std::fprintf(f, "; PCF rspockhc - %s\n", when);
  levelPcfDashLine(f);
  std::fputs("\n", f);
  std::fprintf(f, "  geoSource         :=  \"%s\"\n", source);
  if (g->completePocket != 0) {
    std::fputs("  completePocket    :=  true\n", f);
  } else {
    std::fputs("  edgeMovement      :=  true\n  completePocket    :=  false\n", f);
  }
  std::fprintf(f, "  clearancePlane    :=  %.4lf\n", 10.0);
  std::fprintf(f, "  clearanceDistance :=  %.4lf\n", 1.0);
  std::fprintf(f, "  toolDiameter      :=  %.4lf\n", 2 * (R - g->horiAufmass));
  if (g->outsideIn == 1) {
    std::fputs("  strategy          :=  outsideIn\n", f);
  } else if (g->outsideIn == 2) {
    std::fputs("  strategy          :=  stockOutin\n", f);
    if (g->macroTmode == 3 && g->rampInside != 0) std::fputs("  forceInside       :=  true\n", f);
    std::fprintf(f, "  stockOffset       :=  %.4lf\n", g->stockXyoffset);
  } else if (g->outsideIn == 3) {
    std::fputs("  strategy          :=  axisParallel\n", f);
  }
  if (g->noPlunge != 0) std::fputs("  noPlunge           := true\n", f);
  if (g->allowSingleCut != 0) {
    std::fputs("  allowSingleCut         := true\n", f);
    std::fprintf(f, "  singleCutOverlapFactor := %.4lf\n", g->singleCutFactor);
    std::fputs(g->optimizeSinglecut != 0 ? "  optimizeSingleCut      := true\n"
                                         : "  optimizeSingleCut      := false\n",
               f);
  }
  const double infeed =
      stockMode != 0 && g->bigStepfactorOutin == 0 ? std::fmin(g->horizustel, R) : g->horizustel;
  std::fprintf(f, "  infeedLength      :=  %.3lf\n", infeed);
  std::fprintf(f, "  surface           :=  %.4lf\n", z + 1);
  std::fprintf(f, "  infeedDepth       :=  %.4lf\n", 1.0);
  std::fprintf(f, "  depth             :=  %.4lf\n", 1.0);
  std::fprintf(f, "  epsilon           :=  %.7lf\n", 0.001);
  if (g->bearbeitricht > 2) {
    if (g->filletRadius > 1e-6) std::fprintf(f, "  filletRadius      :=  %.3lf\n", g->filletRadius);
    if (g->infeedRadius > 1e-6) std::fprintf(f, "  infeedRadius      :=  %.3lf\n", g->infeedRadius);
    if (g->filletPocket != 0 && g->filletCorners != 0) {
      std::fputs("  filletCorners     :=  true\n", f);
    }
  }
  if (g->considerTooltype != 0) {
    if (g->bearbeitricht > 2) std::fputs("  considerToolType  :=  true\n", f);
    if (g->frtyp == 1) {
      std::fputs("  toolType          :=  ballMill\n", f);
    } else if (g->frtyp == 3) {
      std::fputs("  toolType          :=  radiusMill\n", f);
      std::fprintf(f, "  cornerRadius      :=  %.6lf\n", g->frbogen);
      if (g->bearbeitricht <= 2) {
        std::fprintf(f, "  infeedLength      :=  %.3lf\n",
                     g->horizustel * (g->frradius - g->frbogen) / g->frradius);
      }
    } else {
      std::fputs("  toolType          :=  endMill\n", f);
    }
  }
  std::fputs(g->seite == 1 ? "  orientation       :=  counterClockwise\n"
                           : "  orientation       :=  clockwise\n",
             f);
  std::fputs("  oriAutomatic      :=  full\n", f);
  if (lpState.hookFlag == 1) {
    std::fprintf(f, "  planeAllowance    :=  %.4lf\n", g->horizustel - R);
    std::fputs("  strategy          :=  outsideInDirect\n  pocketContour     :=  true\n", f);
  } else {
    std::fprintf(f, "  planeAllowance    :=  %.4lf\n", g->horiAufmass - R);
  }
  if (lpState.reductionGate == 0) std::fputs("  reduceContours    :=  false\n", f);
  std::fputs("  generateRif       :=  false\n", f);
  if (lpState.hookFlag == 2) std::fputs("  invertSequence     := true\n", f);
  if (stockMode != 0) {
    std::fputs("  stock             :=  true \n", f);
    std::fprintf(f, "  stockTolerance    := %.3lf\n", unitFactor * g->resolution);
  } else {
    std::fputs("  stock             :=  false\n", f);
  }
  std::fputs(g->stockMovement == 1 ? "  stockMovement     :=  rapid\n"
                                   : "  stockMovement     :=  contour\n",
             f);
  if (g->zustellOk != 0) {
    std::fputs("\n  startExplicit     :=  true\n", f);
    const Point2D plunge = roughPlungeState().point;
    std::fprintf(f, "  startX            :=  %.4lf\n", plunge.x);
    std::fprintf(f, "  startY            :=  %.4lf\n\n", plunge.y);
  }
  if (g->trochoide != 0) std::fputs("  splitPath         := true\n", f);
  std::fputs("  NCOutp            :=  false\n", f);
  std::fputs("\n", f);
  levelPcfDashLine(f);
  const bool ok = std::ferror(f) == 0;
  return std::fclose(f) == 0 && ok ? 1 : 0;
}

int levelPocketRunCycle(const char* pcfPath, const char* cycleId) {
  // The argument texts are held in place: the runner may write into them, and nothing here
  // allocates (so nothing can throw).
  char id[32];
  char source[1100];
  char pof[] = "-POF";
  const int idLength =
      std::snprintf(id, sizeof id, "%s", cycleId != nullptr ? cycleId : kLevelContourCycleId);
  const int sourceLength =
      std::snprintf(source, sizeof source, "-s%s", pcfPath != nullptr ? pcfPath : "");
  if (idLength < 0 || idLength >= static_cast<int>(sizeof id) || sourceLength < 0 ||
      sourceLength >= static_cast<int>(sizeof source)) {
    return -1;
  }
  CycleRecord* cycle = levelCycle(id);
  char* argv[] = {id, source, pof};
  CycleRecord* ccp = ccpCycleRecord();
  static constexpr const char* kNames[][2] = {{"parameters", "qdCCP_p.mlt"},
                                              {"algorithm", "qdCCP_a.mlt"},
                                              {"layers", "qdCCP_y.mlt"},
                                              {"geoOut", "qdCCP.qDX"},
                                              {"MessageFile", "qdCCPdef.err"}};
  for (const auto& n : kNames) ccp->params = parListSet(ccp->params, n[0], n[1], 0);
  pockSetSourceLoader(cycle);
  if (cycParseOptions(cycle, argv, 3, 0) != 1) return -1;
  return cycRun(cycle);
}

int levelPocketJoinPath(char* out, std::size_t size, const char* dir, const char* name) {
  return pathJoinDirName(out, size, dir, name);
}

void levelPocketSlashPath(char* text) {
  if (text == nullptr) return;
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '\\') *c = '/';
  }
}

void levelPocketSetHookFlag(int flag) { lpState.hookFlag = flag; }
void levelPocketSetPostHook(int (*hook)(PathList*)) { lpState.postHook = hook; }
void levelPocketSetCycleRecord(CycleRecord* cycle) { lpState.cycle = cycle; }

// ---- read-back hooks ----------------------------------------------------------------------------

void levelPocketRunStartHook(void*, int, const Point3D* point) {
  if (point == nullptr) return;
  levelPocketAddPoint(*point, lpState.param, kLevelRunStartCode);
  lpState.last = *point;
  lpState.param += 1.0;
}

void levelPocketNoopHook2(void*, int) {}
void levelPocketNoopHook3() {}
void levelPocketNoopHook(void*, int, const Point3D*) {}

void levelPocketArcHook(void*, int, const Point3D* end, double bulge) {
  if (end == nullptr) return;
  int high = lpState.moveKind;
  if (lpState.pendingMarker != lpState.emittedMarker) {
    high = lpState.pendingMarker;
    lpState.emittedMarker = lpState.pendingMarker;
  }
  const int code = ((high & 0xFF) << 8) | kPathKindMade;
  const Point3D p = *end;
  if (std::fabs(bulge) < 1e-6) {
    levelAddArcPoint(p.x, p.y, p.z, code);
    lpState.last = p;
    return;
  }
  LevelPocketArc arc{};
  if (levelPocketArcSteps(lpState.last, p, bulge, &arc) != 0) return;
  const double s = parGlobalBlock()->stepMin;
  const double sweep = std::fabs(arc.endAngle - arc.startAngle);
  double step = sweep + 1.0;  // one chord
  if (std::isfinite(s) && s > 0 && 2 * arc.radius > s) step = 2 * std::acos(1 - s / arc.radius);
  if (step < sweep / kLevelArcMaxPoints) step = sweep / kLevelArcMaxPoints;
  if (sweep < step) {
    levelAddArcPoint(p.x, p.y, p.z, code);
    lpState.last = p;
    return;
  }
  const double dir = arc.endAngle >= arc.startAngle ? 1.0 : -1.0;
  Point3D lastAdded = lpState.last;
  for (int i = 1;; ++i) {
    const double a = arc.startAngle + dir * i * step;
    if (dir > 0 ? !(a < arc.endAngle) : !(a > arc.endAngle)) break;
    lastAdded = {arc.cx + arc.radius * std::cos(a), arc.cy + arc.radius * std::sin(a), p.z};
    levelAddArcPoint(lastAdded.x, lastAdded.y, lastAdded.z, code);
  }
  const double dx = p.x - lastAdded.x, dy = p.y - lastAdded.y, dz = p.z - lastAdded.z;
  if (dx * dx + dy * dy + dz * dz < 1e-6) {
    levelPocketAddPoint(p, lpState.param - 1.0, code);
  } else {
    levelAddArcPoint(p.x, p.y, p.z, code);
  }
  lpState.last = p;
}

int levelPocketMoveKindHook(const char* word) {
  static constexpr struct {
    const char* word;
    int kind;
  } kKinds[] = {{"drill", kLevelKindDrill},
                {"plunge", kLevelKindPlunge},
                {"left", kLevelKindLeft},
                {"right", kLevelKindRight}};
  lpState.moveKind = 0;
  if (word == nullptr) return 1;
  for (const auto& k : kKinds) {
    if (std::strcmp(word, k.word) == 0) {
      lpState.moveKind = k.kind;
      return 0;
    }
  }
  return 1;
}

int levelPocketStartEndHook(const char* word) {
  if (word == nullptr) return 1;
  if (std::strcmp(word, "start") == 0) {
    lpState.pendingMarker = kLevelMarkStart;
    return 0;
  }
  if (std::strcmp(word, "end") == 0) {
    lpState.pendingMarker = kLevelMarkEnd;
    lpState.emittedMarker = 0;
    return 0;
  }
  return 1;
}

void levelPocketSetLayerHook(int start) { lpState.axisSet = start; }
void levelPocketSetRampSeen() { lpState.rampSeen = 1; }

PofReadHooks levelPocketReadHooks() {
  PofReadHooks h{};
  h.pathStartArc = levelPocketRunStartHook;
  h.pathStartLine = levelPocketNoopHook2;
  h.pathEnd = levelPocketNoopHook3;
  h.arcMove = levelPocketArcHook;
  h.lineMove = levelPocketNoopHook;
  h.moveKind = levelPocketMoveKindHook;
  h.startEnd = levelPocketStartEndHook;
  return h;
}

int levelPocketArcSteps(const Point3D& start, const Point3D& end, double bulge,
                        LevelPocketArc* out) {
  constexpr double kHalfPi = 1.570796326795;
  const double dx = end.x - start.x, dy = end.y - start.y;
  if (std::fabs(dx) < 1e-6 && std::fabs(dy) < 1e-6) return -1;
  if (out == nullptr) return 0;
  const double h = 2 * std::atan(bulge);
  const double d = std::atan2(dy, dx);
  const double c = std::sqrt(dx * dx + dy * dy) / 2;
  const double k = c * (0.5 / bulge - 0.5 * bulge);
  out->radius = std::sqrt(c * c + k * k);
  const double mx = (start.x + end.x) / 2, my = (start.y + end.y) / 2;
  out->cx = mx - std::sin(d) * k;
  out->cy = my + std::cos(d) * k;
  if (bulge > 0) {
    out->startAngle = d - kHalfPi - h;
    out->endAngle = out->startAngle + 2 * h;
  } else {
    out->endAngle = d + kHalfPi + h;
    out->startAngle = out->endAngle - 2 * h;
  }
  return 0;
}

int levelPocketAddPoint(const Point3D& point, double param, int code) {
  if (lpState.rampSeen != 0) code = (code & 0xFF00) | kLevelKindAfterRamp;
  lpState.rampSeen = 0;
  if (lpState.path == nullptr) return -1;
  return pathListInsert(lpState.path, param, point, code, &point, lpState.axisSet);
}

void levelPocketSetPath(PathList* path) { lpState.path = path; }
double levelPocketParam() { return lpState.param; }

void levelPocketResetState() { lpState = LevelPocketState{}; }

// axcp_record.cpp - the axis-parallel pocket cycle: its record, parameter reading, the run over
// groups and depth levels, the conversion of a level's contours into point loops and the output
// of the meander.
#include "pocket/axcp_record.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/output_records.h"
#include "framework/param_list.h"
#include "pocket/ccp_layers.h"
#include "pocket/ccp_params.h"
#include "pocket/ccp_record.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/mean_path.h"
#include "pocket/pock_levels.h"
#include "pocket/pock_output.h"
#include "pocket/pock_runtime.h"

namespace {

// Room of the point lists of one level.
constexpr int kAxcpListRoom = 4000;
// Engine code of a mean path that found no start or could not join a chain.
constexpr int kAxcpCodeNoJoin = 3051;

AxcpRecord axcpLoadImage() {
  AxcpRecord a{};
  a.ccp = ccpRecordAtLoad();
  CycleRecord& c = a.ccp.base;
  c.parent = ccpCycleRecord();
  c.code = 1001;
  c.frameworkVersion = kCycFrameworkVersion;
  c.version[0] = 1;
  c.version[1] = 0;
  c.version[2] = 1997;
  c.version[3] = 10;
  c.version[4] = 15;
  c.title = "Brevonix 2D Axisparallel Pocket Cycle";
  c.id = "qdAxCp";
  c.slots = CycleSlots{};
  c.slots.phaseReadParams = axcpReadParameters;
  c.slots.phaseReadCfgParams = axcpReadCfgParameters;
  c.slots.phaseCompute = axcpRun;
  a.ccp.messageFile = "rsaxcphc.loc";
  a.ccp.depth = 10.0;
  a.ccp.completePocket = 0;
  a.ccp.plungeAtLastPosition = 0;
  a.ccp.singleCutOverlapFactor = 0.0;
  a.clearAngle = 0.0;
  a.offsetFactor = 0.1;
  return a;
}

AxcpRecord& axcpStatic() {
  static AxcpRecord record = axcpLoadImage();
  return record;
}

struct AxcpState {
  int stateReported = 0;  // "*AXIS_POCKET" other than 1 reported in this run
};
AxcpState axcpState;

// Lends the record's parent link to its parent's parent for the time of a call of the parent's
// operation on this record; the link is put back on every exit.
class ParentLinkLoan {
 public:
  explicit ParentLinkLoan(CycleRecord* cycle) : cycle_(cycle), saved_(cycle->parent) {
    if (saved_ != nullptr) cycle_->parent = saved_->parent;
  }
  ~ParentLinkLoan() { cycle_->parent = saved_; }
  ParentLinkLoan(const ParentLinkLoan&) = delete;
  ParentLinkLoan& operator=(const ParentLinkLoan&) = delete;

 private:
  CycleRecord* cycle_;
  CycleRecord* saved_;
};

int axcpAppendPoint(IntList* indices, Pt2List* points, const Point2D& p) {
  if (lstPt2Append(points, p) != 1) return -1;
  return lstIntAppend(indices, points->count - 1) < 0 ? -1 : 1;
}

// A contour of INPUT into buf; its count, -1 when unreadable.
int axcpReadInput(int i, std::vector<ContourElement>* buf, ContourHeader* h) {
  if (layerGetHeader("INPUT", h, i) != i) return -1;
  buf->resize(static_cast<std::size_t>(h->count > 0 ? h->count : 1));
  if (layerGetContour("INPUT", buf->data(), h->count, h, i) != i) return -1;
  return h->count;
}

// Fills MAIN for the level ending at bottom. Returns the number of contours of the outer
// orientation (single pass) or of MAIN (grouped); -1 when a contour cannot be stored.
int axcpBuildMain(const PocketLevelList* list, bool grouped, int group, double bottom) {
  const int outer = pockEngine().ccpOuterOrientation;
  std::vector<ContourElement> e;
  int front = 0;
  for (int k = 0; k < list->count; ++k) {
    const PocketLevelEntry& entry = list->entries[k];
    if (pockLevelSpans(entry, bottom) != 1) continue;
    ContourHeader h{};
    if (axcpReadInput(entry.index, &e, &h) < 0) return -1;
    if (grouped) {
      if (h.group != group) continue;
      if (layerInsertContour("MAIN", e.data(), &h, -1) != 1) return -1;
      ++front;
    } else if (contOrientation(e.data(), h.count) == outer) {
      if (layerInsertContour("MAIN", e.data(), &h, front) != 1) return -1;
      ++front;
    } else if (layerInsertContour("MAIN", e.data(), &h, -1) != 1) {
      return -1;
    }
  }
  if (grouped && layerCopyNestedOfGroup("INPUT", "MAIN", group, bottom) < 0) return -1;
  return grouped ? layerCount("MAIN") : front;
}

// One pass: the levels of one group (grouped) or of all INPUT contours. Returns 1; 0 after "103"
// or "207".
int axcpPass(CycleRecord* cycle, CcpRecord* r, bool grouped, int group, int lastGroup) {
  // The list holds every INPUT contour: a group may have any number of them.
  const int room = layerCount("INPUT") > 0 ? layerCount("INPUT") : 1;
  PocketLevelList* list = pockLevelListNew(room);
  if (list == nullptr || ccpFillLevelList(r, list, "INPUT", group) < 0) {
    pockLevelListFree(list);
    cycSendError(cycle, "103");
    return 0;
  }
  if (grouped && std::fabs(r->infeedDepth) < 0.00001) {
    double top = 0.0;
    double bottom = 0.0;
    if (pockLevelRange(list, &top, &bottom) == 1) r->infeedDepth = top - bottom;
  }
  PocketLevelHeights* heights = list->count > 0 ? pockLevelSteps(list, r->infeedDepth) : nullptr;
  if (list->count > 0 && heights == nullptr) {
    pockLevelListFree(list);
    cycSendError(cycle, "103");
    return 0;
  }
  PockOutputState& out = pockOutput();
  out.groupsLeft = grouped ? lastGroup - group : 0;
  int result = 1;
  const int count = heights != nullptr ? heights->count : 0;
  for (int i = 0; i + 1 < count; ++i) {
    if (cycle->signal == kCycSignalStopNow) {
      cycle->status = kCycStatusUserBreak;
      result = 0;
      break;
    }
    const double z0 = heights->heights[i];
    const double z1 = heights->heights[i + 1];
    out.levelsLeft = count - i - 2;
    r->surface = z0;
    r->depth = z0 - z1;
    if (layerCreate("MAIN") != 1) {
      cycSendError(cycle, "103");
      result = 0;
      break;
    }
    const int found = axcpBuildMain(list, grouped, group, z1);
    if (found < 0) {
      pockMessage(kPockCodeNoMemory);
    } else if (grouped) {
      if (found > 0) {
        PockEngine& e = pockEngine();
        ContourHeader first{};
        layerGetHeader("MAIN", &first, 0);
        const bool stock =
            r->stockMode == kCcpStockForce || (r->stockMode == kCcpStockOn && first.stockMark != 0);
        e.pockStockMode = stock ? r->stockMode : 0;
        if (stock) r->plungeType = 2;
        if (stock || layerFirstFlagsEqual("MAIN") == 1) axcpPocketLevel(cycle);
      }
    } else if (found > 0) {
      axcpPocketLevel(cycle);
    } else {
      cycSendError(cycle, "207");
      layerFree("MAIN");
      result = 0;
      break;
    }
    layerFree("MAIN");
  }
  pockLevelHeightsFree(heights);
  pockLevelListFree(list);
  return result;
}

}  // namespace

CycleRecord* axcpCycleRecord() { return &axcpStatic().ccp.base; }

void axcpRecordReset() {
  AxcpRecord& a = axcpStatic();
  for (char** field : {&a.ccp.geoSource, &a.ccp.clampsSource, &a.ccp.frameText}) {
    memFree(*field);
    *field = nullptr;
  }
  const CycleRecord keep = a.ccp.base;
  a = axcpLoadImage();
  const std::int32_t code = a.ccp.base.code;
  a.ccp.base = keep;
  a.ccp.base.code = code;
  axcpState = AxcpState{};
}

void axcpResetState() { axcpState = AxcpState{}; }

int axcpReadParameters(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  int read = 0;
  {
    const ParentLinkLoan loan(cycle);
    read = ccpReadParameters(cycle);
  }
  if (read == 0) return 0;
  auto* a = reinterpret_cast<AxcpRecord*>(cycle);
  for (const auto& [key, field] :
       {std::pair{"clearAngle", &a->clearAngle}, std::pair{"offsetFactor", &a->offsetFactor}}) {
    char* value = parListGet(cycle->params, key, nullptr);
    if (value != nullptr) *field = pockAtof(value);
    memFree(value);
  }
  CcpRecord* r = &a->ccp;
  r->infeedRadius = 0.0;
  r->filletRadius = 0.0;
  r->completePocket = 0;
  return 1;
}

int axcpReadCfgParameters(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  pockLegacyFromOptions(cycle->cfgEntries);
  return cycle->slots.phaseReadParams != nullptr ? cycle->slots.phaseReadParams(cycle) : 0;
}

int axcpRunState() { return parGlobalBlock()->axisPocket; }

int axcpRun(CycleRecord* cycle) {
  if (cycle == nullptr) return 0;
  CcpRecord* r = ccpRecordOf(cycle);
  axcpState = AxcpState{};
  // The contours are the tool centre's limits: the wall lies at R + allowance from them, which
  // must be 0, or every wall pass would run into the wall.
  const double factor = pockEngine().scaleFactor > 0.0 ? pockEngine().scaleFactor : 1.0;
  if (std::fabs(r->toolDiameter / 2.0 + r->planeAllowance) / factor > kAxcpCentreTol) {
    pockMessage(kPockCodeNotRealised);
    return 0;
  }
  const std::int32_t plungeType = r->plungeType;
  const CcpRunState& run = ccpRunState();
  int result = 1;
  if (r->oriAutomatic == 2) {
    for (int g = run.firstGroup; g <= run.lastGroup && result == 1; ++g) {
      result = axcpPass(cycle, r, true, g, run.lastGroup);
    }
  } else {
    result = axcpPass(cycle, r, false, 0, 0);
  }
  // The output's plain plunges after a level's first entry are for this run only.
  r->plungeType = plungeType;
  return result;
}

int axcpPocketLevel(CycleRecord* cycle) {
  const int state = axcpRunState();
  if (state != 1 && axcpState.stateReported == 0) {
    axcpState.stateReported = 1;
    pockMessage(kPockCodeNotRealised);
  }
  if (state == 1) return axcpPocketMain(cycle);
  return state == 2 ? 1 : -1;
}

double axcpArcSweep(const ContourElement& arc) {
  if (contElemClosed(arc) == 1) return 2.0 * std::numbers::pi;
  const double a0 = std::atan2(arc.p3 - arc.p1, arc.p2 - arc.p0);
  const double a1 = std::atan2(arc.p5 - arc.p1, arc.p4 - arc.p0);
  double s = arc.dir < 0 ? a0 - a1 : a1 - a0;
  while (s <= 0.0) s += 2.0 * std::numbers::pi;
  while (s > 2.0 * std::numbers::pi) s -= 2.0 * std::numbers::pi;
  return s;
}

int axcpArcToPoints(IntList* indices, Pt2List* points, const ContourElement& arc, int withEnd) {
  const Point2D end{arc.p4, arc.p5};
  if (arc.radius >= 0.0001) {
    const double sweep = axcpArcSweep(arc) - 0.0001;
    const double a0 = std::atan2(arc.p3 - arc.p1, arc.p2 - arc.p0);
    const double r = std::hypot(arc.p2 - arc.p0, arc.p3 - arc.p1);
    const double dir = arc.dir < 0 ? -1.0 : 1.0;
    for (int k = 1; k * kAxcpArcStep <= sweep; ++k) {
      const double a = a0 + dir * k * kAxcpArcStep;
      if (axcpAppendPoint(indices, points, {arc.p0 + r * std::cos(a), arc.p1 + r * std::sin(a)}) <
          0) {
        return -1;
      }
    }
  }
  if (withEnd == 0) return 1;
  return axcpAppendPoint(indices, points, end) < 0 ? -1 : 1;
}

int axcpElemsToPoints(const ContourElement* elements, int count, IntList* indices,
                      Pt2List* points) {
  if (count <= 0 || elements == nullptr) return 0;
  if (indices == nullptr || points == nullptr) return -1;
  if (axcpAppendPoint(indices, points, contElemStart(elements[0])) < 0) return -1;
  const int first = indices->items[indices->count - 1];
  for (int i = 0; i < count; ++i) {
    const ContourElement& e = elements[i];
    const bool last = i == count - 1;
    if (e.type == kContArc) {
      if (axcpArcToPoints(indices, points, e, last ? 0 : 1) < 0) return -1;
    } else if (!last && axcpAppendPoint(indices, points, contElemEnd(e)) < 0) {
      return -1;
    }
  }
  return lstIntAppend(indices, first) < 0 ? -1 : 0;
}

int axcpOutputPath(CycleRecord* cycle, const IntList* indices, const Pt2List* points, int moved,
                   const Point2D& given) {
  CcpRecord* r = ccpRecordOf(cycle);
  pockWriteHeader();
  PockOutputState& out = pockOutput();
  bool firstPoint = true;
  bool inRun = false;
  Point2D cur{0.0, 0.0};
  for (int i = 0; i < indices->count; ++i) {
    const int v = indices->items[i];
    if (v < 0 || v >= points->count) {
      out.pockNewStart = 1;
      inRun = false;
      continue;
    }
    const Point2D p = points->items[v];
    if (!inRun) {
      inRun = true;
      if (firstPoint) {
        firstPoint = false;
        if (moved != 0) {
          pockPositionAt(given);
          pockEmitElement(contMakeLine(given.x, given.y, p.x, p.y, 0));
        } else {
          pockPositionAt(p);
        }
      }
      cur = p;
      continue;
    }
    if (p.x == cur.x && p.y == cur.y) continue;
    pockEmitElement(contMakeLine(cur.x, cur.y, p.x, p.y, 0));
    cur = p;
    if (r != nullptr) r->plungeType = 2;
  }
  pockWriteLevelEnd();
  return 0;
}

int axcpPocketMain(CycleRecord* cycle) {
  CcpRecord* r = ccpRecordOf(cycle);
  IntList* idx = lstIntNew(kAxcpListRoom);
  Pt2List* pts = lstPt2New(kAxcpListRoom);
  auto done = [&](int result) {
    lstIntFree(idx);
    lstBox2Free(pts);
    return result;
  };
  if (idx == nullptr || pts == nullptr) {
    pockMessage(kPockCodeNoMemory);
    return done(-1);
  }
  const bool hasStart = r->startExplicit != 0;
  const Point2D given{r->startX, r->startY};
  Point2D handed = given;
  int moved = 0;
  const int n = layerCount("MAIN");
  std::vector<ContourElement> e;
  for (int i = 0; i < n; ++i) {
    ContourHeader h{};
    if (layerGetHeader("MAIN", &h, i) != i) continue;
    e.resize(static_cast<std::size_t>(h.count > 0 ? h.count : 1));
    if (layerGetContour("MAIN", e.data(), h.count, &h, i) != i) continue;
    const int o = contOrientation(e.data(), h.count);
    if ((i == 0 && o < 0) || (i > 0 && o > 0)) contReverse(e.data(), h.count);
    if (i == 0 && hasStart) {
      std::vector<ContourElement> buf(static_cast<std::size_t>(4 * h.count + 64));
      ContourElement* loops[kOffsetMaxLoops + 1];
      int counts[kOffsetMaxLoops + 1];
      const int m = contOffset(e.data(), h.count, 1, 0.02 * r->toolDiameter, buf.data(),
                               static_cast<int>(buf.size()), nullptr, loops, counts);
      if (m == 1 && contWinding(loops[0], counts[0], given) == 0) {
        Point2D foot{};
        int k = 0;
        contNearestElem(given, loops[0], counts[0], &foot, &k);
        handed = foot;
        moved = 1;
      }
    }
    if (axcpElemsToPoints(e.data(), h.count, idx, pts) < 0) {
      pockMessage(kPockCodeNoMemory);
      return done(-1);
    }
  }
  int result = meanPath(idx, pts, hasStart ? &handed : nullptr, r->infeedLength);
  if (result < 0) result = meanPath(idx, pts, hasStart ? &handed : nullptr, 0.9 * r->infeedLength);
  if (result < 0) {
    pockMessage(result == kMeanPathNoJoin ? kAxcpCodeNoJoin : kPockCodeNoMemory);
    return done(result);
  }
  if (result == 0) {
    // Nothing computed: the raw loops are no toolpath.
    pockMessage(kPockCodeToolTooBig);
    return done(-1);
  }
  return done(axcpOutputPath(cycle, idx, pts, moved, given));
}

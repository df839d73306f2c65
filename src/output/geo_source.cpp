// geo_source.cpp - the conversion of a 3D cycle's geometry source into its temporary text files,
// with the writer's process-wide state: the open file, the first-point flag, the block counters
// of one conversion and the plunge output switch.
#include "output/geo_source.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "framework/numtext.h"
#include "framework/platform.h"
#include "framework/xchg_coord.h"
#include "framework/xchg_file.h"
#include "framework/xchg_scope.h"
#include "geometry/csys.h"

namespace {
constexpr std::size_t kBndPairTextMax = 131;

struct BndWriterState {
  std::FILE* file = nullptr;
  int firstPointWritten = 0;  // 0 right after a block header: the next segment writes its start
  int boundaries = 0, profiles = 0, syncs = 0, syncs2 = 0, traces = 0;
  int plungeOutput = 0;
  std::vector<std::string> created;  // files this conversion created: later blocks append
};
BndWriterState dumpState;

// Reads a decimal number in the "C" locale; false when the text is not one.
bool bndNumber(const char* text, double* out) {
  if (text == nullptr || text[0] == '\0') return false;
  char* end = nullptr;
  const locale_t c = platCLocale();
  const double v = c != nullptr ? strtod_l(text, &end, c) : std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// Writes each field as its label and the number with six decimals ("%.6lf" in the "C" locale: a
// host locale with a decimal comma must not corrupt the file), then the line end.
void bndNumberLine(std::FILE* f, std::initializer_list<std::pair<const char*, double>> fields) {
  char num[kNumFixedTextSize];
  for (const auto& [label, value] : fields) {
    numFormatFixedWidth(num, sizeof num, value, 6, 0);
    std::fputs(label, f);
    std::fputs(num, f);
  }
  std::fputc('\n', f);
}

void bndPointLine(double x, double y, double z) {
  Point3D p{x, y, z};
  csysToolToWorld(&p);
  bndNumberLine(dumpState.file, {{"X", p.x}, {" Y", p.y}, {" Z", p.z}});
}

struct BndKindInfo {
  const char* extension;
  const char* header;
  int* counter;
};

// Extension, header and counter of a kind; the profile extension depends on its number.
bool bndKindInfo(int kind, BndKindInfo* info) {
  switch (kind) {
    case kBndDumpBoundary: *info = {"bnd", "**BND %d\n", &dumpState.boundaries}; return true;
    case kBndDumpProfile:
      *info = {dumpState.profiles == 0 ? "prf" : "pr2", "**PRF %d\n", &dumpState.profiles};
      return true;
    case kBndDumpSync: *info = {"snc", "**SYN %d\n", &dumpState.syncs}; return true;
    case kBndDumpTrace: *info = {"trc", "**PRF %d\n", &dumpState.traces}; return true;
    case kBndDumpSync2: *info = {"snc", "**SYN %d\n", &dumpState.syncs2}; return true;
    default: return false;
  }
}

// The record's name field of a kind.
char* bndNameField(Cycle3dRecord* r, int kind) {
  switch (kind) {
    case kBndDumpBoundary: return r->tempNames[kCyc3dTempBoundary];
    case kBndDumpProfile:
      return r->tempNames[dumpState.profiles == 0 ? kCyc3dTempProfile : kCyc3dTempProfile2];
    case kBndDumpSync: return r->tempNames[kCyc3dTempSync];
    case kBndDumpTrace: return r->traceDumpName;
    case kBndDumpSync2: return r->sync2DumpName;
    default: return nullptr;
  }
}

int bndKindOf3DType(const char* value) {
  static constexpr struct {
    const char* name;
    int kind;
  } kTypes[] = {{"boundary", kBndDumpBoundary}, {"profile", kBndDumpProfile},
                {"synch", kBndDumpSync},        {"point", kBndDumpPoint},
                {"inclination", kBndDumpTrace}, {"segment", kBndDumpSync2}};
  for (const auto& t : kTypes) {
    if (std::strcmp(value, t.name) == 0) return t.kind;
  }
  return kBndDumpNone;
}

// The contour kind from a "Contour" object's id: no id is a profile, an unknown id nothing.
int bndKindOfContourId(const char* id) {
  if (id == nullptr || id[0] == '\0') return kBndDumpProfile;
  return bndKindOf3DType(id);
}

// The values of the "L", "A" and "P" elements: first, second and third parts of x, y, z; each
// part that reads replaces the value the previous element left.
struct BndCoords {
  double first[3];
  double second[3];
  double third[3];
};
}  // namespace

int bndParsePair(const char* text, double out[2]) {
  if (text == nullptr || out == nullptr) return 0;
  char buf[kBndPairTextMax + 1];
  std::snprintf(buf, sizeof buf, "%s", text);
  char* sep = std::strchr(buf, ',');
  if (sep == nullptr) sep = std::strchr(buf, '/');
  if (sep == nullptr) return 0;
  *sep = '\0';
  double a = 0, b = 0;
  if (!bndNumber(buf, &a) || !bndNumber(sep + 1, &b)) return 0;
  out[0] = a;
  out[1] = b;
  return 1;
}

int bndCloseDump() {
  if (dumpState.file == nullptr) return 0;
  std::fprintf(dumpState.file, "**END\n");
  std::fclose(dumpState.file);
  dumpState.file = nullptr;
  return 1;
}

int bndOpenDump(Cycle3dRecord* record, int kind) {
  BndKindInfo info{};
  if (record == nullptr || !bndKindInfo(kind, &info)) return 1;      // kinds without a file
  if (kind == kBndDumpProfile && dumpState.profiles >= 2) return 1;  // later profiles are not kept
  bndCloseDump();
  char name[kCyc3dTempNameSize];
  if (cyc3dTempFileName(name, sizeof name, cyc3dTempDirectory(record), info.extension) != 1) {
    return 0;
  }
  // Sync and segment blocks share one file: the kind that comes second appends to it.
  bool created = false;
  for (const std::string& n : dumpState.created) created = created || n == name;
  dumpState.file = std::fopen(name, created ? "a+" : "w");
  if (dumpState.file == nullptr) return 0;
  if (!created) {
    try {
      dumpState.created.emplace_back(name);
    } catch (...) {
      // not remembered: a later kind of the same file would create it anew
    }
  }
  char* field = bndNameField(record, kind);
  if (field != nullptr && field[0] == '\0') std::snprintf(field, kCyc3dTempNameSize, "%s", name);
  if (kind == kBndDumpSync || kind == kBndDumpSync2) record->syncWritten = 1;
  ++*info.counter;
  std::fprintf(dumpState.file, info.header, *info.counter);
  dumpState.firstPointWritten = 0;
  return 1;
}

void bndDumpSegment(double sx, double sy, double sz, double ex, double ey, double ez) {
  if (dumpState.file == nullptr) return;
  if (dumpState.firstPointWritten == 0) bndPointLine(sx, sy, sz);
  dumpState.firstPointWritten = 1;
  bndPointLine(ex, ey, ez);
}

void bndDumpPointVector(double sx, double sy, double sz, double ex, double ey, double ez) {
  if (dumpState.file == nullptr) return;
  Point3D s{sx, sy, sz}, e{ex, ey, ez};
  csysToolToWorld(&s);
  csysToolToWorld(&e);
  bndNumberLine(dumpState.file,
                {{"x", s.x}, {" y", s.y}, {" z", s.z}, {" X", e.x}, {" Y", e.y}, {" Z", e.z}});
  dumpState.firstPointWritten = 1;
}

void bndDumpArc(const Cycle3dRecord* record, char direction, double sx, double sy, double sz,
                double ex, double ey, double ez, double cx, double cy) {
  (void)sz;
  if (dumpState.file == nullptr || record == nullptr) return;
  const double r = std::hypot(sx - cx, sy - cy);
  if (r < 0.0001) return;
  double stepDeg = record->circularMacroSegmentAngle;
  if (r > 1000) stepDeg /= 10;
  double step = stepDeg * std::numbers::pi / 180.0;
  if (!(step >= 0.001)) step = 0.001;
  const bool clockwise = direction == '-';
  double sweep = 0;
  if (std::fabs(sx - ex) < 1e-6 && std::fabs(sy - ey) < 1e-6) {
    sweep = clockwise ? -2 * std::numbers::pi
                      : 2 * std::numbers::pi;  // back at its start: a full circle
  } else {
    const double t = g2dTurnAngle(sx, sy, cx, cy, ex, ey);
    sweep = clockwise ? t - std::numbers::pi : t + std::numbers::pi;
  }
  const double limit = std::fabs(sweep) - 0.0001;
  const double turn = clockwise ? -step : step;
  const double c = std::cos(turn), s = std::sin(turn);
  double vx = sx - cx, vy = sy - cy;
  double px = sx, py = sy, pz = ez;
  for (double done = 0; done + step <= limit; done += step) {
    const double nx = vx * c - vy * s;
    vy = vx * s + vy * c;
    vx = nx;
    const double qx = cx + vx, qy = cy + vy;
    bndDumpSegment(px, py, pz, qx, qy, ez);
    px = qx;
    py = qy;
  }
  bndDumpSegment(px, py, pz, ex, ey, ez);
}

void bndDumpPlunge(double x, double y) {
  if (dumpState.plungeOutput != 0 && dumpState.file != nullptr) {
    bndNumberLine(dumpState.file, {{"**PLUNGE X", x}, {" Y", y}});
  }
}

void bndSetPlungeOutput(int on) { dumpState.plungeOutput = on; }

int bndGeometryDumps(Cycle3dRecord* record) {
  if (record == nullptr || record->geoSource == nullptr) return -1;
  dumpState.boundaries = dumpState.profiles = dumpState.syncs = dumpState.syncs2 =
      dumpState.traces = 0;
  dumpState.created.clear();
  XchgHeader header{};
  std::FILE* f = xchgOpen(record->geoSource, &header);
  if (f == nullptr) {
    xchgHeaderFree(&header);
    return -1;
  }
  const bool geometry = header.kind != nullptr && std::strcmp(header.kind, "Geometry") == 0;
  xchgHeaderFree(&header);
  XchgScope* scope = geometry ? xchgScopeNew() : nullptr;
  if (scope == nullptr) {
    xchgClose(f);
    return -1;
  }
  std::string cur[3];  // x, y, z texts of the last end point
  int kind = kBndDumpNone;
  bool plungePending = false;
  double plunge[2] = {0, 0};
  int scopes = 0;
  BndCoords v{};
  XchgElement e{};
  xchgElementClear(&e);
  while (xchgNextElement(f, &e) == 1) {
    if (e.kind == '{') {
      xchgScopePush(scope);
      plungePending = false;
      kind = kBndDumpNone;
    } else if (e.kind == '}') {
      xchgScopePop(scope);
      bndCloseDump();
      ++scopes;
    } else if (e.kind == 'v' && e.name != nullptr) {
      const char* value = e.id != nullptr ? e.id : "";
      xchgScopeSet(scope, e.name, value);
      double v = 0;
      if (std::strcmp(e.name, "surface") == 0) {
        if (bndNumber(value, &v)) record->surface = v;
      } else if (std::strcmp(e.name, "depth") == 0) {
        if (bndNumber(value, &v)) record->depth = v;
      } else if (std::strcmp(e.name, "3Dtype") == 0) {
        kind = bndKindOf3DType(value);
        bndOpenDump(record, kind);
        if (plungePending) bndDumpPlunge(plunge[0], plunge[1]);
      } else if (std::strcmp(e.name, "sideOfCompensation") == 0) {
        if (kind == kBndDumpProfile && std::strcmp(value, "rightOfContour") == 0)
          record->sideOfCompensation = 1;
        if (kind == kBndDumpProfile && std::strcmp(value, "leftOfContour") == 0)
          record->sideOfCompensation = 0;
      } else if (std::strcmp(e.name, "plungePoint") == 0) {
        if (bndParsePair(value, plunge) == 1) plungePending = true;
      }
    } else if (e.kind == 'o' && e.name != nullptr) {
      if (std::strcmp(e.name, "Contour") == 0) {
        kind = bndKindOfContourId(e.id);
        continue;
      }
      const bool line = std::strcmp(e.name, "L") == 0;
      const bool arc = std::strcmp(e.name, "A") == 0;
      const bool point = std::strcmp(e.name, "P") == 0;
      if (!line && !arc && !point) continue;
      XchgCoord c;
      xchgCoordPreset(&c, cur[0].c_str(), cur[1].c_str(), cur[2].c_str());
      xchgCoordParse(&c, &e);
      for (int a = 0; a < 3; ++a) {
        bndNumber(c.first[a], &v.first[a]);
        bndNumber(c.second[a], &v.second[a]);
        bndNumber(c.third[a], &v.third[a]);
      }
      if (point) {
        record->startPoint = {v.first[0], v.first[1], v.first[2]};
        record->startPointGiven = 1;
        continue;
      }
      for (int a = 0; a < 3; ++a) cur[a] = c.second[a];
      if (line && (kind == kBndDumpSync || kind == kBndDumpSync2)) {
        bndDumpPointVector(v.first[0], v.first[1], v.first[2], v.second[0], v.second[1],
                           v.second[2]);
      } else if (line) {
        bndDumpSegment(v.first[0], v.first[1], v.first[2], v.second[0], v.second[1], v.second[2]);
      } else {
        bndDumpArc(record, c.name[0], v.first[0], v.first[1], v.first[2], v.second[0], v.second[1],
                   v.second[2], v.third[0], v.third[1]);
      }
    }
  }
  bndCloseDump();
  xchgScopeFree(scope);
  xchgElementClear(&e);
  xchgClose(f);
  return scopes;
}

void bndDumpResetState() {
  if (dumpState.file != nullptr) std::fclose(dumpState.file);
  dumpState = BndWriterState{};
}

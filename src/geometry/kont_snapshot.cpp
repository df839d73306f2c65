// kont_snapshot.cpp - text snapshots of region lists, the holder that copies a list through one,
// and the contour module's exception class.
#include "geometry/kont_snapshot.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <source_location>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont_files.h"
#include "geometry/plane_geo.h"
#include "geometry/tri_mesh.h"

namespace {
constexpr double kGapTol = 1e-6;  // a segment starting farther from the last end opens a block

// "X%lf Y%lf Z%lg" in the "C" locale.
std::string kontSnapPoint(double x, double y, double z) {
  char line[1100];
  char* p = line;
  char* const end = line + sizeof line;
  const auto put = [&](char letter, double v, bool general) {
    if (p != line) *p++ = ' ';
    *p++ = letter;
    const auto res = general ? std::to_chars(p, end, v, std::chars_format::general, 6)
                             : std::to_chars(p, end, v, std::chars_format::fixed, 6);
    p = res.ec == std::errc{} ? res.ptr : p;
  };
  put('X', x, false);
  put('Y', y, false);
  put('Z', z, true);
  return std::string(line, p);
}

std::string kontSnapHeader(const Kont2D* k) {
  char line[64];
  std::snprintf(line, sizeof line, "**BND %p **WZ", static_cast<const void*>(k));
  return line;
}

// The blocks of one contour; a gap between segments closes a block and opens the next.
void kontSnapContour(KontSnapshot* snap, const Kont2D* k) {
  const Seg2D* s = k->segments;
  auto& out = snap->lines;
  out.push_back(kontSnapHeader(k));
  out.push_back(kontSnapPoint(s[0].x1, s[0].y1, k->z));
  for (int i = 1; i < k->count; ++i) {
    if (geoDist2D(g2dSegStart(s[i]), g2dSegEnd(s[i - 1])) > kGapTol) {
      out.push_back(kontSnapPoint(s[i - 1].x2, s[i - 1].y2, k->z));
      out.push_back("**END");
      out.push_back(kontSnapHeader(k));
    }
    out.push_back(kontSnapPoint(s[i].x1, s[i].y1, k->z));
  }
  out.push_back(kontSnapPoint(s[k->count - 1].x2, s[k->count - 1].y2, k->z));
  out.push_back("**END");
}

bool kontHasSegs(const Kont2D* k) { return k != nullptr && k->count > 0 && k->segments != nullptr; }

// Builds the holder's copy; throws Kont2DError when a line cannot be stored or parsing fails.
Kont2D* kontHolderCopy(const Kont2D* list) {
  KontSnapshot snap;
  try {
    for (const Kont2D* r = list; r != nullptr; r = r->next)
      for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k))
        if (kontHasSegs(k)) kontSnapContour(&snap, k);
  } catch (const std::bad_alloc&) {
    throw Kont2DError(-1, "Standardkonstruktor gescheitert",
                      static_cast<int>(std::source_location::current().line()));
  }
  geoErrReset();
  Kont2D* copy = kontSnapToRegions(&snap, 1, 1);
  if (geoErrCode() < 0) {
    kontFree(copy);
    throw Kont2DError(-1, "Copykonstruktor gescheitert",
                      static_cast<int>(std::source_location::current().line()));
  }
  return copy;
}
}  // namespace

Kont2DError::Kont2DError(int code, const char* message, int line)
    : code_(code), message_(message != nullptr ? message : ""), line_(line) {
  char text[300];
  std::snprintf(text, sizeof text, "%d %s %d", code_, message_.c_str(), line_);
  geoErrLog(text);
}

KontSnapshot* kontSnapInit(const Kont2D* list) {
  KontSnapshot* snap = new (std::nothrow) KontSnapshot;
  if (snap == nullptr) {
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  if (list != nullptr && kontSnapAddRegions(snap, list) < 0) {
    delete snap;
    return nullptr;
  }
  return snap;
}

void kontSnapFree(KontSnapshot* snap) { delete snap; }

int kontSnapAddRegions(KontSnapshot* snap, const Kont2D* list) {
  if (snap == nullptr) return geoFail(kGeoFailed, "kont2d");
  bool any = false;
  for (const Kont2D* r = list; r != nullptr; r = r->next) {
    for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) {
      const int res = kontSnapAddContour(snap, k);
      if (res < 0) return res;
      any = any || res == 1;
    }
  }
  return any ? 1 : 0;
}

int kontSnapAddContour(KontSnapshot* snap, const Kont2D* contour) {
  if (snap == nullptr) return geoFail(kGeoFailed, "kont2d");
  if (!kontHasSegs(contour)) return 0;
  const std::size_t before = snap->lines.size();
  try {
    kontSnapContour(snap, contour);
  } catch (...) {  // a line that cannot be stored: the snapshot stays as it was
    snap->lines.resize(before);
    return geoFail(kGeoFailed, "kont2d");
  }
  return 1;
}

Kont2D* kontSnapToRegions(const KontSnapshot* snap, int orientation, int constZ) {
  geoErrReset();
  if (snap == nullptr) return nullptr;
  std::vector<KontBlock> blocks;
  try {
    bool inBlock = false;
    for (const std::string& line : snap->lines) {
      const char* s = line.c_str();
      if (std::strstr(s, "**BND") != nullptr) {
        blocks.emplace_back();
        inBlock = true;
        continue;
      }
      if (!inBlock) continue;
      if (std::strstr(s, "**END") != nullptr) {
        inBlock = false;
        continue;
      }
      Point3D p{0.0, 0.0, 0.0};
      if (g2dReadLetterValue('X', s, &p.x) == 1 && g2dReadLetterValue('Y', s, &p.y) == 1 &&
          g2dReadLetterValue('Z', s, &p.z) == 1)
        blocks.back().push_back(p);
    }
  } catch (const std::bad_alloc&) {
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  if (blocks.empty()) return nullptr;
  return kontRegionsFromBlocks(blocks, orientation, constZ, false);
}

KontHolder* kontHolderInit(const Kont2D* list) {
  auto* holder = static_cast<KontHolder*>(memAllocZero(sizeof(KontHolder)));
  if (holder == nullptr) {
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  if (list == nullptr) return holder;
  try {
    holder->list = kontHolderCopy(list);
  } catch (...) {  // Kont2DError or anything else: the copy failed
    memFree(holder);
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  return holder;
}

void kontHolderFree(KontHolder* holder) {
  if (holder == nullptr) return;
  for (Kont2D* r = holder->list; r != nullptr; r = r->next) {
    triMeshFree(r->mesh);
    r->mesh = nullptr;
  }
  kontFree(holder->list);
  memFree(holder);
}

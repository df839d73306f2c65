// kont_files.cpp - regions read from boundary text files, plain segment dumps, and the building
// of nested, oriented, validated regions from point blocks that reading and snapshots share.
#include "geometry/kont_files.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "geometry/bnd_text.h"
#include "geometry/csys.h"
#include "geometry/geo_error.h"
#include "geometry/kont_nest.h"
#include "geometry/kont_region.h"

namespace {
constexpr double kSamePoint = 1e-6;   // a point this near the previous one of a block is dropped
constexpr double kNewRefZ = 0.001;    // a block starting this far from the reference z sets it
constexpr double kConstZTol = 0.01;   // constant-z mode: the farthest a point may lie off
constexpr double kGridStep = 1000.0;  // truncation grid of world coordinates: 0.001

struct KontFilesState {
  int dumpCounter = 0;
};
KontFilesState kontFilesState;

double kontTruncGrid(double v) { return std::trunc(v * kGridStep) / kGridStep; }

double kontDist3(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// Frees an array of unlinked contours.
void kontFreeArray(std::vector<Kont2D*>& ks) {
  for (Kont2D* k : ks) kontFree(k);
  ks.clear();
}

// Reverses one contour alone: an outer contour's islands are unhooked for the call.
void kontReverseOneContour(Kont2D* k) {
  Kont2D* child = k->child;
  k->child = nullptr;
  kontReverse(k);
  k->child = child;
}

// Kept points of one block: the closing repeat of the first point, if any, removed. Returns the
// number of distinct points to join into a closed contour.
int kontDistinctPoints(const KontBlock& b) {
  int n = static_cast<int>(b.size());
  if (n > 1 && std::hypot(b[n - 1].x - b[0].x, b[n - 1].y - b[0].y) <= kSamePoint) --n;
  return n;
}

// One block as a closed contour; 0 made, 1 skipped (too few points), negative code.
int kontContourOfBlock(const KontBlock& b, int constZ, double* refZ, bool firstBlock,
                       Kont2D** out) {
  *out = nullptr;
  const int n = kontDistinctPoints(b);
  if (n < 3) return 1;
  if (firstBlock || std::fabs(b[0].z - *refZ) > kNewRefZ) *refZ = b[0].z;
  Kont2D* k = kontNew(nullptr, n);
  if (k == nullptr) return -1;
  k->zmin = k->zmax = b[0].z;
  for (int i = 1; i <= n; ++i) {
    const Point3D& p = b[i % n];  // the last segment runs back to the first point
    if (i < n) {
      if (constZ != 0 && std::fabs(p.z - *refZ) > kConstZTol) {
        kontFree(k);
        return geoFail(kGeoBadArgument, "kont2d");
      }
      // With constZ the point lies at the reference z, so the z range follows that height.
      const double z = constZ != 0 ? *refZ : p.z;
      k->zmin = std::fmin(k->zmin, z);
      k->zmax = std::fmax(k->zmax, z);
    }
    const Point3D& q = b[i - 1];
    const Seg2D s{q.x, q.y, p.x, p.y};
    if (kontAppendSeg(k, &s) != 1) {
      kontFree(k);
      return -1;
    }
  }
  k->closed = 1;
  k->z = constZ != 0 ? *refZ : 0.0;
  *out = k;
  return 0;
}

// Reads the pieces of a boundary text file into blocks. Returns 1; a negative code.
int kontReadBlocks(std::FILE* f, std::vector<KontBlock>& blocks) {
  char piece[kBndPieceSize];
  bool inBlock = false, wz = false;
  while (bndTextNextPiece(f, piece) == 1) {
    if (std::strstr(piece, "**BND") != nullptr) {  // a header also ends a block left open
      blocks.emplace_back();
      inBlock = true;
      wz = std::strstr(piece, "**WZ") != nullptr;
      continue;
    }
    if (!inBlock) continue;
    if (std::strstr(piece, "**END") != nullptr) {
      inBlock = false;
      continue;
    }
    Point3D p{0.0, 0.0, 0.0};
    if (g2dReadLetterValue('X', piece, &p.x) != 1 || g2dReadLetterValue('Y', piece, &p.y) != 1 ||
        g2dReadLetterValue('Z', piece, &p.z) != 1)
      continue;
    if (!wz) {
      csysWorldToTool(&p);
      if (kontGetNoRound() == 0) {
        p.x = kontTruncGrid(p.x);
        p.y = kontTruncGrid(p.y);
        p.z = kontTruncGrid(p.z);
      }
    }
    if (bndTextPointUsable(p) != 1) continue;  // infinite or far beyond any travel: no point
    KontBlock& b = blocks.back();
    if (!b.empty() && kontDist3(b.back(), p) < kSamePoint) continue;
    b.push_back(p);
  }
  return 1;
}
}  // namespace

Kont2D* kontRegionsFromBlocks(const std::vector<KontBlock>& blocks, int orientation, int constZ,
                              bool merge) {
  if (orientation != 1 && orientation != -1) {
    geoFail(kGeoBadArgument, "kont2d");
    return nullptr;
  }
  std::vector<Kont2D*> ks;
  try {
    double refZ = 0.0;
    bool first = true;
    for (const KontBlock& b : blocks) {
      Kont2D* k = nullptr;
      const int r = kontContourOfBlock(b, constZ, &refZ, first, &k);
      if (r < 0) {
        kontFreeArray(ks);
        if (r == -1) geoFail(kGeoFailed, "kont2d");
        return nullptr;
      }
      if (r == 0) {
        first = false;
        ks.push_back(k);
      }
    }
  } catch (const std::bad_alloc&) {
    kontFreeArray(ks);
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  if (merge) {
    // A block whose points all lie on one line merges into fewer than 3 segments and encloses
    // nothing: it is skipped like a block of too few points.
    std::size_t kept = 0;
    for (Kont2D* k : ks) {
      kontMergeCollinear(k);
      if (k->count >= 3)
        ks[kept++] = k;
      else
        kontFree(k);
    }
    ks.resize(kept);
  }
  if (ks.empty()) return nullptr;
  if (kontNestArray(ks.data(), static_cast<int>(ks.size())) != 1) {
    kontFreeArray(ks);
    return nullptr;
  }
  for (Kont2D* k : ks) {
    const int want = k->depth % 2 == 0 ? orientation : -orientation;
    if (kontOrientation(k) != want) kontReverseOneContour(k);
  }
  Kont2D* head = ks[0];
  // A contour that runs the wrong way both ways round encloses no area of its own: it overlaps
  // itself, which the crossing check does not see.
  for (Kont2D* k : ks) {
    if (kontOrientation(k) != (k->depth % 2 == 0 ? orientation : -orientation)) {
      kontFree(head);
      geoFail(kKontSelfCrossing, "kont2d");
      return nullptr;
    }
  }
  for (Kont2D* r = head; r != nullptr; r = r->next) {
    const int v = kontValidate(r, kKontCheckIslands | kKontCheckCrossing);
    if (v != 1) {
      kontFree(head);
      geoFail(v < 0 ? v : -34, "kont2d");
      return nullptr;
    }
  }
  return head;
}

Kont2D* kontReadBnd(const char* fileName, int orientation, int constZ) {
  geoErrReset();
  if (fileName == nullptr || fileName[0] == '\0') {
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  std::FILE* f = std::fopen(fileName, "r");
  if (f == nullptr) {
    geoFail(-29, "kont2d");
    return nullptr;
  }
  std::vector<KontBlock> blocks;
  int r = 1;
  try {
    r = kontReadBlocks(f, blocks);
  } catch (const std::bad_alloc&) {
    r = -1;
  }
  std::fclose(f);
  if (r < 0 || blocks.empty()) {  // no memory, or no header line (also an empty file)
    geoFail(kGeoFailed, "kont2d");
    return nullptr;
  }
  return kontRegionsFromBlocks(blocks, orientation, constZ, true);
}

Kont2D* kontReadBndFlat(const char* fileName) { return kontReadBnd(fileName, 1, 0); }

int kontWriteSegs(const Kont2D* region, const char* fileName) {
  if (region == nullptr || region->segments == nullptr || fileName == nullptr)
    return geoFail(kGeoFailed, "kont2d");
  std::FILE* f = std::fopen(fileName, "w");
  if (f == nullptr) return geoFail(kGeoFailed, "kont2d");
  char line[4 * 360];
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      const Seg2D& s = k->segments[i];
      char* p = line;
      char* const end = line + sizeof line - 2;
      for (double v : {s.x1, s.y1, s.x2, s.y2}) {
        if (p != line) *p++ = ' ';
        const auto res = std::to_chars(p, end, v, std::chars_format::fixed, 6);
        p = res.ec == std::errc{} ? res.ptr : p;
      }
      *p++ = '\n';
      std::fwrite(line, 1, static_cast<std::size_t>(p - line), f);
    }
  }
  return std::fclose(f) == 0 ? 1 : geoFail(kGeoFailed, "kont2d");
}

int kontDumpNumbered(const Kont2D* region) {
  char name[32];
  std::snprintf(name, sizeof name, "%08d.kf", kontFilesState.dumpCounter);
  const int r = kontWriteSegs(region, name);
  if (r == 1 && kontFilesState.dumpCounter < 99999999) ++kontFilesState.dumpCounter;
  return r;
}

void kontFilesResetState() { kontFilesState = KontFilesState{}; }

// tri_mesh.cpp - the triangle mesh of a region, built from three triangulations (frame ring,
// region, islands), with neighbour links, point location by walking, point classification and
// the lookup of the contour segment between two triangles.
#include "geometry/tri_mesh.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/kont2d.h"
#include "geometry/kont_nest.h"
#include "geometry/plane_geo.h"
#include "geometry/seidel.h"

namespace {
constexpr double kOnEdge = 1e-8;  // a barycentric coordinate this near 0 puts p on an edge

int triClassBit(int cls) {
  if (cls == kTriInside) return kTriBitInside;
  if (cls == kTriIsland) return kTriBitIsland;
  return kTriBitOutside;
}

int triNeighbour(const TriMeshTri& t, int slot) {
  return slot == 0 ? t.nb0 : (slot == 1 ? t.nb1 : t.nb2);
}

int triVertex(const TriMeshTri& t, int k) { return k == 0 ? t.i0 : (k == 1 ? t.i1 : t.i2); }

// Slot of the smallest coordinate: 0 when l0 is below both others, else 1 when l1 is, else 2.
int triSmallestSlot(double l0, double l1, double l2) {
  if (l0 < l1 && l0 < l2) return 0;
  if (l1 < l0 && l1 < l2) return 1;
  return 2;
}

struct TriCoords {
  double l0 = -1.0, l1 = -1.0, l2 = 3.0;
  bool inside() const { return l0 >= 0.0 && l1 >= 0.0 && l2 > -kOnEdge; }
};

TriCoords triCoordsOf(const TriMesh* mesh, int k, const Point2D& p) {
  TriCoords c;
  triBarycentric(k, mesh, p, &c.l0, &c.l1);
  c.l2 = 1.0 - c.l0 - c.l1;
  return c;
}

// Edge record of the neighbour linking: the edge's vertices (lower first), triangle and slot.
struct TriEdgeRec {
  int lo, hi, tri, slot;
};

std::vector<TriEdgeRec> triEdgeRecords(const TriMesh* mesh) {
  std::vector<TriEdgeRec> e;
  e.reserve(static_cast<std::size_t>(mesh->count) * 3);
  for (int t = 0; t < mesh->count; ++t) {
    const TriMeshTri& tr = mesh->triangles[t];
    const int pairs[3][3] = {{tr.i0, tr.i1, 2}, {tr.i1, tr.i2, 0}, {tr.i2, tr.i0, 1}};
    for (const auto& pr : pairs)
      e.push_back({std::min(pr[0], pr[1]), std::max(pr[0], pr[1]), t, pr[2]});
  }
  std::sort(e.begin(), e.end(), [](const TriEdgeRec& a, const TriEdgeRec& b) {
    return a.lo != b.lo ? a.lo < b.lo : (a.hi != b.hi ? a.hi < b.hi : a.tri < b.tri);
  });
  return e;
}

void triSetNeighbour(TriMeshTri& t, int slot, int nb) {
  (slot == 0 ? t.nb0 : (slot == 1 ? t.nb1 : t.nb2)) = nb;
}

bool triEdgeLess(const TriBoundaryEdge& a, const TriBoundaryEdge& b) {
  return a.lower != b.lower ? a.lower < b.lower : a.higher < b.higher;
}

// Shell sort by (lower, higher) with the gaps 1, 4, 13, ... (3h + 1).
void triSortEdges(TriEdgeList* list) {
  const int n = list->count;
  TriBoundaryEdge* a = list->items;
  int h = 1;
  while (h < n / 3) h = 3 * h + 1;
  for (; h >= 1; h /= 3) {
    for (int i = h; i < n; ++i) {
      const TriBoundaryEdge v = a[i];
      int j = i;
      for (; j >= h && triEdgeLess(v, a[j - h]); j -= h) a[j] = a[j - h];
      a[j] = v;
    }
  }
}

int triEdgeAppend(TriEdgeList* list, const TriBoundaryEdge& e) {
  if (list->count >= list->capacity) {
    const long grown = static_cast<long>(list->capacity) * 3 / 2 + 1;
    if (grown > 0x3fffffff) return geoFail(kGeoFailed, "Tripoly");
    void* p = memRealloc(list->items, sizeof(TriBoundaryEdge) * static_cast<std::size_t>(grown));
    if (p == nullptr) return geoFail(kGeoFailed, "Tripoly");
    list->items = static_cast<TriBoundaryEdge*>(p);
    list->capacity = static_cast<int>(grown);
  }
  list->items[list->count++] = e;
  return 1;
}

// ---- building -----------------------------------------------------------------------------------

// One polygon for the triangulation: 1-based points, their mesh vertex indices, contour sizes.
struct TriPolygon {
  std::vector<Point2D> pts{Point2D{0.0, 0.0}};
  std::vector<int> vertex{-1};
  std::vector<int> counts;

  void addContour(const Kont2D* k, int firstVertex, bool reversed) {
    const int n = k->count;
    counts.push_back(n);
    for (int i = 0; i < n; ++i) {
      const int j = reversed ? n - 1 - i : i;
      pts.push_back({k->segments[j].x1, k->segments[j].y1});
      vertex.push_back(firstVertex + j);
    }
  }
  int pointCount() const { return static_cast<int>(pts.size()) - 1; }
  int holes() const { return static_cast<int>(counts.size()) - 1; }
};

// Triangulates the polygon into the mesh with the class; false on any failure.
bool triAddPolygon(TriMesh* mesh, const TriPolygon& poly, int cls) {
  const int expect = poly.pointCount() + 2 * poly.holes() - 2;
  if (expect < 1) return false;
  std::vector<int> out(static_cast<std::size_t>(expect) * 3 + 3, 0);
  triSeidelClear();
  triSeidelSetTriangleLimit(expect);
  if (triangulate_polygonm_seidel(static_cast<int>(poly.counts.size()), poly.counts.data(),
                                  poly.pts.data(), reinterpret_cast<int(*)[3]>(out.data())) != 1)
    return false;
  const int n = poly.pointCount();
  for (int t = 0; t < expect; ++t) {
    const int* v = &out[static_cast<std::size_t>(t) * 3];
    for (int k = 0; k < 3; ++k)
      if (v[k] < 1 || v[k] > n) return false;  // an index outside the polygon: inconsistent output
    TriMeshTri tri{poly.vertex[v[0]], poly.vertex[v[1]], poly.vertex[v[2]], -1, -1, -1, cls, 0.0};
    if (triMeshAddTri(mesh, tri) != 1) return false;
  }
  return true;
}

TriMesh* triBuild(const Kont2D* region) {
  const int o = kontOrientation(region);
  long total = 4;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k)) {
    if (k->segments == nullptr || k->count < 3) {
      geoFail(kGeoFailed, "Tripoly");
      return nullptr;
    }
    total += k->count;
    if (total > kTriMeshPointLimit) {
      geoFail(kGeoFailed, "Tripoly");
      return nullptr;
    }
  }
  const int points = static_cast<int>(total);
  if (triSeidelPrepare(2 * points + 3) != 1) return nullptr;
  TriMesh* mesh = triMeshNew(2 * points + 2);
  if (mesh == nullptr) return nullptr;

  const double gx = 0.1 * (region->xmax - region->xmin), gy = 0.1 * (region->ymax - region->ymin);
  const Point2D corners[4] = {{region->xmin - gx, region->ymin - gy},
                              {region->xmax + gx, region->ymin - gy},
                              {region->xmax + gx, region->ymax + gy},
                              {region->xmin - gx, region->ymax + gy}};
  bool ok = true;
  for (const Point2D& c : corners) ok = ok && lstPt2Append(mesh->vertices, c) == 1;
  for (const Kont2D* k = region; ok && k != nullptr; k = kontWalkNext(region, k))
    for (int i = 0; ok && i < k->count; ++i)
      ok = lstPt2Append(mesh->vertices, g2dSegStart(k->segments[i])) == 1;

  // Frame ring: the enlarged box with the outer contour as a clockwise hole.
  if (ok) {
    TriPolygon ring;
    ring.counts.push_back(4);
    for (int i = 0; i < 4; ++i) {
      ring.pts.push_back(corners[i]);
      ring.vertex.push_back(i);
    }
    ring.addContour(region, 4, o == 1);
    ok = triAddPolygon(mesh, ring, kTriFrame);
  }
  // The region: counter-clockwise outer contour, clockwise islands.
  int first = 4 + region->count;
  if (ok) {
    TriPolygon inside;
    inside.addContour(region, 4, o != 1);
    for (const Kont2D* isl = region->child; isl != nullptr; isl = isl->next) {
      inside.addContour(isl, first, kontOrientation(isl) == 1);
      first += isl->count;
    }
    ok = triAddPolygon(mesh, inside, kTriInside);
  }
  // Each island alone, counter-clockwise.
  first = 4 + region->count;
  for (const Kont2D* isl = region->child; ok && isl != nullptr; isl = isl->next) {
    TriPolygon island;
    island.addContour(isl, first, kontOrientation(isl) != 1);
    first += isl->count;
    ok = triAddPolygon(mesh, island, kTriIsland);
  }
  if (ok) ok = triMeshLinkNeighbours(mesh) == 1 && triMarkBoundary(mesh, region) == 1;
  if (!ok) {
    triMeshFree(mesh);
    geoFail(kGeoFailed, "Tripoly");
    return nullptr;
  }
  return mesh;
}
}  // namespace

TriMesh* triSeidelMesh(const Kont2D* region) {
  geoErrReset();
  if (region == nullptr || region->segments == nullptr || region->count < 3) {
    geoFail(kGeoFailed, "Tripoly");
    return nullptr;
  }
  TriMesh* mesh = nullptr;
  try {
    mesh = triBuild(region);
  } catch (...) {  // scratch vectors out of memory: the ordinary failure result
    mesh = nullptr;
    geoFail(kGeoFailed, "Tripoly");
  }
  triSeidelRelease();
  return mesh;
}

TriMesh* triPolyTriangulate(Kont2D* region) {
  const int valid = kontValidate(region, kKontCheckIslands | kKontCheckCrossing);
  if (valid != 1) {
    geoFail(-34, "Tripoly");
    return nullptr;
  }
  TriMesh* mesh = triSeidelMesh(region);
  if (mesh == nullptr) geoErrLog("Triangulierung gescheitert");
  return mesh;
}

TriMesh* triMeshNew(int n) {
  const int cap = std::max(n, 3);
  auto* mesh = static_cast<TriMesh*>(memAllocZero(sizeof(TriMesh)));
  if (mesh == nullptr) {
    geoFail(kGeoFailed, "Tripoly");
    return nullptr;
  }
  mesh->capacity = cap;
  mesh->triangles =
      static_cast<TriMeshTri*>(memAllocZero(sizeof(TriMeshTri) * static_cast<std::size_t>(cap)));
  mesh->vertices = lstPt2New(cap + 2);
  mesh->boundaryEdges = static_cast<TriEdgeList*>(memAllocZero(sizeof(TriEdgeList)));
  if (mesh->boundaryEdges != nullptr) {
    mesh->boundaryEdges->items = static_cast<TriBoundaryEdge*>(
        memAllocZero(sizeof(TriBoundaryEdge) * static_cast<std::size_t>(cap + 2)));
    mesh->boundaryEdges->capacity = mesh->boundaryEdges->items != nullptr ? cap + 2 : 0;
  }
  if (mesh->triangles == nullptr || mesh->vertices == nullptr || mesh->boundaryEdges == nullptr ||
      mesh->boundaryEdges->items == nullptr) {
    triMeshFree(mesh);
    geoFail(kGeoFailed, "Tripoly");
    return nullptr;
  }
  return mesh;
}

int triMeshFree(TriMesh* chain) {
  while (chain != nullptr) {
    TriMesh* next = chain->next;
    memFree(chain->triangles);
    lstBox2Free(chain->vertices);
    if (chain->boundaryEdges != nullptr) memFree(chain->boundaryEdges->items);
    memFree(chain->boundaryEdges);
    memFree(chain);
    chain = next;
  }
  return 1;
}

int triMeshAddTri(TriMesh* mesh, const TriMeshTri& tri) {
  if (mesh == nullptr || mesh->triangles == nullptr || mesh->vertices == nullptr)
    return geoFail(kGeoFailed, "Tripoly");
  const int nv = mesh->vertices->count;
  for (int v : {tri.i0, tri.i1, tri.i2})
    if (v < 0 || v >= nv) return geoFail(kGeoFailed, "Tripoly");
  if (mesh->count >= mesh->capacity) {
    const long grown = static_cast<long>(mesh->capacity) * 3 / 2 + 1;
    if (grown > 0x3fffffff) return geoFail(kGeoFailed, "Tripoly");
    void* p = memRealloc(mesh->triangles, sizeof(TriMeshTri) * static_cast<std::size_t>(grown));
    if (p == nullptr) return geoFail(kGeoFailed, "Tripoly");
    mesh->triangles = static_cast<TriMeshTri*>(p);
    mesh->capacity = static_cast<int>(grown);
  }
  const Point2D* v = mesh->vertices->items;
  const Point2D &a = v[tri.i0], &b = v[tri.i1], &c = v[tri.i2];
  const double cross = (a.x - c.x) * (b.y - c.y) - (a.y - c.y) * (b.x - c.x);
  TriMeshTri t = tri;
  // A triangle of no area stores 0: it contains no point and adds nothing to any area.
  t.inv2Area = cross != 0.0 && std::isfinite(1.0 / cross) ? 1.0 / cross : 0.0;
  if (t.inv2Area < 0.0) {
    std::swap(t.i0, t.i2);
    t.inv2Area = -t.inv2Area;
  }
  mesh->triangles[mesh->count++] = t;
  return 1;
}

int triMeshLinkNeighbours(TriMesh* mesh) {
  if (mesh == nullptr || mesh->count < 2) return 1;
  std::vector<TriEdgeRec> e;
  try {
    e = triEdgeRecords(mesh);
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, "Tripoly");
  }
  for (int t = 0; t < mesh->count; ++t) {
    TriMeshTri& tr = mesh->triangles[t];
    tr.nb0 = tr.nb1 = tr.nb2 = -1;
  }
  for (std::size_t i = 0; i + 1 < e.size(); ++i) {
    if (e[i].lo != e[i + 1].lo || e[i].hi != e[i + 1].hi) continue;
    triSetNeighbour(mesh->triangles[e[i].tri], e[i].slot, e[i + 1].tri);
    triSetNeighbour(mesh->triangles[e[i + 1].tri], e[i + 1].slot, e[i].tri);
    ++i;
  }
  return 1;
}

void triMeshTranslate(TriMesh* chain, double dx, double dy, double dz) {
  for (TriMesh* m = chain; m != nullptr; m = m->next) {
    if (m->vertices != nullptr) {
      Pt2List* v = m->vertices;
      for (int i = 0; i < v->count; ++i) {
        v->items[i].x += dx;
        v->items[i].y += dy;
      }
      if (v->count > 0) {
        v->xmin += dx;
        v->xmax += dx;
        v->ymin += dy;
        v->ymax += dy;
      }
    }
    m->z += dz;
  }
}

void triMeshScale(TriMesh* chain, double factor) {
  const double f2 = factor * factor;
  for (TriMesh* m = chain; m != nullptr; m = m->next) {
    if (m->vertices != nullptr) {
      Pt2List* v = m->vertices;
      for (int i = 0; i < v->count; ++i) {
        v->items[i].x *= factor;
        v->items[i].y *= factor;
      }
      if (v->count > 0) {
        v->xmin *= factor;
        v->xmax *= factor;
        v->ymin *= factor;
        v->ymax *= factor;
        if (factor < 0.0) {
          std::swap(v->xmin, v->xmax);
          std::swap(v->ymin, v->ymax);
        }
      }
    }
    for (int t = 0; t < m->count && m->triangles != nullptr; ++t) {
      double& s = m->triangles[t].inv2Area;
      s = f2 != 0.0 ? s / f2 : 0.0;
    }
    m->z *= factor;
  }
}

int triBarycentric(int k, const TriMesh* mesh, const Point2D& p, double* l0, double* l1) {
  *l0 = -1.0;
  *l1 = -1.0;
  if (mesh == nullptr || k < 0 || k >= mesh->count) return 0;
  const TriMeshTri& t = mesh->triangles[k];
  const double s = t.inv2Area;
  if (s == 0.0) return 1;
  const Point2D* v = mesh->vertices->items;
  const Point2D &a = v[t.i0], &b = v[t.i1], &c = v[t.i2];
  double r0 = (p.x - c.x) * (b.y - c.y) - (p.y - c.y) * (b.x - c.x);
  double r1 = (p.y - c.y) * (a.x - c.x) - (p.x - c.x) * (a.y - c.y);
  if (std::fabs(r0) <= kOnEdge) r0 = 0.0;
  if (std::fabs(r1) <= kOnEdge) r1 = 0.0;
  *l0 = r0 * s;
  *l1 = r1 * s;
  return 1;
}

int triLocate(const TriMesh* mesh, const Point2D& p, double* l0, double* l1, double* l2) {
  TriCoords c;
  int found = -1;
  if (mesh != nullptr && mesh->count > 0) {
    int t = 0;
    c = triCoordsOf(mesh, t, p);
    for (int steps = 0; !c.inside() && steps < mesh->count; ++steps) {
      int slot = 2;
      if (c.l0 < 0.0 && c.l0 <= c.l1 && c.l0 <= c.l2)
        slot = 0;
      else if (c.l1 < 0.0 && c.l1 <= c.l0 && c.l1 <= c.l2)
        slot = 1;
      const int nb = triNeighbour(mesh->triangles[t], slot);
      if (nb < 0) break;
      t = nb;
      c = triCoordsOf(mesh, t, p);
    }
    if (c.inside()) {
      found = t;
    } else {  // the walk ran out or off the mesh: scan every triangle
      for (int k = 0; k < mesh->count; ++k) {
        c = triCoordsOf(mesh, k, p);
        if (c.inside()) {
          found = k;
          break;
        }
      }
    }
  }
  if (l0 != nullptr) *l0 = c.l0;
  if (l1 != nullptr) *l1 = c.l1;
  if (l2 != nullptr) *l2 = c.l2;
  return found;
}

int triContains(const Point2D& p, const TriMesh* mesh, int k) {
  if (mesh == nullptr || k < 0 || k >= mesh->count) return 0;
  return triCoordsOf(mesh, k, p).inside() ? 1 : 0;
}

int triClassifyPoint(const TriMesh* mesh, const Point2D& p) {
  if (mesh == nullptr) return -1;
  double l[3];
  const int t = triLocate(mesh, p, &l[0], &l[1], &l[2]);
  if (t < 0) return kTriBitOutside;
  const TriMeshTri& tr = mesh->triangles[t];
  int bits = triClassBit(tr.cls);
  for (int k = 0; k < 3; ++k) {
    if (std::fabs(l[k]) > kOnEdge) continue;
    const int nb = triNeighbour(tr, k);
    bits |= nb < 0 ? kTriBitOutside : triClassBit(mesh->triangles[nb].cls);
    break;
  }
  return bits;
}

int triAdjacent(int a, int b, const TriMesh* mesh) {
  if (mesh == nullptr) return 0;
  if (a < 0 && b < 0) return 1;
  if (a >= mesh->count || b >= mesh->count) return 0;
  if (a < 0 || b < 0) {
    const TriMeshTri& t = mesh->triangles[a < 0 ? b : a];
    return (t.nb0 < 0 || t.nb1 < 0 || t.nb2 < 0) ? 1 : 0;
  }
  const TriMeshTri &ta = mesh->triangles[a], &tb = mesh->triangles[b];
  const bool ab = ta.nb0 == b || ta.nb1 == b || ta.nb2 == b;
  const bool ba = tb.nb0 == a || tb.nb1 == a || tb.nb2 == a;
  return ab && ba ? 1 : 0;
}

int triMarkBoundary(TriMesh* mesh, const Kont2D* region) {
  if (mesh == nullptr || region == nullptr) return 0;
  TriEdgeList* list = mesh->boundaryEdges;
  if (list == nullptr) return geoFail(kGeoFailed, "Tripoly");
  list->count = 0;
  // A built mesh numbers the contour start points from 4 in walk order, so each segment is a
  // mesh edge whose two triangles come from the edge table; any other mesh locates midpoints.
  std::vector<TriEdgeRec> edges;
  try {
    edges = triEdgeRecords(mesh);
  } catch (const std::bad_alloc&) {
    return geoFail(kGeoFailed, "Tripoly");
  }
  const Pt2List* v = mesh->vertices;
  int contour = -1;
  int base = 4;
  for (const Kont2D* k = region; k != nullptr; k = kontWalkNext(region, k), ++contour) {
    for (int i = 0; i < k->count && k->segments != nullptr; ++i) {
      const Seg2D& s = k->segments[i];
      int t = -1, u = -1;
      const int va = base + i, vb = base + (i + 1) % k->count;
      if (vb < v->count && v->items[va].x == s.x1 && v->items[va].y == s.y1 &&
          v->items[vb].x == s.x2 && v->items[vb].y == s.y2) {
        const TriEdgeRec key{std::min(va, vb), std::max(va, vb), -1, 0};
        auto it = std::lower_bound(edges.begin(), edges.end(), key,
                                   [](const TriEdgeRec& a, const TriEdgeRec& b) {
                                     return a.lo != b.lo ? a.lo < b.lo : a.hi < b.hi;
                                   });
        if (it != edges.end() && it->lo == key.lo && it->hi == key.hi) {
          t = it->tri;
          u = triNeighbour(mesh->triangles[t], it->slot);
        }
      }
      if (t < 0) {
        double l[3];
        t = triLocate(mesh, Point2D{0.5 * (s.x1 + s.x2), 0.5 * (s.y1 + s.y2)}, &l[0], &l[1], &l[2]);
        if (t < 0) continue;  // the midpoint lies off the mesh: no triangle borders the segment
        u = triNeighbour(mesh->triangles[t], triSmallestSlot(l[0], l[1], l[2]));
      }
      if (triEdgeAppend(list, {std::min(t, u), std::max(t, u), contour, i}) != 1) return -1;
    }
    base += k->count;
  }
  triSortEdges(list);
  return 1;
}

int triFindBoundaryEdge(const TriMesh* mesh, int a, int b) {
  if (mesh == nullptr || mesh->boundaryEdges == nullptr) return -1;
  const TriEdgeList* list = mesh->boundaryEdges;
  const TriBoundaryEdge key{std::min(a, b), std::max(a, b), 0, 0};
  const TriBoundaryEdge* end = list->items + list->count;
  const TriBoundaryEdge* it =
      std::lower_bound(static_cast<const TriBoundaryEdge*>(list->items), end, key, triEdgeLess);
  if (it == end || it->lower != key.lower || it->higher != key.higher) return -1;
  return static_cast<int>(it - list->items);
}

int triWalkSegment(const TriMesh* mesh, const Seg2D& seg, int* from, int* to, int edge[2]) {
  if (mesh == nullptr || from == nullptr || to == nullptr || edge == nullptr)
    return geoFail(kGeoFailed, "Tripoly");
  Point2D q = g2dSegStart(seg), r = g2dSegEnd(seg);
  const int cq = triClassifyPoint(mesh, q);
  if (cq == triClassifyPoint(mesh, r)) return 0;
  const Point2D* v = mesh->vertices->items;
  for (int steps = 0; steps <= mesh->count; ++steps) {
    const int b = triLocate(mesh, q, nullptr, nullptr, nullptr);
    const int c = triLocate(mesh, r, nullptr, nullptr, nullptr);
    if (b >= 0 && c >= 0 && b != c && triAdjacent(b, c, mesh) == 1) {
      const TriMeshTri& tb = mesh->triangles[b];
      const int slot = tb.nb0 == c ? 0 : (tb.nb1 == c ? 1 : 2);
      const int e0 = triVertex(tb, (slot + 1) % 3), e1 = triVertex(tb, (slot + 2) % 3);
      const Seg2D crossed{v[e0].x, v[e0].y, v[e1].x, v[e1].y};
      if (triFindBoundaryEdge(mesh, b, c) >= 0 && geoSegsCross(seg, crossed) == 1) {
        *from = b;
        *to = c;
        edge[0] = e0;
        edge[1] = e1;
        return 1;
      }
    } else if (b >= 0 && b == c) {
      const TriMeshTri& tb = mesh->triangles[b];
      for (int slot = 0; slot < 2; ++slot) {
        const int nb = triNeighbour(tb, slot);
        if (nb >= 0 && triAdjacent(b, nb, mesh) == 1 && triContains(r, mesh, nb) == 1) {
          *from = b;
          *to = nb;
          edge[0] = triVertex(tb, (slot + 1) % 3);
          edge[1] = triVertex(tb, (slot + 2) % 3);
          return 1;
        }
      }
    }
    const Point2D m{0.5 * (q.x + r.x), 0.5 * (q.y + r.y)};
    if (triClassifyPoint(mesh, m) == cq)
      q = m;
    else
      r = m;
  }
  return geoFail(kGeoInconsistent, "Tripoly");
}

double triMeshClassArea(const TriMesh* mesh, int cls) {
  if (mesh == nullptr) return 0.0;
  double sum = 0.0;
  for (int t = 0; t < mesh->count; ++t) {
    const TriMeshTri& tr = mesh->triangles[t];
    if (tr.cls == cls && tr.inv2Area > 0.0) sum += 0.5 / tr.inv2Area;
  }
  return sum;
}

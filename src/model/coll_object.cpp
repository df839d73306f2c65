// coll_object.cpp - box trees over float triangle lists and the tree-against-tree walk that finds
// meeting triangle pairs. The tree is built by pairing neighbours in list order, so its quality
// rests on the caller appending triangles in spatial order (grid cells, sectors of a revolution).
#include "model/coll_object.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "framework/memory.h"
#include "geometry/geo_error.h"

namespace {

constexpr const char* kCollSource = "wcolldetect";

struct CollState {
  CollStats stats{};
};
CollState collState;

// A double narrowed to f32 without moving inward: down never rounds up, up never rounds down.
float collFloatDown(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) > v) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}
float collFloatUp(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// 1 when the placement maps every point to itself exactly (rotation and translation).
bool collIsIdentity(const Matrix4& m) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (m.m[r][c] != (r == c ? 1.0 : 0.0)) return false;
    }
  }
  return true;
}

// Stored body-frame boxes stand for the placed boxes when the rotation's diagonal is exactly 1
// (a rotation then is the identity) and nothing is translated.
bool collIdentityShortcut(const Matrix4& m) {
  return m.m[0][0] == 1.0 && m.m[1][1] == 1.0 && m.m[2][2] == 1.0 && m.m[3][0] == 0.0 &&
         m.m[3][1] == 0.0 && m.m[3][2] == 0.0;
}

Point3D collCorner(const TriF& t, int k) {
  return Point3D{static_cast<double>(t.v[3 * k]), static_cast<double>(t.v[3 * k + 1]),
                 static_cast<double>(t.v[3 * k + 2])};
}

// Corner k of triangle t under the object's placement, without the position.
Point3D collPlaceCorner(const CollisionObject* o, const TriF& t, int k, bool identity) {
  Point3D p = collCorner(t, k);
  if (!identity) matTransformPoint(p, o->placement, &p);
  return p;
}

int collUsedNodes(const CollisionObject* o) {
  return o->triangles != nullptr && o->triangles->count == 1 ? 1 : o->nodeCount;
}

// Children precede their parents in the node array, so one sweep in array order refits every
// box from the leaves up.
void collRefit(CollisionObject* o) {
  const bool identity = collIsIdentity(o->placement);
  const int used = collUsedNodes(o);
  for (int i = 0; i < used; ++i) {
    CollisionNode* n = &o->nodes[i];
    if (n->first == nullptr && n->second == nullptr) {
      const TriF& t = o->triangles->items[n->triangle];
      double lo[3], hi[3];
      for (int k = 0; k < 3; ++k) {
        const Point3D p = collPlaceCorner(o, t, k, identity);
        const double c[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) {
          if (k == 0 || c[a] < lo[a]) lo[a] = c[a];
          if (k == 0 || c[a] > hi[a]) hi[a] = c[a];
        }
      }
      for (int a = 0; a < 3; ++a) {
        n->box[a] = collFloatDown(lo[a]);
        n->box[a + 3] = collFloatUp(hi[a]);
      }
    } else if (n->first != nullptr && n->second != nullptr) {
      for (int a = 0; a < 3; ++a) {
        n->box[a] = std::min(n->first->box[a], n->second->box[a]);
        n->box[a + 3] = std::max(n->first->box[a + 3], n->second->box[a + 3]);
      }
    } else {
      const CollisionNode* only = n->first != nullptr ? n->first : n->second;
      std::copy(only->box, only->box + 6, n->box);
    }
  }
}

// How one object's boxes are read during a walk.
struct CollSide {
  const CollisionObject* object;
  bool transformCorners;  // body-frame boxes under a rotated placement
  double position[3];
};

CollSide collSideOf(const CollisionObject* o) {
  CollSide s{o, false, {o->position[0], o->position[1], o->position[2]}};
  s.transformCorners = o->refit != kCollFitCurrent && !collIdentityShortcut(o->placement);
  return s;
}

// The node's box as placed, in double. Transformed corners are widened by a bound of the
// rounding of the transform, so a box never misses a triangle placed by the same transform.
void collPlacedBox(const CollSide& s, const CollisionNode* n, double out[6]) {
  if (!s.transformCorners) {
    for (int a = 0; a < 6; ++a) out[a] = static_cast<double>(n->box[a]) + s.position[a % 3];
    return;
  }
  const Matrix4& m = s.object->placement;
  double lo[3], hi[3];
  for (int k = 0; k < 8; ++k) {
    const Point3D c{n->box[(k & 1) != 0 ? 3 : 0], n->box[(k & 2) != 0 ? 4 : 1],
                    n->box[(k & 4) != 0 ? 5 : 2]};
    Point3D p;
    matTransformPoint(c, m, &p);
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      if (k == 0 || v[a] < lo[a]) lo[a] = v[a];
      if (k == 0 || v[a] > hi[a]) hi[a] = v[a];
    }
  }
  for (int a = 0; a < 3; ++a) {
    double size = std::fabs(m.m[3][a]);
    for (int r = 0; r < 3; ++r) {
      const double c = std::max(std::fabs(static_cast<double>(n->box[r])),
                                std::fabs(static_cast<double>(n->box[r + 3])));
      size += c * std::fabs(m.m[r][a]);
    }
    const double widen = 8.0 * DBL_EPSILON * size;
    out[a] = lo[a] - widen + s.position[a];
    out[a + 3] = hi[a] + widen + s.position[a];
  }
}

// Boxes are apart when on some axis the maximum of one lies strictly below the minimum of the
// other; touching boxes are not apart.
bool collBoxesApart(const CollSide& sa, const CollisionNode* a, const CollSide& sb,
                    const CollisionNode* b) {
  ++collState.stats.boxTests;
  double ba[6], bb[6];
  collPlacedBox(sa, a, ba);
  collPlacedBox(sb, b, bb);
  for (int k = 0; k < 3; ++k) {
    if (ba[k + 3] < bb[k] || bb[k + 3] < ba[k]) return true;
  }
  return false;
}

struct CollWalk {
  CollSide a;
  CollSide b;
  int all;
  RecList* pairs;
  bool stop;
};

void collTreePairWalk(CollWalk* w, const CollisionNode* a, const CollisionNode* b) {
  if (w->stop || a == nullptr || b == nullptr) return;
  if (collBoxesApart(w->a, a, w->b, b)) return;
  const bool leafA = a->first == nullptr && a->second == nullptr;
  const bool leafB = b->first == nullptr && b->second == nullptr;
  if (leafA && leafB) {
    Tri3D p, q;
    collObjectPlacedTriangle(w->a.object, a->triangle, &p);
    collObjectPlacedTriangle(w->b.object, b->triangle, &q);
    ++collState.stats.triTests;
    if (collTriTriIntersect(p, q) == 1) {
      const int appended = lstRec8Append(w->pairs, Rec8{{a->triangle, b->triangle}});
      if (appended < 0 || w->all == 0) w->stop = true;
    }
    return;
  }
  if (leafA) {
    collTreePairWalk(w, a, b->first);
    collTreePairWalk(w, a, b->second);
  } else if (leafB) {
    collTreePairWalk(w, a->first, b);
    collTreePairWalk(w, a->second, b);
  } else {
    collTreePairWalk(w, a->first, b->first);
    collTreePairWalk(w, a->first, b->second);
    collTreePairWalk(w, a->second, b->first);
    collTreePairWalk(w, a->second, b->second);
  }
}

// The interval of the three points projected on axis.
void collProject(const Point3D pts[3], const Point3D& axis, double* lo, double* hi) {
  const double d0 = vecDot(pts[0], axis), d1 = vecDot(pts[1], axis), d2 = vecDot(pts[2], axis);
  *lo = std::min({d0, d1, d2});
  *hi = std::max({d0, d1, d2});
}

bool collSame(const Point3D& a, const Point3D& b) {
  return std::fabs(a.x - b.x) < kCollSamePoint && std::fabs(a.y - b.y) < kCollSamePoint &&
         std::fabs(a.z - b.z) < kCollSamePoint;
}

}  // namespace

CollisionObject* collObjectNew(TriFList* triangles) {
  geoErrReset();
  if (triangles == nullptr || triangles->count < 1 || triangles->items == nullptr) return nullptr;
  std::int64_t nodes = triangles->count;
  for (std::int64_t k = triangles->count;;) {
    k = (k + 1) / 2;
    nodes += k;
    if (k == 1) break;
  }
  if (nodes > std::numeric_limits<std::int32_t>::max()) {
    geoFail(kGeoFailed, kCollSource);
    return nullptr;
  }
  auto* o = static_cast<CollisionObject*>(memAllocZero(sizeof(CollisionObject)));
  if (o == nullptr) {
    geoFail(kGeoFailed, kCollSource);
    return nullptr;
  }
  o->nodes = static_cast<CollisionNode*>(
      memAllocZero(static_cast<std::size_t>(nodes) * sizeof(CollisionNode)));
  if (o->nodes == nullptr) {
    memFree(o);
    geoFail(kGeoFailed, kCollSource);
    return nullptr;
  }
  o->triangles = triangles;
  o->nodeCount = static_cast<std::int32_t>(nodes);
  matIdentity(&o->placement);

  const int n = triangles->count;
  for (int i = 0; i < n; ++i) o->nodes[i].triangle = i;
  int levelStart = 0, levelCount = n, next = n;
  while (levelCount > 1) {
    int parents = 0;
    for (int i = 0; i < levelCount; i += 2, ++parents) {
      CollisionNode* p = &o->nodes[next++];
      p->first = &o->nodes[levelStart + i];
      p->second = i + 1 < levelCount ? &o->nodes[levelStart + i + 1] : nullptr;
      p->triangle = -1;
    }
    levelStart += levelCount;
    levelCount = parents;
  }
  o->root = &o->nodes[levelStart];
  collRefit(o);
  o->refit = kCollFitCurrent;
  return o;
}

void collObjectFree(CollisionObject* object) {
  if (object == nullptr) return;
  memFree(object->nodes);
  if (object->ownsTriangles != 0) lstTriFFree(object->triangles);
  memFree(object);
}

void collObjectSetPlacement(CollisionObject* object, const Matrix4& placement) {
  if (object == nullptr) return;
  if (object->refit == kCollFitCurrent) {
    object->refit = collIsIdentity(object->placement) ? kCollFitBody : kCollFitStale;
  }
  matCopy(&object->placement, placement);
}

void collObjectUpdate(CollisionObject* object) {
  if (object == nullptr) return;
  collRefit(object);
  object->refit = kCollFitCurrent;
}

void collObjectSetPosition(CollisionObject* object, float x, float y, float z) {
  if (object == nullptr) return;
  object->position[0] = x;
  object->position[1] = y;
  object->position[2] = z;
}

int collObjectsIntersect(CollisionObject* a, CollisionObject* b, int all, RecList* pairs) {
  if (a == nullptr || b == nullptr) return 0;
  // Boxes of an earlier rotated placement say nothing about the current one.
  if (a->refit == kCollFitStale) collObjectUpdate(a);
  if (b->refit == kCollFitStale) collObjectUpdate(b);
  const int before = all != 0 && pairs != nullptr ? pairs->count : 0;
  CollWalk w{collSideOf(a), collSideOf(b), all, pairs, false};
  collTreePairWalk(&w, a->root, b->root);
  if (w.stop) return 1;
  return all != 0 && pairs != nullptr && pairs->count > before ? 1 : 0;
}

void collObjectPlacedTriangle(const CollisionObject* object, int i, Tri3D* out) {
  if (object == nullptr || out == nullptr || object->triangles == nullptr || i < 0 ||
      i >= object->triangles->count) {
    return;
  }
  const bool identity = collIsIdentity(object->placement);
  const TriF& t = object->triangles->items[i];
  for (int k = 0; k < 3; ++k) {
    const Point3D p = collPlaceCorner(object, t, k, identity);
    out->v[k] =
        Point3D{p.x + object->position[0], p.y + object->position[1], p.z + object->position[2]};
  }
}

int collTriTriIntersect(const Tri3D& p, const Tri3D& q) {
  const bool p12 = collSame(p.v[0], p.v[1]), p23 = collSame(p.v[1], p.v[2]);
  const bool p13 = collSame(p.v[0], p.v[2]);
  const bool q12 = collSame(q.v[0], q.v[1]), q23 = collSame(q.v[1], q.v[2]);
  const bool q13 = collSame(q.v[0], q.v[2]);
  if ((p12 && p23 && p13) || (q12 && q23 && q13)) return 0;
  if ((p12 || p23 || p13) && (q12 || q23 || q13)) return 0;

  const Point3D origin = p.v[0];
  const Point3D P[3] = {Point3D{0, 0, 0}, vecSub(p.v[1], origin), vecSub(p.v[2], origin)};
  const Point3D Q[3] = {vecSub(q.v[0], origin), vecSub(q.v[1], origin), vecSub(q.v[2], origin)};
  const Point3D e[3] = {vecSub(P[1], P[0]), vecSub(P[2], P[1]), vecSub(P[0], P[2])};
  const Point3D f[3] = {vecSub(Q[1], Q[0]), vecSub(Q[2], Q[1]), vecSub(Q[0], Q[2])};
  const Point3D n = vecCross(e[0], e[1]);
  const Point3D m = vecCross(f[0], f[1]);

  Point3D axes[17];
  int count = 0;
  axes[count++] = n;
  axes[count++] = m;
  for (const Point3D& ei : e) {
    for (const Point3D& fj : f) axes[count++] = vecCross(ei, fj);
  }
  for (const Point3D& ei : e) axes[count++] = vecCross(ei, n);
  for (const Point3D& fi : f) axes[count++] = vecCross(fi, m);

  for (const Point3D& axis : axes) {
    double pLo, pHi, qLo, qHi;
    collProject(P, axis, &pLo, &pHi);
    collProject(Q, axis, &qLo, &qHi);
    if (pLo > qHi || qLo > pHi) return 0;
  }
  return 1;
}

CollStats collObjectGetStats() { return collState.stats; }

void collObjectResetState() { collState = CollState{}; }

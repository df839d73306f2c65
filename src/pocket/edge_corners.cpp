// edge_corners.cpp - corner spurs of edge movement along the bisector of each corner that turns
// toward the machined side, stopped at the ring the current ring was offset from.
#include "pocket/edge_corners.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "pocket/ccp_params.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_relate.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"

namespace {
PockEdgeMovement edgeState = {0.0, 0.0, 0, 0};
}  // namespace

void pockSetEdgeMovement(double step, double limit, int side) {
  const bool forced = pockCfg().edgeMovement == 2;
  edgeState =
      PockEdgeMovement{step, limit, side, limit >= step + pockEngine().contTol || forced ? 1 : 0};
}

PockEdgeMovement pockEdgeMovement() { return edgeState; }

void pockEdgeMovementReset() { edgeState = PockEdgeMovement{0.0, 0.0, 0, 0}; }

namespace {

// Lengths and cross products within this of 0 count as 0.
constexpr double kEdgeZero = 0.0001;

// The end of the spur from corner along b of the given length, pulled back to the first crossing
// with the reference ring. Returns false when the crossings cannot be computed.
bool spurEnd(const Point2D& corner, const Point2D& b, double length,
             const std::vector<ContourElement>& reference, Point2D* end) {
  *end = Point2D{corner.x + length * b.x, corner.y + length * b.y};
  if (reference.empty()) return true;
  const ContourElement spur = contMakeLine(corner.x, corner.y, end->x, end->y, 0);
  // A line crosses each reference element at most twice.
  const int room = 2 * static_cast<int>(reference.size()) + 2;
  std::vector<IntersectionRecord> records;
  try {
    records.resize(static_cast<std::size_t>(room));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const int h = isectContours(&spur, 1, reference.data(), static_cast<int>(reference.size()),
                              records.data(), room);
  if (h < 0) return false;
  // Records follow the spur's direction; the nearest one is the first crossing.
  double best = length;
  for (int i = 0; i < std::min(h, room); ++i) {
    const Point2D p{records[static_cast<std::size_t>(i)].x, records[static_cast<std::size_t>(i)].y};
    const double d = contDistance(corner, p);
    if (d < best) {
      best = d;
      *end = p;
    }
  }
  return true;
}

}  // namespace

int pockEdgeCorners(int node, ContourElement* elements, int count, int capacity) {
  const PockEdgeMovement edge = pockEdgeMovement();
  if (pockCfg().edgeMovement == 0 || edge.on == 0) return count;
  if (elements == nullptr || count < 2 || capacity < count) return count;
  const ContourTreeNode* ref = ctreeNodeAt(node);
  if (ref == nullptr) return count;
  std::vector<ContourElement> reference;
  try {
    reference.resize(static_cast<std::size_t>(std::max(ref->count, 0)));
  } catch (const std::bad_alloc&) {
    return count;
  }
  if (!reference.empty() &&
      ctreeGetElems(reference.data(), static_cast<int>(reference.size()), ref->block) != 1) {
    return count;
  }
  const double tol = pockEngine().contTol;
  const double step = edge.step;
  const double limit = edge.limit;
  int n = count;
  int i = 0;
  while (i < n) {
    const ContourElement& prev = elements[i == 0 ? n - 1 : i - 1];
    const ContourElement& next = elements[i];
    int cls = 0;
    Point2D u{}, v{};
    if (contCornerType(prev, next, &cls) != 1 || cls * edge.side <= 0 ||
        contElemDirection(prev, &u, 2) != 1 || contElemDirection(next, &v, 1) != 1) {
      ++i;
      continue;
    }
    const Point2D d{u.x - v.x, u.y - v.y};
    const double dl = std::hypot(d.x, d.y);
    if (dl < kEdgeZero) {
      ++i;
      continue;
    }
    const Point2D b{d.x / dl, d.y / dl};
    const double o = std::fabs(contCross2d(u, b));
    if (o < kEdgeZero || limit / o < 2.0 * step + tol || n + 2 > capacity) {
      ++i;
      continue;
    }
    const double length = std::min(limit, tol + limit / o - 2.0 * step);
    const Point2D corner = contElemStart(next);
    Point2D end{};
    if (!spurEnd(corner, b, length, reference, &end) || contDistance(corner, end) < tol) {
      ++i;
      continue;
    }
    const int tag = next.tag;
    std::copy_backward(elements + i, elements + n, elements + n + 2);
    elements[i] = contMakeLine(corner.x, corner.y, end.x, end.y, tag);
    elements[i + 1] = contMakeLine(end.x, end.y, corner.x, corner.y, tag);
    n += 2;
    i += 3;  // past the two spur lines and the element
  }
  return n;
}

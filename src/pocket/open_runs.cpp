// open_runs.cpp - cyclic searches over tag runs and the link-reference steps built on them.
#include "pocket/open_runs.h"

#include <cmath>

namespace {
bool marked(const ContourElement& e) { return e.tag < 0; }

// Forward cyclic search from start for an element whose marking equals want.
int nextWith(const ContourElement* elements, int n, int start, bool want) {
  if (elements == nullptr || n <= 0 || start < 0 || start >= n) return -1;
  for (int k = 0; k < n; ++k) {
    const int i = (start + k) % n;
    if (marked(elements[i]) == want) return i;
  }
  return -1;
}

// Backward cyclic search from start.
int prevWith(const ContourElement* elements, int n, int start, bool want) {
  if (elements == nullptr || n <= 0 || start < 0 || start >= n) return -1;
  for (int k = 0; k < n; ++k) {
    const int i = (start - k + n) % n;
    if (marked(elements[i]) == want) return i;
  }
  return -1;
}

// The resolved element index (from 0) of ref and its point; false when out of range.
bool resolve(const ContourElement* elements, int n, const LinkRef& ref, int* index, Point2D* p) {
  LinkRef r{};
  linkResolveEndpoint(ref, elements, n, &r);
  if (r.element < 1 || r.element > n) return false;
  *index = r.element - 1;
  *p = r.point;
  return true;
}
}  // namespace

int contNextMarked(const ContourElement* elements, int n, int start) {
  return nextWith(elements, n, start, true);
}
int contNextUnmarked(const ContourElement* elements, int n, int start) {
  return nextWith(elements, n, start, false);
}
int contPrevMarked(const ContourElement* elements, int n, int start) {
  return prevWith(elements, n, start, true);
}
int contPrevUnmarked(const ContourElement* elements, int n, int start) {
  return prevWith(elements, n, start, false);
}

int linkRefAtMarkedStart(const ContourElement* elements, int n, const LinkRef& ref) {
  int e = 0;
  Point2D p{0.0, 0.0};
  if (!resolve(elements, n, ref, &e, &p)) return 0;
  if (marked(elements[e]) || !marked(elements[(e + n - 1) % n])) return 0;
  const Point2D s = contElemStart(elements[e]);
  return std::fabs(s.x - p.x) < 0.0001 && std::fabs(s.y - p.y) < 0.0001 ? 1 : 0;
}

int linkStepBack(const ContourElement* elements, int n, const LinkRef& ref, LinkRef* out) {
  int e = 0;
  Point2D p{0.0, 0.0};
  if (!resolve(elements, n, ref, &e, &p)) return -1;
  const int b = contPrevUnmarked(elements, n, (e + n - 1) % n);
  if (b < 0) return -1;
  *out = LinkRef{b + 1, contElemEnd(elements[b])};
  return 1;
}

int linkNextUnmarkedRunEnd(const ContourElement* elements, int n, const LinkRef& ref,
                           LinkRef* out) {
  int e = 0;
  Point2D p{0.0, 0.0};
  if (!resolve(elements, n, ref, &e, &p)) return -1;
  if (linkRefAtMarkedStart(elements, n, ref) != 0) {
    *out = LinkRef{e + 1, p};
    return 1;
  }
  const int c = contNextUnmarked(elements, n, e);
  if (c < 0) return -1;
  const int d = contNextMarked(elements, n, c);
  if (d < 0) return -1;
  *out = LinkRef{d + 1, contElemStart(elements[d])};
  return 1;
}

int linkCurrentRunStart(const ContourElement* elements, int n, const LinkRef& ref, LinkRef* out) {
  int e = 0;
  Point2D p{0.0, 0.0};
  if (!resolve(elements, n, ref, &e, &p)) return -1;
  const int b = contPrevUnmarked(elements, n, e);
  if (b < 0) return -1;
  const int c = contPrevMarked(elements, n, b);
  if (c < 0) return -1;
  const int cp = c == n - 1 ? 0 : c + 1;
  *out = LinkRef{cp + 1, contElemStart(elements[cp])};
  return 1;
}

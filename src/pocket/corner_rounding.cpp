// corner_rounding.cpp - fillets at sharp corners and rounding by an offset out and back.
#include "pocket/corner_rounding.h"

#include <cmath>
#include <new>
#include <vector>

#include "pocket/contour_geom.h"
#include "pocket/contour_offset.h"
#include "pocket/contour_repair.h"
#include "pocket/engine_state.h"
#include "pocket/isect.h"

namespace {
constexpr double kRoundTolStart = 0.1;
// Room of the offset work buffers of the by-offset rounding.
constexpr int kRoundWorkElements = 60000;

struct CornerState {
  // Closeness tolerance of the by-offset rounding; lowered by each call for the rest of the run.
  double roundTol = kRoundTolStart;
};
CornerState cornerState;

// Result loops of one offset, in their own buffer.
struct OffsetLoops {
  std::vector<ContourElement> out;
  std::vector<ContourElement*> loops;
  std::vector<int> counts;
  int k = 0;
};

bool allocLoops(OffsetLoops* l, int capacity) {
  try {
    l->out.resize(static_cast<std::size_t>(capacity));
    l->loops.assign(kOffsetMaxLoops + 1, nullptr);
    l->counts.assign(kOffsetMaxLoops + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int offsetLoops(const ContourElement* e, int n, int side, double d, OffsetLoops* l) {
  ContourElement* end = nullptr;
  l->k = contOffset(e, n, side, d, l->out.data(), static_cast<int>(l->out.size()), &end,
                    l->loops.data(), l->counts.data());
  return l->k;
}

// The side of the first offset: the orientation for mode 0, the other way for mode 1.
int firstSide(const ContourElement* e, int n, int mode) {
  const int o = contOrientation(e, n) >= 0 ? 1 : -1;
  return mode == 0 ? o : -o;
}

int corner(const ContourElement& prev, const ContourElement& next) {
  int cls = kCornerTangent;
  if (contCornerType(prev, next, &cls) == 0) return kCornerTangent;
  return cls;
}

double stepOf() {
  const PockEngine& eng = pockEngine();
  return 2.0 * eng.pockStepFactor * eng.pockToolRadius;
}

// Puts the fillet arc into out (count *m) replacing the run from foot fs on element is to foot fe
// on element ie (wrapping past the end when ie < is; out then begins with element ie). walk is the
// element whose start found the fillet. Returns where the walk goes on: behind the fillet, or
// behind walk when the renumbered contour still holds unvisited elements; -1 when out has no room.
int spliceArc(ContourElement* out, int* m, int capacity, int is, const Point2D& fs, int ie,
              const Point2D& fe, const ContourElement& arc, int walk) {
  const int n = *m;
  if (is == ie) {
    if (n + 2 > capacity) return -1;
    for (int j = n - 1; j > is; --j) out[j + 2] = out[j];
    out[is + 2] = out[is];
    out[is + 1] = arc;
    contElemSetEndpoint(&out[is], fs, 2);
    contElemSetEndpoint(&out[is + 2], fe, 1);
    *m = n + 2;
    return is + 2;
  }
  if (ie > is) {
    if (n + 1 > capacity) return -1;
    contElemSetEndpoint(&out[is], fs, 2);
    contElemSetEndpoint(&out[ie], fe, 1);
    std::vector<ContourElement> tail(out + ie, out + n);
    int w = is + 1;
    out[w++] = arc;
    for (const ContourElement& t : tail) out[w++] = t;
    *m = w;
    return is + 2;
  }
  // Wrapping: the elements from ie to is stay, the fillet closes the contour behind is.
  contElemSetEndpoint(&out[is], fs, 2);
  contElemSetEndpoint(&out[ie], fe, 1);
  std::vector<ContourElement> kept(out + ie, out + is + 1);
  if (static_cast<int>(kept.size()) + 1 > capacity) return -1;
  int w = 0;
  for (const ContourElement& t : kept) out[w++] = t;
  out[w++] = arc;
  *m = w;
  if (walk >= is) return w;
  return (walk + 1 > ie + 1 ? walk + 1 : ie + 1) - ie;
}
}  // namespace

double contRoundTolerance() { return cornerState.roundTol; }

void ringCornerResetState() { cornerState = CornerState{}; }

int contOffsetElem(const ContourElement& e, ContourElement* out, double d, int side) {
  *out = e;
  Point2D ns{0.0, 0.0}, ne{0.0, 0.0};
  if (contElemNormal(e, &ns, 1, side) == 0 || contElemNormal(e, &ne, 2, side) == 0) return -1;
  const Point2D s = contElemStart(e), t = contElemEnd(e);
  if (e.type == kContArc) {
    const double r = e.radius - d * side * e.dir;
    if (r < pockEngine().contTol) return -1;
    out->radius = r;
    out->p2 = s.x + d * ns.x;
    out->p3 = s.y + d * ns.y;
    out->p4 = t.x + d * ne.x;
    out->p5 = t.y + d * ne.y;
    return 1;
  }
  out->p0 = s.x + d * ns.x;
  out->p1 = s.y + d * ns.y;
  out->p2 = t.x + d * ne.x;
  out->p3 = t.y + d * ne.y;
  return 1;
}

int cornerFillet(const ContourElement& a, const ContourElement& b, ContourElement* fillet, double x,
                 int side) {
  const double tol = pockEngine().contTol;
  for (int attempt = 0; attempt < 5 && x >= kContFilletMinRadius; ++attempt, x /= 2.0) {
    ContourElement ao{}, bo{};
    if (contOffsetElem(a, &ao, x, side) < 0 || contOffsetElem(b, &bo, x, side) < 0) continue;
    Point2D pts[2];
    if (isectElements(ao, bo, pts) != 1) continue;
    const Point2D p = pts[0];
    contElemSetEndpoint(&ao, p, 2);
    contElemSetEndpoint(&bo, p, 1);
    if (contElemLength(ao) < tol || contElemLength(bo) < tol) continue;
    Point2D na{0.0, 0.0}, nb{0.0, 0.0};
    if (contElemNormal(ao, &na, 2, side) == 0 || contElemNormal(bo, &nb, 1, side) == 0) continue;
    *fillet = contMakeArc(p.x, p.y, p.x - x * na.x, p.y - x * na.y, p.x - x * nb.x, p.y - x * nb.y,
                          x, side, 0);
    return attempt == 0 ? 1 : 0;
  }
  return -1;
}

int cornerFilletRadius(const ContourElement& prev, const ContourElement& next, double R,
                       double step, double* rho) {
  Point2D t{0.0, 0.0}, u{0.0, 0.0};
  if (contElemDirection(prev, &t, 2) == 0 || contElemDirection(next, &u, 1) == 0) return 0;
  const Point2D mu{-u.x, -u.y};
  const double c = t.x * mu.x + t.y * mu.y;
  if (c < 0.5 || contCross2d(t, mu) < 0.0) return 0;
  const double alpha = std::acos(std::fmin(1.0, c));
  const double s = std::sin(alpha / 2.0);
  double r = (step - R + R * s) / (1.0 - s);
  if (alpha < 0.5) r /= 2.0;
  *rho = r;
  return 1;
}

int contCornersFilletable(const ContourElement* elements, int n, double R, double radius,
                          double step) {
  if (n <= 0) return 0;
  const int o = contOrientation(elements, n);
  const double tol = pockEngine().contTol;
  for (int j = 0; j < n; ++j) {
    const ContourElement& prev = elements[j == 0 ? n - 1 : j - 1];
    if (corner(prev, elements[j]) != o) continue;
    double rho = 0.0;
    if (cornerFilletRadius(prev, elements[j], R, step, &rho) != 0 && radius - tol > rho) return 1;
  }
  return 0;
}

int contInsertFillets(const ContourElement* source, int sourceCount, double radius,
                      ContourElement* out, int* n, int capacity) {
  const int o = contOrientation(out, *n);
  int tag = -1;
  for (int i = 0; i < sourceCount; ++i) {
    if (source[i].tag >= 0) {
      tag = source[i].tag;
      break;
    }
  }
  const PockEngine& eng = pockEngine();
  const double step = stepOf();
  for (int j = 0; j < *n; ++j) {
    const int pj = j == 0 ? *n - 1 : j - 1;
    if (pj == j || corner(out[pj], out[j]) != o) continue;
    double x = radius, rho = 0.0;
    if (cornerFilletRadius(out[pj], out[j], eng.pockToolRadius, step, &rho) != 0)
      x = std::fmin(radius, rho);
    ContourElement fillet{};
    if (cornerFillet(out[pj], out[j], &fillet, x, o) < 0) continue;
    if (*n > capacity - 1) return -1;
    fillet.tag = tag;
    contElemSetEndpoint(&out[pj], contArcStart(fillet), 2);
    contElemSetEndpoint(&out[j], contArcEnd(fillet), 1);
    for (int k = *n; k > j; --k) out[k] = out[k - 1];
    out[j] = fillet;
    ++*n;
    ++j;  // the fillet is not a corner to round
  }
  return *n;
}

int contWithinDistance(const ContourElement* source, int n, const ContourElement* result, int m,
                       double limit) {
  if (m <= 0) return m;
  for (int i = 0; i < n; ++i) {
    if (contMinDistance(contElemStart(source[i]), result, m) > limit) return -1;
  }
  return m;
}

int contRoundByOffsetPair(const ContourElement* elements, int n, double radius, ContourElement* out,
                          int capacity, int mode) {
  OffsetLoops first, back;
  const int room = 6 * n + 16;
  if (!allocLoops(&first, room) || !allocLoops(&back, room)) return -1;
  const int side = firstSide(elements, n, mode);
  const int k = offsetLoops(elements, n, side, radius, &first);
  if (k <= 0) return -2;
  if (k > 1) return -3;
  const double used = pockEngine().offsetLastDistance;
  if (offsetLoops(first.loops[0], first.counts[0], -side, used, &back) != 1) return -2;
  if (back.counts[0] > capacity) return -1;
  for (int i = 0; i < back.counts[0]; ++i) out[i] = back.loops[0][i];
  return back.counts[0];
}

int contRoundCorners(ContourElement* elements, int n, int capacity, double radius, int mode) {
  if (n <= 0) return 0;
  if (radius < 0.01) return n;
  const PockEngine& eng = pockEngine();
  std::vector<ContourElement> src(elements, elements + n);
  std::vector<ContourElement> out;
  const int cap = kRoundMaxElements;
  try {
    out.resize(static_cast<std::size_t>(cap));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  auto copySource = [&] {
    for (int i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = src[static_cast<std::size_t>(i)];
  };
  int c = -1;
  bool done = false;
  if ((mode == 0 || eng.pockStockMode != 0) &&
      contCornersFilletable(src.data(), n, eng.pockToolRadius, radius, stepOf()) != 0) {
    copySource();
    int m = n;
    c = contInsertFillets(src.data(), n, radius, out.data(), &m, cap);
    done = true;
  }
  if (!done) {
    c = contRoundByOffsetPair(src.data(), n, radius, out.data(), cap, mode);
    if (c == -1) return -1;
    if (c >= 0) {
      c = contWithinDistance(src.data(), n, out.data(), c, 3.0 * radius);
    } else if (c == -2) {
      c = contRoundByOffsetPair(src.data(), n, radius / 2.0, out.data(), cap, mode);
      c = c < 0 ? -1 : contWithinDistance(src.data(), n, out.data(), c, 3.0 * radius);
    }
    if (c < 0) {
      copySource();
      int m = n;
      c = contInsertFillets(src.data(), n, radius, out.data(), &m, cap);
    }
  }
  if (c < 0) return -1;
  c = contCleanup(out.data(), c);
  if (c > capacity) return -1;
  for (int i = 0; i < c; ++i) elements[i] = out[static_cast<std::size_t>(i)];
  return c;
}

int contRoundCornersByOffset(ContourElement* elements, int n, int capacity, double radius,
                             int mode) {
  cornerState.roundTol = std::fmin(cornerState.roundTol, radius / 2.0);
  if (n <= 0) return 0;
  if (radius < 0.01) return n;
  const double tol = cornerState.roundTol;
  std::vector<ContourElement> out;
  OffsetLoops first;
  try {
    out.assign(elements, elements + n);
    out.resize(static_cast<std::size_t>(n) * 3 + 16);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (!allocLoops(&first, kRoundWorkElements)) return -1;
  const int side = firstSide(elements, n, mode);
  const int k = offsetLoops(elements, n, side, radius, &first);
  if (k <= 0) return -2;
  const double used = pockEngine().offsetLastDistance;
  // Every contour of the ways back, with the distance that made it.
  std::vector<std::vector<ContourElement>> back;
  std::vector<double> backDist;
  OffsetLoops way;
  if (!allocLoops(&way, kRoundWorkElements)) return -1;
  for (int j = 0; j < k; ++j) {
    const int kb = offsetLoops(first.loops[j], first.counts[j], -side, used, &way);
    const double d = pockEngine().offsetLastDistance;
    for (int b = 0; b < kb; ++b) {
      back.emplace_back(way.loops[b], way.loops[b] + way.counts[b]);
      backDist.push_back(d);
    }
  }
  const int cap = static_cast<int>(out.size());
  int m = n;
  Point2D lastS{1e300, 1e300}, lastE{1e300, 1e300};
  // Every splice removes a corner; more splices than corners would mean the walk goes round.
  int splicesLeft = n + 16;
  for (int i = 0; i < m && splicesLeft > 0;) {
    const Point2D p = contElemStart(out[static_cast<std::size_t>(i)]);
    bool close = false;
    double best = 1e300;
    int bc = -1, be = -1;
    for (std::size_t c = 0; c < back.size() && !close; ++c) {
      const std::vector<ContourElement>& bk = back[c];
      if (contMinDistance(p, bk.data(), static_cast<int>(bk.size())) < tol) close = true;
      for (std::size_t e = 0; e < bk.size(); ++e) {
        if (bk[e].type != kContArc || std::fabs(bk[e].radius - backDist[c]) > 0.0001) continue;
        Point2D f{0.0, 0.0};
        const double dd = contNearestOnElem(p, bk[e], &f);
        if (dd < best) {
          best = dd;
          bc = static_cast<int>(c);
          be = static_cast<int>(e);
        }
      }
    }
    if (close || bc < 0) {
      ++i;
      continue;
    }
    const ContourElement arc = back[static_cast<std::size_t>(bc)][static_cast<std::size_t>(be)];
    Point2D fs{0.0, 0.0}, fe{0.0, 0.0};
    int is = -1, ie = -1;
    const double ds = contNearestElem(contArcStart(arc), out.data(), m, &fs, &is);
    const double de = contNearestElem(contArcEnd(arc), out.data(), m, &fe, &ie);
    bool ok = ds < tol && de < tol && is >= 0 && ie >= 0;
    if (ok && back.size() > 1) {
      for (int j = is;; j = (j + 1) % m) {
        const Point2D q = contElemStart(out[static_cast<std::size_t>(j)]);
        for (std::size_t c = 0; c < back.size() && ok; ++c) {
          if (static_cast<int>(c) == bc) continue;
          if (contMinDistance(q, back[c].data(), static_cast<int>(back[c].size())) < tol)
            ok = false;
        }
        if (!ok || j == ie) break;
      }
    }
    if (ok && contPointsEqual(fs, lastS) != 0 && contPointsEqual(fe, lastE) != 0) ok = false;
    if (ok && ie == is + 1 && contDistance(fs, fe) < 0.1) ok = false;
    if (!ok) {
      ++i;
      continue;
    }
    ContourElement fillet = arc;
    fillet.tag = out[static_cast<std::size_t>(is)].tag;
    contElemSetEndpoint(&fillet, fs, 1);
    contElemSetEndpoint(&fillet, fe, 2);
    const int next = spliceArc(out.data(), &m, cap, is, fs, ie, fe, fillet, i);
    if (next < 0) return -1;
    lastS = fs;
    lastE = fe;
    --splicesLeft;
    i = next;
  }
  m = contCleanup(out.data(), m);
  if (m > capacity) return -1;
  for (int i = 0; i < m; ++i) elements[i] = out[static_cast<std::size_t>(i)];
  return m;
}

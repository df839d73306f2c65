// tpc_drop.cpp - the drop of a cutter onto triangles, computed here from the cutter's shape:
// vertex, edge and face contact of a flat, ball or torus cutter grown by an allowance, and the
// plan-box buckets that keep a drop on a large mesh fast.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tpc_internal.h"

namespace tpc {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

bool edgeWithin(double R, double x, double y, const Vec3& p, const Vec3& q, double& t0,
                double& t1) {
  const double dx = q.x - p.x, dy = q.y - p.y;
  const double a = dx * dx + dy * dy;
  if (!(a > 1e-24)) return false;
  const double fx = p.x - x, fy = p.y - y;
  const double b = 2 * (fx * dx + fy * dy), c = fx * fx + fy * fy - R * R;
  const double disc = b * b - 4 * a * c;
  if (disc < 0) return false;
  const double s = std::sqrt(disc);
  t0 = std::max(0.0, (-b - s) / (2 * a));
  t1 = std::min(1.0, (-b + s) / (2 * a));
  return t0 <= t1;
}

double cutterProfile(double R, double r, double d) {
  if (d > R * (1 + 1e-12) + 1e-300) return kInf;
  const double flat = R - r;
  if (d <= flat) return 0;
  const double e = std::min(d - flat, r);
  return r - std::sqrt(std::max(0.0, r * r - e * e));
}

double dropOnPoint(double R, double r, double x, double y, const Vec3& p) {
  const double d = std::sqrt((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y));
  if (d > R) return -kInf;
  return p.z - cutterProfile(R, r, d);
}

double dropOnEdgeFlat(double R, double x, double y, const Vec3& p, const Vec3& q) {
  double t0, t1;
  if (!edgeWithin(R, x, y, p, q, t0, t1)) return -kInf;
  // The flat bottom rests on the highest point of the edge's part under it: an end of that part.
  return std::max(p.z + t0 * (q.z - p.z), p.z + t1 * (q.z - p.z));
}

double dropOnEdgeBall(double R, double x, double y, const Vec3& p, const Vec3& q) {
  const double dx = q.x - p.x, dy = q.y - p.y;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (!(len > 1e-12)) return -kInf;
  const double ux = dx / len, uy = dy / len;
  const double wx = x - p.x, wy = y - p.y;
  const double along = wx * ux + wy * uy;
  const double off = std::fabs(wx * uy - wy * ux);
  if (off > R) return -kInf;
  // In the vertical plane of the edge the ball is a circle of radius rho about (along, zc); it
  // rests on the edge's line z = p.z + m s where the line's normal meets its centre.
  const double rho = std::sqrt(std::max(0.0, R * R - off * off));
  const double m = (q.z - p.z) / len;
  const double k = std::sqrt(1 + m * m);
  const double contact = along + rho * m / k;
  if (contact < 0 || contact > len) return -kInf;
  return p.z + m * along + rho * k - R;
}

double dropOnEdgeSearch(double R, double r, double x, double y, const Vec3& p, const Vec3& q) {
  double t0, t1;
  if (!edgeWithin(R, x, y, p, q, t0, t1)) return -kInf;
  // The contact height along the edge, z(t) - profile(d(t)), is concave: the profile is convex
  // and non-decreasing in d, and d is convex in t. A golden-section search finds its maximum.
  auto f = [&](double t) {
    const double px = p.x + t * (q.x - p.x), py = p.y + t * (q.y - p.y);
    return p.z + t * (q.z - p.z) -
           cutterProfile(R, r, std::sqrt((px - x) * (px - x) + (py - y) * (py - y)));
  };
  return goldenMax(f, t0, t1);
}

double dropOnFace(double R, double r, double x, double y, const Triangle& t) {
  const Vec3& a = t.v[0];
  const Vec3& b = t.v[1];
  const Vec3& c = t.v[2];
  double nx = (b.y - a.y) * (c.z - a.z) - (b.z - a.z) * (c.y - a.y);
  double ny = (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z);
  double nz = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (!(len > 0)) return -kInf;
  nx /= len;
  ny /= len;
  nz /= len;
  if (nz < 0) {
    nx = -nx;
    ny = -ny;
    nz = -nz;
  }
  if (nz < 1e-12) return -kInf;  // a vertical face is met at its edges
  // The cutter point lowest along -n: on the ring of corner centres, towards the face's uphill
  // side, then r along -n.
  const double nxy = std::sqrt(nx * nx + ny * ny);
  double ux = 0, uy = 0;
  if (nxy > 1e-15) {
    ux = -nx / nxy;
    uy = -ny / nxy;
  }
  const double px = x + (R - r) * ux - r * nx, py = y + (R - r) * uy - r * ny;
  // Inside the plan view of the face (either winding), with a margin of rounding size.
  const double s0 = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
  const double s1 = (c.x - b.x) * (py - b.y) - (c.y - b.y) * (px - b.x);
  const double s2 = (a.x - c.x) * (py - c.y) - (a.y - c.y) * (px - c.x);
  const double eps = 1e-12 * len;
  const bool inside =
      (s0 >= -eps && s1 >= -eps && s2 >= -eps) || (s0 <= eps && s1 <= eps && s2 <= eps);
  if (!inside) return -kInf;
  const double dd = nx * a.x + ny * a.y + nz * a.z;
  return (dd - nx * px - ny * py) / nz - r + r * nz;
}

double dropGrown(double R, double r, double x, double y, const Triangle& t) {
  double best = -kInf;
  for (int i = 0; i < 3; ++i) {
    best = std::max(best, dropOnPoint(R, r, x, y, t.v[i]));
    const Vec3& p = t.v[i];
    const Vec3& q = t.v[(i + 1) % 3];
    double e;
    if (r <= 0) {
      e = dropOnEdgeFlat(R, x, y, p, q);
    } else if (r >= R) {
      e = dropOnEdgeBall(R, x, y, p, q);
    } else {
      e = dropOnEdgeSearch(R, r, x, y, p, q);
    }
    best = std::max(best, e);
  }
  return std::max(best, dropOnFace(R, r, x, y, t));
}

double dropTriangle(const Triangle& t, const Tool& tool, double allowance, double x, double y) {
  return dropGrown(tool.radius + allowance, tool.corner + allowance, x, y, t) + allowance;
}

double dropPlain(const Mesh& mesh, const Tool& tool, double allowance, double x, double y) {
  const double R = tool.radius + allowance, r = tool.corner + allowance;
  double best = -kInf;
  for (const Triangle& t : mesh.triangles) best = std::max(best, dropGrown(R, r, x, y, t));
  return best + allowance;
}

MeshIndex::MeshIndex(const Mesh& mesh) : mesh_(mesh) {
  const std::size_t n = mesh.triangles.size();
  zmax_.resize(n);
  box_.resize(n);
  seen_.assign(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    const Triangle& t = mesh.triangles[k];
    zmax_[k] = std::max({t.v[0].z, t.v[1].z, t.v[2].z});
    box_[k] = {std::min({t.v[0].x, t.v[1].x, t.v[2].x}), std::min({t.v[0].y, t.v[1].y, t.v[2].y}),
               std::max({t.v[0].x, t.v[1].x, t.v[2].x}), std::max({t.v[0].y, t.v[1].y, t.v[2].y})};
  }
  bucketBoxes(box_, 1.5, 1024, grid_);
  // Highest triangles first: a drop stops reading a bucket at the first one below its best.
  for (std::size_t b = 0; b + 1 < grid_.start.size(); ++b) {
    std::stable_sort(grid_.items.begin() + grid_.start[b], grid_.items.begin() + grid_.start[b + 1],
                     [&](int a, int c) {
                       return zmax_[static_cast<std::size_t>(a)] >
                              zmax_[static_cast<std::size_t>(c)];
                     });
  }
}

void MeshIndex::near(double x0, double y0, double x1, double y1, double zlow,
                     std::vector<int>& out) const {
  out.clear();
  int i0, j0, i1, j1;
  if (!bucketRange(grid_, x0, y0, x1, y1, i0, j0, i1, j1)) return;
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      const std::size_t b = static_cast<std::size_t>(j) * grid_.nx + i;
      for (int k = grid_.start[b]; k < grid_.start[b + 1]; ++k) {
        const int t = grid_.items[static_cast<std::size_t>(k)];
        const std::size_t ts = static_cast<std::size_t>(t);
        if (zmax_[ts] < zlow) break;  // highest first: the rest of the bucket lies lower
        if (seen_[ts] == stamp_) continue;
        seen_[ts] = stamp_;
        const auto& bx = box_[ts];
        if (bx[0] <= x1 && bx[2] >= x0 && bx[1] <= y1 && bx[3] >= y0) out.push_back(t);
      }
    }
  }
}

double MeshIndex::drop(const Tool& tool, double allowance, double x, double y) const {
  const double R = tool.radius + allowance, r = tool.corner + allowance;
  int i0, j0, i1, j1;
  if (!bucketRange(grid_, x - R, y - R, x + R, y + R, i0, j0, i1, j1)) return -kInf;
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  double best = -kInf;
  // Raw pointers: this loop runs for every sample of every check, in unoptimised test builds too.
  const int* start = grid_.start.data();
  const int* items = grid_.items.data();
  const double* zmax = zmax_.data();
  const std::array<double, 4>* box = box_.data();
  unsigned* seen = seen_.data();
  const Triangle* tris = mesh_.triangles.data();
  const double R2 = R * R;
  auto scan = [&](int i, int j) {
    const std::size_t b = static_cast<std::size_t>(j) * grid_.nx + i;
    for (int k = start[b]; k < start[b + 1]; ++k) {
      const int t = items[k];
      // No contact on a triangle lies above its highest vertex, and the rest of the bucket
      // lies lower still; the margin covers the rounding of a face contact found on the
      // triangle's border.
      if (zmax[t] + 1e-6 * (1 + std::fabs(zmax[t])) < best) break;
      if (seen[t] == stamp_) continue;
      seen[t] = stamp_;
      // A plan box beyond the cutter's reach holds no contact.
      const double* bx = box[t].data();
      const double ex = bx[0] - x > 0 ? bx[0] - x : (x - bx[2] > 0 ? x - bx[2] : 0);
      const double ey = bx[1] - y > 0 ? bx[1] - y : (y - bx[3] > 0 ? y - bx[3] : 0);
      if (ex * ex + ey * ey > R2) continue;
      const double d = dropGrown(R, r, x, y, tris[t]);
      if (d > best) best = d;
    }
  };
  // The bucket under the axis first: its triangles give a high best early.
  const int ic = cellIndex(std::floor((x - grid_.x0) / grid_.cell), i0, i1);
  const int jc = cellIndex(std::floor((y - grid_.y0) / grid_.cell), j0, j1);
  scan(ic, jc);
  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      if (i != ic || j != jc) scan(i, j);
    }
  }
  return best + allowance;
}

}  // namespace tpc

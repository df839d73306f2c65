// test_stl_writers.h - writers of the surface files the loader tests read: text and binary STL
// (little- or big-endian), binary facet files of versions 1 and 2 (with a header count that may
// lie) and exchange polyhedrons, all from the same triangles, so that every encoding of one mesh
// can be compared.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/vec.h"
#include "model/surface_model.h"

namespace qdtest {

// A count argument meaning: the number of facets written.
inline constexpr std::int64_t kCountOfRecords = INT64_MIN;

inline void putBytes(std::string* out, const void* p, std::size_t n, bool bigEndian = false) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i)
    out->push_back(static_cast<char>(b[bigEndian ? n - 1 - i : i]));
}
inline void putF32(std::string* out, float v, bool be = false) { putBytes(out, &v, 4, be); }
inline void putF64(std::string* out, double v) { putBytes(out, &v, 8); }
inline void putI32(std::string* out, std::int32_t v) { putBytes(out, &v, 4); }
inline void putI16(std::string* out, std::int16_t v, bool be = false) { putBytes(out, &v, 2, be); }

inline Point3D triNormal(const Tri3D& t) {
  const Point3D a{t.v[1].x - t.v[0].x, t.v[1].y - t.v[0].y, t.v[1].z - t.v[0].z};
  const Point3D b{t.v[2].x - t.v[0].x, t.v[2].y - t.v[0].y, t.v[2].z - t.v[0].z};
  Point3D n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  const double len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (len > 0) n = Point3D{n.x / len, n.y / len, n.z / len};
  return n;
}

// Text STL; coordinates with 9 significant digits, so that values exact in single precision
// read back exactly.
inline std::string asciiStl(const std::vector<Tri3D>& tris, const char* lineEnd = "\n") {
  std::string s = std::string("solid part") + lineEnd;
  char line[256];
  for (const Tri3D& t : tris) {
    const Point3D n = triNormal(t);
    std::snprintf(line, sizeof line, "  facet normal %.6g %.6g %.6g%s    outer loop%s", n.x, n.y,
                  n.z, lineEnd, lineEnd);
    s += line;
    for (const Point3D& p : t.v) {
      std::snprintf(line, sizeof line, "      vertex %.9g %.9g %.9g%s", p.x, p.y, p.z, lineEnd);
      s += line;
    }
    s += std::string("    endloop") + lineEnd + "  endfacet" + lineEnd;
  }
  return s + "endsolid part" + lineEnd;
}

// Binary STL; the header text and the count word can be chosen.
inline std::string binaryStl(const std::vector<Tri3D>& tris, bool bigEndian,
                             const std::string& header = "binary part",
                             std::int64_t count = kCountOfRecords) {
  std::string s(header.substr(0, 80));
  s.resize(80, ' ');
  const auto n = static_cast<std::uint32_t>(count == kCountOfRecords ? tris.size() : count);
  putBytes(&s, &n, 4, bigEndian);
  for (const Tri3D& t : tris) {
    const Point3D nv = triNormal(t);
    putF32(&s, static_cast<float>(nv.x), bigEndian);
    putF32(&s, static_cast<float>(nv.y), bigEndian);
    putF32(&s, static_cast<float>(nv.z), bigEndian);
    for (const Point3D& p : t.v) {
      putF32(&s, static_cast<float>(p.x), bigEndian);
      putF32(&s, static_cast<float>(p.y), bigEndian);
      putF32(&s, static_cast<float>(p.z), bigEndian);
    }
    putI16(&s, 0, bigEndian);
  }
  return s;
}

inline void putRecord(std::string* s, const QuadFacet& q) {
  putI16(s, q.flags);
  for (int k = 0; k < 4; ++k) {
    const Point3D c = modelQuadCorner(q, k);
    putF64(s, c.x);
    putF64(s, c.y);
    putF64(s, c.z);
  }
}

inline QuadFacet recordOf(const Tri3D& t, std::int16_t flags = 0) {
  QuadFacet q{};
  q.flags = flags;
  for (int k = 0; k < 4; ++k) modelSetQuadCorner(&q, k, t.v[k < 3 ? k : 2]);
  return q;
}

// A surface group of a version-2 file.
struct GroupBlock {
  std::int32_t count;
  std::string name;
  double allowance;
};

// A facet file: version word, header (count given or the number of records), the seven group
// blocks for version 2, then the records.
inline std::string facetFile(float version, const std::vector<QuadFacet>& records,
                             std::int64_t count = kCountOfRecords,
                             const std::vector<GroupBlock>& groups = {}) {
  std::string s;
  putF32(&s, version);
  s.resize(252, '\0');
  putI32(&s, static_cast<std::int32_t>(
                 count == kCountOfRecords ? static_cast<std::int64_t>(records.size()) : count));
  if (version >= 2.0f && version < 3.0f) {  // a word that truncates to 2; NaN is no version
    s.resize(264, '\0');
    for (int k = 0; k < 7; ++k) {
      const GroupBlock g = k < static_cast<int>(groups.size()) ? groups[k] : GroupBlock{0, "", 0.0};
      putI32(&s, g.count);
      std::string name = g.name;
      name.resize(128, '\0');
      s += name;
      putF64(&s, 0.0);
      putF64(&s, g.allowance);
    }
  }
  for (const QuadFacet& q : records) putRecord(&s, q);
  return s;
}

inline std::vector<QuadFacet> recordsOf(const std::vector<Tri3D>& tris, std::int16_t flags = 0) {
  std::vector<QuadFacet> out;
  for (const Tri3D& t : tris) out.push_back(recordOf(t, flags));
  return out;
}

// An exchange file with one polyhedron: the distinct corners as points of set 1, one face per
// triangle.
inline std::string exchangePolyhedron(const std::vector<Tri3D>& tris, const char* name = "part") {
  std::string s = "qdmill exchange file\nqDX-Version: 1.0\nGeometry\ntests\n\n";
  s += std::string("oPolyhedron[") + name + "]( nFace[" + std::to_string(tris.size()) + "] )\n{\n";
  s += "oPset[1]()\n{\n";
  char line[256];
  int id = 0;
  for (const Tri3D& t : tris) {
    for (const Point3D& p : t.v) {
      std::snprintf(line, sizeof line, "oP[%d]( x[%.17g] y[%.17g] z[%.17g] )\n", ++id, p.x, p.y,
                    p.z);
      s += line;
    }
  }
  s += "}\n";
  id = 0;
  for (std::size_t i = 0; i < tris.size(); ++i, id += 3) {
    std::snprintf(line, sizeof line, "oFace( vx[1/%d] vx[/%d] vx[/%d] )\n", id + 1, id + 2, id + 3);
    s += line;
  }
  return s + "}\n";
}

// A small closed mesh with coordinates exact in single precision and facet heights all distinct:
// a pyramid-like roof over a square, with its base.
inline std::vector<Tri3D> roofMesh() {
  const Point3D a{0, 0, 0.25}, b{8, 0, 0.5}, c{8, 6, 0.75}, d{0, 6, 1.0};
  const Point3D top{3.5, 2.75, 5.125}, ridge{5.5, 3.5, 4.0};
  return {Tri3D{{a, b, top}},     Tri3D{{b, ridge, top}}, Tri3D{{b, c, ridge}}, Tri3D{{c, d, top}},
          Tri3D{{c, top, ridge}}, Tri3D{{d, a, top}},     Tri3D{{a, d, c}},     Tri3D{{a, c, b}}};
}

}  // namespace qdtest

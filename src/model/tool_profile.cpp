// tool_profile.cpp - half-profiles of the tool's non-cutting parts: built from the assembly's
// bands, read from a named contour of an exchange file, offset by a clearance, shifted and
// measured for the clearance angle.
#include "model/tool_profile.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>
#include <vector>

#include "framework/memory.h"
#include "geometry/cont_file.h"
#include "geometry/cycle_state.h"
#include "geometry/geo_error.h"
#include "geometry/seg_offset.h"

namespace {

constexpr const char* kProfileSource = "tool_profile";
// Room the offset of a profile gets beyond its segment count.
constexpr int kOffsetExtraRoom = 15;
// Room a profile gets beyond the segments put in front of it.
constexpr int kPrependExtraRoom = 10;

double profileRadians(double degrees) { return degrees * std::numbers::pi / 180.0; }

void profileEmptyBox(ToolProfile* p) {
  p->rmin = DBL_MAX;
  p->zmin = DBL_MAX;
  p->rmax = -DBL_MAX;
  p->zmax = -DBL_MAX;
}

void profileGrowBox(ToolProfile* p, double r, double z) {
  if (r < p->rmin) p->rmin = r;
  if (r > p->rmax) p->rmax = r;
  if (z < p->zmin) p->zmin = z;
  if (z > p->zmax) p->zmax = z;
}

void profileGrowBoxBySegment(ToolProfile* p, const ProfileSegment& s) {
  profileGrowBox(p, s.r1, s.z1);
  profileGrowBox(p, s.r2, s.z2);
}

// Gives the profile room for capacity segments, keeping its segments. All or nothing.
bool profileReserve(ToolProfile* p, std::int64_t capacity) {
  if (capacity <= p->capacity) return true;
  if (capacity > std::numeric_limits<std::int32_t>::max()) return false;
  const auto n = static_cast<std::size_t>(capacity);
  auto* segs = static_cast<ProfileSegment*>(memAllocZero(n * sizeof(ProfileSegment)));
  auto* types = static_cast<std::int16_t*>(memAllocZero(n * sizeof(std::int16_t)));
  if (segs == nullptr || types == nullptr) {
    memFree(segs);
    memFree(types);
    return false;
  }
  if (p->count > 0) {
    std::memcpy(segs, p->segments, static_cast<std::size_t>(p->count) * sizeof(ProfileSegment));
    std::memcpy(types, p->types, static_cast<std::size_t>(p->count) * sizeof(std::int16_t));
  }
  memFree(p->segments);
  memFree(p->types);
  p->segments = segs;
  p->types = types;
  p->capacity = static_cast<std::int32_t>(capacity);
  return true;
}

// Appends from (r1, z1) to (r2, z2) and moves the running point; false when memory runs out.
bool profileLineTo(ToolProfile* p, double* r, double* z, double r2, double z2, int type) {
  const bool ok = profileAppendSegment(p, ProfileSegment{*r, *z, r2, z2}, type) == 1;
  *r = r2;
  *z = z2;
  return ok;
}

// Puts the segments of front before those of p, which grows by their count + 10 when it lacks
// room. The box is left to the caller. False when memory runs out (p unchanged).
bool profilePrepend(ToolProfile* p, const ToolProfile* front) {
  if (front->count == 0) return true;
  const std::int64_t total = static_cast<std::int64_t>(p->count) + front->count;
  if (total > p->capacity && !profileReserve(p, static_cast<std::int64_t>(p->capacity) +
                                                    front->count + kPrependExtraRoom)) {
    return false;
  }
  const auto n = static_cast<std::size_t>(front->count);
  std::memmove(p->segments + n, p->segments,
               static_cast<std::size_t>(p->count) * sizeof(ProfileSegment));
  std::memmove(p->types + n, p->types, static_cast<std::size_t>(p->count) * sizeof(std::int16_t));
  std::memcpy(p->segments, front->segments, n * sizeof(ProfileSegment));
  std::memcpy(p->types, front->types, n * sizeof(std::int16_t));
  p->count = static_cast<std::int32_t>(total);
  return true;
}

// The segments of a new profile in front of a given one (the box widened), or the new profile
// itself when none was given. Frees the new profile unless it is returned.
ToolProfile* profileJoin(ToolProfile* given, ToolProfile* front) {
  if (given == nullptr) return front;
  const bool ok = profilePrepend(given, front);
  if (ok) {
    for (int i = 0; i < front->count; ++i) profileGrowBoxBySegment(given, front->segments[i]);
  }
  profileFree(front);
  if (!ok) {
    geoFail(kGeoFailed, kProfileSource);
    return nullptr;
  }
  return given;
}

// A band of the assembly: from the axis out to r0 at height z0, a cone out to r1 at z1, then up
// to z2. Null when memory runs out.
ToolProfile* profileFromBand(double z0, double r0, double r1, double z1, double z2, int type) {
  ToolProfile* p = profileNew(3);
  if (p == nullptr) return nullptr;
  double r = 0.0, z = z0;
  if (!profileLineTo(p, &r, &z, r0, z0, type) || !profileLineTo(p, &r, &z, r1, z1, type) ||
      !profileLineTo(p, &r, &z, r1, z2, type)) {
    profileFree(p);
    return nullptr;
  }
  return p;
}

// The first contour of the list named name, or null.
const GuideCurve* profileFindCurve(const GuideCurve* list, const char* name) {
  for (const GuideCurve* c = list; c != nullptr; c = c->next) {
    if (std::strcmp(c->name, name) == 0) return c;
  }
  return nullptr;
}

}  // namespace

ToolProfile* profileNew(int n) {
  auto* p = static_cast<ToolProfile*>(memAllocZero(sizeof(ToolProfile)));
  if (p == nullptr) {
    geoFail(kGeoFailed, kProfileSource);
    return nullptr;
  }
  profileEmptyBox(p);
  if (!profileReserve(p, n > 3 ? n : 3)) {
    memFree(p);
    geoFail(kGeoFailed, kProfileSource);
    return nullptr;
  }
  return p;
}

void profileFree(ToolProfile* profile) {
  if (profile == nullptr) return;
  memFree(profile->segments);
  memFree(profile->types);
  memFree(profile);
}

int profileAppendSegment(ToolProfile* profile, const ProfileSegment& segment, int type) {
  if (profile == nullptr) return geoFail(kGeoFailed, kProfileSource);
  if (std::fabs(segment.r1 - segment.r2) < kToolLengthEps &&
      std::fabs(segment.z1 - segment.z2) < kToolLengthEps) {
    return 1;
  }
  if (profile->count >= profile->capacity &&
      !profileReserve(profile, static_cast<std::int64_t>(1.5 * profile->capacity))) {
    return geoFail(kGeoFailed, kProfileSource);
  }
  profile->segments[profile->count] = segment;
  profile->types[profile->count] = static_cast<std::int16_t>(type);
  ++profile->count;
  profileGrowBoxBySegment(profile, segment);
  return 1;
}

ToolProfile* profileFromShank(const ToolAssembly* assembly) {
  if (assembly == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  return profileFromBand(a.freeLength, a.neckDiameter / 2.0, a.shankBandDiameter / 2.0, a.coneTop,
                         a.holderStart, kProfileShank);
}

ToolProfile* profileFromHolder(const ToolAssembly* assembly) {
  if (assembly == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  return profileFromBand(a.holderStart, a.holderDiameter1 / 2.0, a.holderDiameter2 / 2.0,
                         a.holderConeTop, a.holderTop, kProfileHolder);
}

ToolProfile* profileExtension(const ToolAssembly* assembly, double t) {
  if (assembly == nullptr) return nullptr;
  ToolProfile* p = profileNew(3);
  if (p == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  const double r0 = a.radius - t / 2.0;
  const double s = a.shankDiameter - t;
  double r = r0, z = t + a.taperLength;
  bool ok = true;
  if (std::fabs(a.taperAngle) < kToolLengthEps) {
    ok = profileAppendSegment(p, ProfileSegment{r0, t, r0, t + a.taperLength}, kProfileExtension) ==
         1;
  }
  ok = ok && profileLineTo(p, &r, &z, s / 2.0, t + a.taperLength + a.bandLength, kProfileExtension);
  ok = ok && profileLineTo(p, &r, &z, s / 2.0, a.freeLength, kProfileExtension);
  if (!ok) {
    profileFree(p);
    return nullptr;
  }
  return p;
}

ToolProfile* profileTiltedExtension(const ToolAssembly* assembly, double t) {
  if (assembly == nullptr) return nullptr;
  ToolProfile* p = profileNew(3);
  if (p == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  const double th = profileRadians(a.taperAngle);
  const double c = std::cos(th), s = std::sin(th);
  const ProfileSegment seg{a.radius * c + t * s, t * c + a.radius * s,
                           a.radius * c + std::tan(th) * (a.taperLength - a.radius * s),
                           a.taperLength};
  if (profileAppendSegment(p, seg, kProfileExtension) != 1) {
    profileFree(p);
    return nullptr;
  }
  return p;
}

ToolProfile* profileAddExtension(ToolProfile* profile, const ToolAssembly* assembly,
                                 double diameter) {
  if (assembly == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  const double d = std::fabs(diameter) < kToolLengthEps ? a.shankDiameter : diameter;
  ToolProfile* front = profileNew(4);
  if (front == nullptr) return nullptr;
  double r = 0.0, z = a.radius;
  bool ok = profileLineTo(front, &r, &z, d / 2.0, a.radius, kProfileExtension);
  if (ok && std::fabs(a.taperLength) >= kToolLengthEps) {
    ok = profileLineTo(front, &r, &z, d / 2.0, a.taperLength, kProfileExtension);
  }
  if (ok && std::fabs(a.bandLength) >= kToolLengthEps) {
    ok = profileLineTo(front, &r, &z, a.shankDiameter / 2.0, z + a.bandLength, kProfileExtension);
  }
  ok = ok && profileLineTo(front, &r, &z, a.shankDiameter / 2.0, a.freeLength, kProfileExtension);
  if (!ok) {
    profileFree(front);
    return nullptr;
  }
  return profileJoin(profile, front);
}

ToolProfile* profileAddTaper(ToolProfile* profile, const ToolAssembly* assembly, double width,
                             int widen) {
  if (assembly == nullptr) return nullptr;
  const ToolAssembly& a = *assembly;
  const double cap =
      profile != nullptr && profile->count > 0 ? profile->segments[0].z1 : a.freeLength;
  double w = std::fabs(width) < kToolLengthEps ? a.shankDiameter : width;
  if (widen != 0) {
    const double th = profileRadians(a.taperAngle);
    w += 2.0 * std::tan(th) * (std::sin(th) * a.cornerRadius + a.taperLength) -
         2.0 * (1.0 - std::cos(th)) * a.cornerRadius;
  }
  double pz = a.radius;
  if (a.taperLength >= -kToolLengthEps) pz = a.taperLength;
  const double shank = a.shankDiameter / 2.0;

  ToolProfile* front = profileNew(3);
  if (front == nullptr) return nullptr;
  const ProfileSegment s1{w / 2.0, std::min(pz, cap), shank, std::min(pz + a.bandLength, cap)};
  bool ok = true;
  const bool s1Degenerate =
      std::fabs(s1.r1 - s1.r2) < kToolLengthEps && std::fabs(s1.z1 - s1.z2) < kToolLengthEps;
  if (!s1Degenerate && std::fabs(pz - cap) >= kToolLengthEps) {
    ok = profileAppendSegment(front, s1, kProfileShank) == 1;
  }
  if (ok && std::fabs(s1.z2 - cap) >= kToolLengthEps) {
    ok = profileAppendSegment(front,
                              ProfileSegment{shank, s1.z2, shank, std::min(a.freeLength, cap)},
                              kProfileShank) == 1;
  }
  if (!ok) {
    profileFree(front);
    return nullptr;
  }
  if (profile == nullptr) return front;
  if (front->count == 0 || !(front->zmin <= profile->zmin - kToolLengthEps)) {
    profileFree(front);
    return profile;
  }
  const ProfileSegment last = front->segments[front->count - 1];
  const int added = front->count;
  const bool hadSegments = profile->count > 0;
  ToolProfile* joined = profileJoin(profile, front);
  if (joined == nullptr) return nullptr;
  if (hadSegments) {
    // The profile's own first segment now starts where the taper ends; the box follows.
    joined->segments[added].r1 = last.r2;
    joined->segments[added].z1 = last.z2;
    profileEmptyBox(joined);
    for (int i = 0; i < joined->count; ++i) profileGrowBoxBySegment(joined, joined->segments[i]);
  }
  return joined;
}

int profileReadNamedStatus(const char* file, const char* name, double chordTolerance,
                           double startHeight, int type, ToolProfile** out) {
  if (out != nullptr) *out = nullptr;
  if (file == nullptr || name == nullptr || out == nullptr) {
    return geoFail(kProfileBadArgument, kProfileSource);
  }
  geoErrReset();
  GuideCurve* curves = contFileRead(file, chordTolerance);
  if (curves == nullptr) {
    // The reader leaves -29 for a file it cannot open and -1 when memory ran out; a readable
    // file without a complete contour leaves the record clear.
    const int code = geoErrCode();
    if (code == kGeoFailed) return kProfileNoMemory;
    if (code < 0) return kProfileUnreadable;
    return kProfileNotInFile;
  }
  int result = kProfileNotInFile;
  GuideCurve* c = const_cast<GuideCurve*>(profileFindCurve(curves, name));
  if (c != nullptr && c->count > 0 && c->points != nullptr) {
    for (int i = 0; i < c->count; ++i) {
      c->points[i].x *= unitFactor;
      c->points[i].y *= unitFactor;
      if (c->z != nullptr) c->z[i] *= unitFactor;
    }
    const double shift = startHeight - c->points[0].y;
    for (int i = 0; i < c->count; ++i) c->points[i].y += shift;
    profileMakeMonotonic(c);

    ToolProfile* p = profileNew(c->count + 1);
    bool ok = p != nullptr;
    const Point2D first = c->points[0], last = c->points[c->count - 1];
    if (ok && std::fabs(first.x) >= kToolLengthEps) {
      ok = profileAppendSegment(p, ProfileSegment{0.0, first.y, first.x, first.y}, type) == 1;
    }
    for (int i = 1; ok && i < c->count; ++i) {
      const Point2D a = c->points[i - 1], b = c->points[i];
      ok = profileAppendSegment(p, ProfileSegment{std::fabs(a.x), a.y, std::fabs(b.x), b.y},
                                type) == 1;
    }
    if (ok && std::fabs(last.x) >= kToolLengthEps) {
      ok = profileAppendSegment(p, ProfileSegment{last.x, last.y, 0.0, last.y}, type) == 1;
    }
    if (ok) {
      *out = p;
      result = kProfileFound;
    } else {
      profileFree(p);
      result = kProfileNoMemory;
    }
  }
  guideFree(curves);
  return result;
}

ToolProfile* profileReadNamed(const char* file, const char* name, double chordTolerance,
                              double startHeight, int type) {
  ToolProfile* p = nullptr;
  profileReadNamedStatus(file, name, chordTolerance, startHeight, type, &p);
  return p;
}

int profileOffset(ToolProfile* profile, double distance) {
  if (profile == nullptr || profile->count == 0) return 0;
  const int n = profile->count;
  const std::int64_t room = static_cast<std::int64_t>(n) + kOffsetExtraRoom;
  if (room > std::numeric_limits<std::int32_t>::max()) return geoFail(kGeoFailed, kProfileSource);
  std::int16_t firstType = profile->types[0];
  int made = 0;
  auto* segs = static_cast<ProfileSegment*>(
      memAllocZero(static_cast<std::size_t>(room) * sizeof(ProfileSegment)));
  auto* types = static_cast<std::int16_t*>(
      memAllocZero(static_cast<std::size_t>(room) * sizeof(std::int16_t)));
  try {
    if (segs == nullptr || types == nullptr) throw std::bad_alloc();
    std::vector<Seg2D> in(static_cast<std::size_t>(n));
    std::vector<Seg2D> out(static_cast<std::size_t>(room));
    for (int i = 0; i < n; ++i) {
      const ProfileSegment& s = profile->segments[i];
      in[static_cast<std::size_t>(i)] = Seg2D{s.r1, s.z1, s.r2, s.z2};
    }
    // Corners of a profile turn by up to a right angle: the join must miter them, not chamfer.
    pathSetParallelTol(1);
    made = segOffsetContour(in.data(), n, std::fabs(distance), out.data(), static_cast<int>(room),
                            distance < 0.0 ? 1 : -1);
    pathSetParallelTol(0);
    for (int i = 0; i < made; ++i) {
      const Seg2D& o = out[static_cast<std::size_t>(i)];
      segs[i] = ProfileSegment{o.x1, o.y1, o.x2, o.y2};
      types[i] = firstType;
    }
  } catch (const std::bad_alloc&) {
    pathSetParallelTol(0);
    made = -1;
  }
  if (made <= 0) {
    memFree(segs);
    memFree(types);
    return geoFail(kGeoFailed, kProfileSource);
  }
  memFree(profile->segments);
  memFree(profile->types);
  profile->segments = segs;
  profile->types = types;
  profile->count = made;
  profile->capacity = static_cast<std::int32_t>(room);
  profileEmptyBox(profile);
  for (int i = 0; i < made; ++i) profileGrowBoxBySegment(profile, segs[i]);
  return 1;
}

void profileShiftZ(ToolProfile* profile, double dz) {
  if (profile == nullptr) return;
  for (int i = 0; i < profile->count; ++i) {
    profile->segments[i].z1 += dz;
    profile->segments[i].z2 += dz;
  }
  // The box stays the box of the segments (an empty box stays empty).
  if (profile->count > 0) {
    profile->zmin += dz;
    profile->zmax += dz;
  }
}

double profileMaxAngle(const ToolProfile* profile) {
  if (profile == nullptr) return 0.0;
  double best = 0.0;
  for (int i = 0; i < profile->count; ++i) {
    const ProfileSegment& s = profile->segments[i];
    const double len = std::sqrt(s.r2 * s.r2 + s.z2 * s.z2);
    if (!(len >= kToolLengthEps)) continue;
    const double angle = vecAcosClamped(std::fabs(s.z2) / len);
    if (angle > best) best = angle;
  }
  return best;
}

int profileMakeMonotonic(GuideCurve* curve) {
  if (curve == nullptr || curve->points == nullptr) return 0;
  int changed = 0;
  for (int i = 1; i < curve->count; ++i) {
    Point2D& p = curve->points[i];
    const Point2D& prev = curve->points[i - 1];
    if (p.x < prev.x) {
      p.x = prev.x;
      changed = 1;
    }
    if (p.y < prev.y) {
      p.y = prev.y;
      changed = 1;
    }
  }
  return changed;
}

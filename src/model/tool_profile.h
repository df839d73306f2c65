// tool_profile.h - half-profiles of shank, holder, head and extension in the (r, z) plane
// (r = distance from the tool axis, z = height above the tip): built from the tool assembly or
// read by name from an exchange contour file, offset by a clearance and revolved into collision
// bodies by the holder collision model.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/guide_curve.h"
#include "model/tool_assembly.h"

// One segment of a half-profile: from (r1, z1) to (r2, z2).
struct ProfileSegment {
  double r1, z1, r2, z2;
};
static_assert(sizeof(ProfileSegment) == 32);

// Segment types.
constexpr std::int16_t kProfileShank = 1;
constexpr std::int16_t kProfileHolder = 2;
constexpr std::int16_t kProfileExtension = 3;

// A half-profile owning its arrays (framework heap). The box starts empty (+DBL_MAX minimum,
// -DBL_MAX maximum) and covers every segment end.
struct ToolProfile {
  std::int32_t count;
  std::int32_t capacity;  // at least 3
  double rmin, zmin, rmax, zmax;
  ProfileSegment* segments;
  std::int16_t* types;  // one per segment
};
static_assert(sizeof(ToolProfile) == 56 && offsetof(ToolProfile, rmin) == 8);
static_assert(offsetof(ToolProfile, segments) == 40 && offsetof(ToolProfile, types) == 48);

// Results of profileReadNamedStatus.
constexpr int kProfileFound = 1;
constexpr int kProfileNotInFile = 0;      // readable, but no contour of that name (or no point)
constexpr int kProfileNoMemory = -1;      // memory ran out
constexpr int kProfileBadArgument = -20;  // null file or name, or a null out pointer
constexpr int kProfileUnreadable = -29;   // the file cannot be opened or is no exchange file

// An empty profile with room for max(n, 3) segments; null when memory runs out.
ToolProfile* profileNew(int n);
// Frees the arrays and the profile. Null is ignored.
void profileFree(ToolProfile* profile);

// Appends the segment with its type: a segment whose ends agree within 0.00001 in r and z is
// skipped; a full profile grows to trunc(1.5 x capacity); the box takes both ends.
// Returns 1; -1 for a null profile or when memory runs out (profile unchanged).
int profileAppendSegment(ToolProfile* profile, const ProfileSegment& segment, int type);

// Profiles of the assembly's bands (new profiles; null when memory runs out):
// shank (type 1): (0, free length) - (neck / 2, free length) - (shank band / 2, cone top) -
// (shank band / 2, holder start);
ToolProfile* profileFromShank(const ToolAssembly* assembly);
// holder (type 2): (0, holder start) - (holder d1 / 2, holder start) - (holder d2 / 2, holder
// cone top) - (holder d2 / 2, holder top);
ToolProfile* profileFromHolder(const ToolAssembly* assembly);
// extension (type 3) of the cutter inset by t / 2, t the extension chord tolerance: with
// r0 = R - t/2, s = shank diameter - t: (r0, t) - (r0, t + taper length) (only for a taper
// angle below 0.00001 in size) - (s/2, t + taper length + band length) - (s/2, free length);
ToolProfile* profileExtension(const ToolAssembly* assembly, double t);
// the taper of a tilted-wall cutter (type 3), theta the taper angle: one segment from
// (R cos theta + t sin theta, t cos theta + R sin theta) to
// (R cos theta + tan theta (taper length - R sin theta), taper length).
ToolProfile* profileTiltedExtension(const ToolAssembly* assembly, double t);

// Puts the extension's segments (type 3) in front of the profile's: from (0, R) to (d/2, R), up
// the taper to (d/2, taper length) when there is one, along the band to (shank / 2, z + band
// length) when there is one, and up to (shank / 2, free length); d = diameter, or the shank
// diameter when below 0.00001 in size. The box takes the new segments. Returns the profile (a new
// one when profile is null); null when memory runs out (a given profile is then unchanged and
// still the caller's).
ToolProfile* profileAddExtension(ToolProfile* profile, const ToolAssembly* assembly,
                                 double diameter);
// Puts the shank taper's segments (type 1) in front of the profile's, capped at the height c of
// the profile's first point (the free length without one): width a = w (the shank diameter when
// below 0.00001 in size), widened by the tilted wall with the widen flag; from (a/2, taper length)
// along the band, then up to (shank / 2, min(free length, c)). With a given profile they are put
// in front only when they reach at least 0.00001 below its lowest point, and the profile's first
// segment then starts at their end (the box recomputed); otherwise the profile is returned
// unchanged. Returns as profileAddExtension.
ToolProfile* profileAddTaper(ToolProfile* profile, const ToolAssembly* assembly, double width,
                             int widen);

// Reads the contours of the exchange file (chord tolerance as given) and takes the first whose
// name equals name exactly; scales x, y (and z) by the unit factor; shifts y so that the first
// point lies at height startHeight; makes it monotonic (profileMakeMonotonic); then segments of
// the given type from (0, y0) to (x0, y0), between consecutive points (|x| as r) and back from
// (xn, yn) to (0, yn), the closing ones only when |x| is 0.00001 or more. Writes the new profile
// to *out (null unless kProfileFound). Returns one of the kProfile* results above.
int profileReadNamedStatus(const char* file, const char* name, double chordTolerance,
                           double startHeight, int type, ToolProfile** out);
// profileReadNamedStatus's profile, or null whatever went wrong.
ToolProfile* profileReadNamed(const char* file, const char* name, double chordTolerance,
                              double startHeight, int type);

// Offsets the segments as an open polyline by |distance|, outward and down for distance > 0
// (side -1 of the segment offset), inward and up for distance < 0, with the corner joins of the
// path routines allowed up to about 91 degrees during the call. The segments are replaced, all of
// the old first segment's type, and the box recomputed. Returns 1; 0 for a null or empty profile;
// -1 when the offset yields no segment or memory runs out (profile unchanged).
int profileOffset(ToolProfile* profile, double distance);
// Adds dz to every segment's heights and to the box. Null is ignored.
void profileShiftZ(ToolProfile* profile, double dz);
// Largest angle from the tool axis, acos(|z2| / |(r2, z2)|), over the segments' end points at
// least 0.00001 from the origin; 0 when there is none.
double profileMaxAngle(const ToolProfile* profile);
// From the second point on: an x below the previous point's x becomes that x, a y below the
// previous y becomes that y. Returns 1 when a point changed, else 0 (also for null).
int profileMakeMonotonic(GuideCurve* curve);

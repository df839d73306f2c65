// walker.cpp - the Z-path rounding entry point that the geometry code calls. It is not part of
// this library yet: it reports failure and leaves its arguments unchanged, so callers take their
// failure path instead of using empty results.
#include "zlevel/walker.h"

#include "geometry/geo_error.h"
#include "geometry/kont2d.h"

int zpathListFillet(ZPathList* list, Kont2D*, double radius) {
  if (list == nullptr || list->count <= 0 || !(radius > 0.0)) return 0;
  // The rounding leaves both contour switches cleared when it returns, whatever its outcome.
  kontSetNoRound(0);
  kontSetSkipCheck(0);
  return geoFail(kGeoFailed, "walker");
}

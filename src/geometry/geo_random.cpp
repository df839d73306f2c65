// geo_random.cpp - the library's reproducible random generator: a linear congruential sequence
// of its own, so that results never depend on the C library's generator.
#include "geometry/geo_random.h"

namespace {
constexpr unsigned int kRandModulus = 259200;
constexpr unsigned int kRandMultiplier = 7141;
constexpr unsigned int kRandIncrement = 54773;

struct GeoRandomState {
  unsigned int state = 1;
};
GeoRandomState randState;
}  // namespace

void geoRandResetState() { randState = GeoRandomState{}; }

void geoRandSeed(unsigned int seed) { randState.state = seed % kRandModulus; }

double geoRandNext() {
  // The state stays below the modulus, so the product fits in 32 bits.
  randState.state = (kRandMultiplier * randState.state + kRandIncrement) % kRandModulus;
  return static_cast<double>(randState.state) / static_cast<double>(kRandModulus);
}

// geo_random.h - the reproducible random generator of the library, independent of the C
// library's: the same seed gives the same sequence on every machine.
#pragma once

// Reproducible random generator of the library, independent of the C library's: state = seed
// mod 259200.
void geoRandSeed(unsigned int seed);
// state = (7141 state + 54773) mod 259200; returns state / 259200, in [0, 1).
double geoRandNext();

// Test seam: state 1, as at load.
void geoRandResetState();

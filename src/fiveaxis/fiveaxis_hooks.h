// fiveaxis_hooks.h - what the five-axis tool-axis control installs into the geometry code below
// it: the polyline offset that the boundary offset falls back on. Installed when the library
// loads; tests that removed it call the install again.
#pragma once

// Installs tiltOffsetPolyline as the boundary offset's fallback (bndSetTiltOffset) and
// tiltSidewaysAlongPath as the spiral transitions' axis tilt (spiralSetTiltHook).
void fiveaxisInstallHooks();

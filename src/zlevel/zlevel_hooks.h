// zlevel_hooks.h - what the Z-level slicing installs into the geometry code below it: the entry
// points of the contour walker, of the one-Z wall contact and of the Z-path rounding. Installed
// when the library loads; tests that removed them call the install again.
#pragma once

// Installs offs3dPrepare, offs3dTrace, offs3dRelease, zpathListFillet and wcollWallContact
// (walkSetHooks).
void zlevelInstallHooks();

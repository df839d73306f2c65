// zfin_main.h - the Z-level finishing driver that the finishing record's compute phase runs, and
// its two tool routines that the roughing uses too: the radial allowance on the tool keys and
// the cutter offset by an allowance.
#pragma once

#include <cstdint>

#include "model/cutter_shape.h"

// Runs the Z-level finishing with the configuration file at cfgPath, or on the global parameter
// block as it stands when cfgPath is null. The driver is not part of the library yet: this
// stand-in sends message 1104 "* Funktion noch nicht realisiert" with the argument "zfinMain"
// (level 9) and returns -1, so the run's status word says failure, never success.
int zfinMain(const char* cfgPath);

// Adds the radial allowance "*AUFMASS_HORI" to the tool keys of the global parameter block:
// "*FRBOGEN" follows the tool type (the radius for 1 and 12, 0 for 2), "*FRRADIUS" grows by the
// allowance and "*SHAFT_DIAMETER" by twice it; a radius that falls below the corner radius is
// raised to it with message 1126 "* Warning: allowance + tool radius < 0, corrected to 0"; last
// "*FRTYP" is derived again from the two radii (12 and 13 stay in their family).
void zfinApplyRadialAllowance();

// Offsets the cutter by allowance: a ball stays a ball of radius R + a (z offset R in tip mode
// 1); a flat end mill becomes a torus of corner a for a positive allowance, else stays flat with
// z offset -a; a torus grows its corner by a, or becomes flat when the corner would vanish.
// The shank diameter grows by 2a and the taper length loses the new corner (torus) or radius
// (ball). A torus wider in its corner than its radius gets message 329 and the corner as radius;
// a negative radius becomes 0 with message 330. Null is ignored.
void zfinToolAddAllowance(CutterShape* cutter, double allowance, std::int16_t tipMode);

// Tolerance of the allowance rules.
inline constexpr double kZfinAllowanceEps = 1e-5;
// Messages of the allowance rules.
inline constexpr int kZfinMsgRadialCorrected = 1126;
inline constexpr int kZfinMsgCornerTooLarge = 329;
inline constexpr int kZfinMsgRadiusNegative = 330;

// rough_config.h - the roughing's configuration step: the configuration file (when one is
// named), the unit factor from the tool radius, the unit scaling of every length key, the message
// file and level, and the hidden options that a user writes into the cycle's comment text.
#pragma once

// Sets the unit factor to 1; reads the configuration file at path into the global parameter
// block when a path is given; then the unit factor becomes 10 / "*FRRADIUS", "FAN_DIST" is read,
// every length key is scaled once by the unit factor (parScaleUnits), "*AUFLMAX" = 1 and
// "*STEP_MIN" = 0.01 (scaled lengths), the message file "<*LOC_DIR>/rsrupphc.loc" is named and,
// when "*REPORT" is not empty, the message level set from it. Returns 0; -1 when path is given
// and the file cannot be read (message 332 names it; nothing else is done, the unit factor stays
// 1). -1 too when "*FRRADIUS" is not a positive number, or so small that the unit factor is not
// finite (message 1001 "*FRRADIUS"; nothing is scaled).
int roughReadConfig(const char* path);

// Hidden options: each searches the comment text ("*COMMENT", or "*A1", its other name) as plain
// case-sensitive text and returns 1 when its keyword is found and it acted, else 0.
// "OUTSIDE_IN": "*OUTSIDE_IN" = 1.
int roughOptOutsideIn();
// "SKIP_NOCUT": "*SKIP_NOCUT" = 1.
int roughOptSkipNoCut();
// "FAN_DIST", then the first '=' after it and a number n (blanks skipped; no number reads 0):
// "*FAN_DIST" = n in the user's units. It runs before the unit scaling, which scales it once.
// Without a '=' after the keyword it returns 0 and changes nothing.
int roughOptFanDist();
// "STEP", then the first '=' after it and a number n: the stepover "*HORIZUSTEL" = n tool
// diameters (n x 2 x "*FRRADIUS", the scaled radius 10), the contour-parallel strategy
// ("*BEARBEITRICHT" 3, "*AXIS_POCKET" 0) with a helical plunge ("*MACRO_TMODE" 2) of radius 2 in
// the user's units ("*MACRO_TRAD" 2 x unit factor) and ramp angle "*MACRO_TSWIN" 5 degrees. It
// runs after the unit scaling. Without a '=' after the keyword it returns 0 and changes nothing.
int roughOptStep();

// The message file of the roughing, in "*LOC_DIR".
inline constexpr char kRoughMsgFile[] = "rsrupphc.loc";
// Message of a file that cannot be read ("* Fehler beim lesen der Datei %s").
inline constexpr int kRoughMsgReadFailed = 332;

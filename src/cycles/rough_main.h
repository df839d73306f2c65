// rough_main.h - the Z-level roughing run that the roughing records' compute phases run once the
// cycle parameters have reached the global parameter block.
#pragma once

// Runs the roughing with the configuration file at cfgPath, or on the global parameter block as
// it stands when cfgPath is null; returns the stop code (0 or more success, -2 user break, other
// negative values failures). The roughing is not part of the library yet: this stand-in sends
// message 1104 "* Funktion noch nicht realisiert" with the argument "roughMain" (level 9) and
// returns -1, so the run's status word says failure, never success.
int roughMain(const char* cfgPath);

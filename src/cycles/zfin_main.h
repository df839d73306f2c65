// zfin_main.h - the Z-level finishing driver that the finishing record's compute phase runs.
#pragma once

// Runs the Z-level finishing with the configuration file at cfgPath, or on the global parameter
// block as it stands when cfgPath is null. The driver is not part of the library yet: this
// stand-in sends message 1104 "* Funktion noch nicht realisiert" with the argument "zfinMain"
// (level 9) and returns -1, so the run's status word says failure, never success.
int zfinMain(const char* cfgPath);

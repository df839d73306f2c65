// kernel.h - the framework's root record, the kernel "Zodavevoze": the parent at the end of every
// cycle's chain, supplying the default slots (parameter source loading, information phases, the
// end phase). Every cycle record names it, or a record that names it, as its parent.
#pragma once

#include "framework/cycle.h"
#include "framework/param_list.h"

// The kernel record: parent null, inherited 1, no null slot.
extern CycleRecord cycKernel;

// Default slot that does nothing. Returns 1.
int cycPhaseNoop(CycleRecord* cycle);

// Kernel phaseLoadParams: loads "<id>.def" (kind 13) when the record has an id, then the run's
// source (kind 21): "| stdin" reads the standard input; otherwise ".pcf" is appended unless the
// name ends in ".pcf" in any case (names under four characters always get it). Then the NC frame:
// identity, axis columns from "frameCs_x", "frameCs_y", "frameCs_z" as unit vectors, origin from
// "frameCs_o" (first entry of each name; a key without a usable value keeps its column). The
// tool frame starts as a copy of it; missing "toolCs_*" keys are set from the "frameCs_*" key of
// the same letter (kind 31) and read in the same way. Missing files leave the list as it was.
// Returns 1 (loading never fails the run).
int cycLoadParamSources(CycleRecord* cycle);

// Kernel phaseLoadCfg: appends the entries of the run's ".CFG" source to cfgEntries in file order
// (kind 21; ".CFG" is appended unless the name ends in it in any case, names under four
// characters always get it; the name is opened exactly, case-sensitively). Then the program
// parameters (kind 31): "*APT" gives "pofFilename", "*FRAME_ID" "zeroPointID", "*FRAME_COMMENT"
// "frameComment" escaped as in the exchange format. NC frame: identity, axis columns from
// "*NCKO_X", "*NCKO_Y", "*NCKO_Z" as unit vectors, origin from "*NCKO_O"; tool frame: a copy of
// it read from "*WZKO_*" in the same way; the last usable entry of a key wins. A missing file
// leaves the entries as they were. Returns 1 (loading never fails the run).
int cycLoadCfgSource(CycleRecord* cycle);

// For every entry named name whose value yields exactly three finite numbers (numParse3), stores
// them in x, y, z; with firstOnly 1 only the first entry of that name is looked at, usable or not,
// otherwise the last usable entry wins. No normalisation. Returns 1 when a usable entry was
// stored, else 0 (outputs unchanged).
int cycReadPointParam(const ParamNode* list, const char* name, int firstOnly, double* x, double* y,
                      double* z);

// Information phases: the language file named by the parameter item ("parameters", "algorithm",
// "layers") is read for the parameter "SystemLanguage" (or "???" when it is not set), and each
// entry of its section goes to the host as an information text named item.
// Returns langFileReadSection's result; 0 when the item parameter is not set.
int cycShowMsgSection(CycleRecord* cycle, const char* item);
// Kernel phaseVersion: the information text "version": the title, the id in parentheses (when
// the record has one) and "release <code>-<version text>". Returns 1.
int cycInfoVersion(CycleRecord* cycle);
// Kernel phaseHelp: the information text "help": the options a cycle run understands, one per
// line. Returns 1.
int cycInfoHelp(CycleRecord* cycle);
int cycInfoParameters(CycleRecord* cycle);
int cycInfoAlgorithm(CycleRecord* cycle);
int cycInfoLayers(CycleRecord* cycle);

// Kernel phaseEnd: record 104 "cycleEnd" with the title on layer 0, then frees the layer list.
// Returns 1.
int cycEndDefault(CycleRecord* cycle);

// xchg_writers.h - the exchange-mode twins of the POF text writers: with -PCF a cycle writes its
// header and cycle records, NC values, tool lines, contours and moves into one exchange file
// (named by the parameter "geoOut") instead of POF text. The layer-0 lines of the run are kept in
// memory as well and written to the bypass file "qdByPass.pof" when the cycle ends fatally.
#pragma once

#include <cstdint>
#include <cstdio>

#include "framework/output.h"

// The bypass file in the working directory.
inline constexpr char kPofBypassFile[] = "qdByPass.pof";

// The exchange writers, one per layer (writer signature of the output layers). Each returns 1;
// the layer-0 writer returns 0 for a fatal-error record (type 102). Every writer writes only while
// an exchange file is open; records of a type a writer does not know are ignored.
// The "cycle" record opens the file under a temporary name in the folder of "geoOut"; the
// "cycleEnd" record renames it over "geoOut" when every write, the flush and the close succeeded
// and the run has not failed, and removes it otherwise. A "geoOut" that names no regular file (a
// folder, FIFO or device) is refused and left alone. A failed create, write, close or rename is
// a failure of the run: message kCycMsgWriteFailed "<path>: <reason>", status word 1.
int pofXchgLayer0(CycleRecord* cycle, OutputRecord* record);   // opens, heads and closes the file
int pofXchgLayer2(CycleRecord* cycle, OutputRecord* record);   // comments (1001), escaped
int pofXchgLayer10(CycleRecord* cycle, OutputRecord* record);  // NC control values (301)
int pofXchgLayer11(CycleRecord* cycle, OutputRecord* record);  // tool description (3131, 3199)
int pofXchgLayer30(CycleRecord* cycle, OutputRecord* record);  // points with a value (3104)
int pofXchgLayer31(CycleRecord* cycle, OutputRecord* record);  // contours and moves
int pofXchgLayer32(CycleRecord* cycle, OutputRecord* record);  // G-code lines
// Writes nothing (layers the exchange file does not carry). Returns 1.
int pofXchgNone(CycleRecord* cycle, OutputRecord* record);

// The exchange writer of a layer (0 to 6, 10, 11, 12, 30 to 33, 35, 36, 41, 42); null for any
// other. A cycle's init registers it together with pofTextWriterFor(layer).
OutputWriterFn pofXchgWriterFor(std::uint16_t layer);

// The open exchange file, or null.
std::FILE* pofXchgFile();

// Puts a copy of the line at the front of the bypass list (dropped when memory fails).
void pofBypassAddLine(const char* text);
// Deletes the bypass file; when the list is not empty, writes its lines oldest first, each with
// LF, to a new bypass file; then closes the exchange file when it is open, dropping it: the file
// "geoOut" names keeps its previous content after a fatal end.
void pofBypassFlush();
// Frees the bypass list.
void pofBypassFree();

// Test seam: closes an open exchange file (as the "cycleEnd" record does) and frees the bypass
// list.
void pofXchgResetState();

// pof_writer.h - the POF text writers: every output record of a registered layer becomes one or
// more "layer: text" lines of the toolpath text that post-processors and the POF reader consume.
// The layer-0 writer opens and closes a cycle's output (header, tool description, end lines);
// the move writers number the moves and bracket the first complete tool position of each cycle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "framework/output.h"
#include "framework/param_list.h"

// Cycles nest at most this deep; the writers keep one state slot per level.
inline constexpr int kPofLevels = 8;

// Room of the texts of pofTimeText and pofJobUuid, terminating NUL included.
inline constexpr std::size_t kPofTimeTextSize = 64;
inline constexpr std::size_t kPofUuidSize = 135;

// The text writers, one per layer (writer signature of the output layers). Each returns 1; the
// layer-0 writer returns 0 for a fatal-error record (type 102). Records of a type a writer does
// not know are ignored. An output that cannot be opened ("pofFilename" naming a folder, FIFO,
// device or an unwritable path), written or flushed and closed is a failure of the run: message
// kCycMsgWriteFailed "<path>: <reason>" ("standard output" when no file was named), status word
// 1, and nothing more is written to it (never standard output in place of a named file).
int pofTextLayer0(CycleRecord* cycle, OutputRecord* record);  // header, cycle and end lines
int pofTextLayer1(CycleRecord* cycle, OutputRecord* record);  // parameter echo (201 to 204)
int pofTextLayer2(CycleRecord* cycle, OutputRecord* record);  // comments (1001), escaped
int pofTextLayer3(CycleRecord* cycle, OutputRecord* record);  // "3: ---" for every record
int pofTextLayer4(CycleRecord* cycle, OutputRecord* record);
int pofTextLayer5(CycleRecord* cycle, OutputRecord* record);
int pofTextLayer6(CycleRecord* cycle, OutputRecord* record);
int pofTextLayer10(CycleRecord* cycle, OutputRecord* record);  // NC control values (301)
int pofTextLayer11(CycleRecord* cycle, OutputRecord* record);  // tool description (3131, 3199)
int pofTextLayer12(CycleRecord* cycle, OutputRecord* record);  // parts, contexts, move kinds
int pofTextLayer30(CycleRecord* cycle, OutputRecord* record);  // points with a value (3104)
int pofTextLayer31(CycleRecord* cycle, OutputRecord* record);  // moves
int pofTextLayer32(CycleRecord* cycle, OutputRecord* record);  // G-code lines
int pofTextLayer33(CycleRecord* cycle, OutputRecord* record);  // moves
int pofTextLayer35(CycleRecord* cycle, OutputRecord* record);  // moves
int pofTextLayer36(CycleRecord* cycle, OutputRecord* record);  // moves
// Writes nothing (layers 41 and 42 exist for the host's listeners only). Returns 1.
int pofTextNone(CycleRecord* cycle, OutputRecord* record);

// The move lines of layer 31 and its siblings 33, 35 and 36, written with that layer number.
// Returns 1.
int pofTextMoves(CycleRecord* cycle, OutputRecord* record, unsigned layer);

// The text writer of a layer (0 to 6, 10, 11, 12, 30 to 33, 35, 36, 41, 42); null for any other.
// A cycle's init registers its layers with these.
OutputWriterFn pofTextWriterFor(std::uint16_t layer);

// Makes stream the POF output when it is not null and refers to a regular file; otherwise the
// output becomes standard output. Returns 1 when stream became the output, else 0.
int pofSetOutput(std::FILE* stream);
// The POF output stream (standard output until a stream is set or a cycle opens its file).
std::FILE* pofGetOutput();

// Literal block: the entries "literal_<n>" of the parameters (".CFG" sources: "*LITERAL_<n>" of
// the entries; the last of equal numbers wins) whose value begins with "<block>:", in ascending
// n, each sent as "Gcode" with the rest of its value escaped, between "nctx" := block and
// "nctx" := "0" on layer 10. Returns the number of "Gcode" lines sent.
int cycWriteLiteralBlock(CycleRecord* cycle, const char* block);

// User parameter lines: the line "10: del(S:P%d[1;20;1])", then "10: arg(S:P<n>:=\"<value>\")"
// for each non-empty parameter P1 to P20 (".CFG" sources: *P1 to *P20) in ascending n.
// Returns the number of lines written.
int cycWriteUserParams(CycleRecord* cycle);

// The current date and time as "mm/dd/yy hh:mm:ss Www Mmm" (local time, English names).
void pofTimeText(char* out, std::size_t size);
// A new job id: a random version-4 UUID in lower-case 8-4-4-4-12 text; "null" when the system
// gives no random bytes.
void pofJobUuid(char* out, std::size_t size);

// Test seams. pofResetState: back to the state at load (level -1, output standard output, move
// number 0, real clock and random ids). pofTestFixClock: every clock reading returns epochMillis
// (a negative value returns to the real clock). pofTestFixUuid: every job id is text (null returns
// to random ids). pofLevelIndex: the current level index (-1 outside any cycle).
void pofResetState();
void pofTestFixClock(std::int64_t epochMillis);
void pofTestFixUuid(const char* text);
int pofLevelIndex();

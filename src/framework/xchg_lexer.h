// xchg_lexer.h - the exchange file ("qDX-Version: 1.0"): its header reader and the element lexer.
// Every reader of contours, polyhedrons, tools and toolpath objects takes its elements from here.
#pragma once

#include <cstdint>
#include <cstdio>

// The fixed first line of every exchange file. Writers write it byte for byte; the reader compares
// the first header line (without trailing blanks and tabs) with it exactly.
inline constexpr char xchgBanner[] = "qdmill exchange file";

// The header as read. kind and creator are owned texts (memFree); none when the file ended before
// that line.
struct XchgHeader {
  char* kind;
  std::uint16_t major;
  std::uint16_t minor;
  char* creator;
};

// One attribute of an element: key[value]. A method's text is an attribute without key; an
// attribute written as 'k[]' has no value (the key "t" gives an empty text instead).
struct XchgAttr {
  char* key;
  char* value;
  XchgAttr* next;
};

// One element as read. kind is 'o', 'm', 'v', '{' or '}' (0 for a cleared element). name is the
// object type, method name or variable name; id the object's or method's id, or the variable's
// value. A method text longer than kXchgLongMethodChars is not held: the element then has no
// attribute, its stream is set and textStart/textEnd frame the text in that file (textStart just
// after '(', textEnd just after the closing ')' or at the end of the file); both are -1 otherwise.
// The element owns its texts and attributes (xchgElementClear frees them).
struct XchgElement {
  std::int16_t kind;
  char* name;
  char* id;
  XchgAttr* attrs;
  std::FILE* stream;
  std::int64_t textStart;
  std::int64_t textEnd;
};

// Method texts up to this many characters (CR not counted) are kept in memory.
constexpr int kXchgLongMethodChars = 4351;

// Lexical error codes.
constexpr int kXchgErrEnd = 1;      // end of file (or byte 26) inside an element or a comment in it
constexpr int kXchgErrName = 2;     // ';' where a name must follow, or directly after a key
constexpr int kXchgErrByte = 11;    // a byte the lexer does not accept at that place
constexpr int kXchgErrMemory = 91;  // no memory for the token buffer or the element
constexpr int kXchgErrRead = 92;    // the stream reported a read error

// The last lexical error: code (0 none), offset of the byte that caused it (or of the end of the
// file) and its line, counting from 1 with CR, LF or CR LF as a line end. For a file the offset
// counts from the start of the file; for a text read with xchgLexFromText it counts from the
// cursor given to that call, and the line from the line of that cursor.
struct XchgLexError {
  int code;
  std::int64_t offset;
  std::int64_t line;
};

// Reads the four header lines. Returns 1 when the header is accepted; 0 when it is refused: end
// of file before the line end of line 3, no memory, banner differing, line 2 not beginning with
// "qDX-Version:", version above 1.0 (0.x and exactly 1.0 are accepted; unreadable numbers count
// as 0.0), a header line longer than 65536 bytes, or a null argument. The caller clears the
// header's texts beforehand and frees them afterwards (xchgHeaderFree). Starts the line count of
// the stream and clears the last lexical error.
int xchgReadHeader(std::FILE* stream, XchgHeader* header);

// Frees the header's texts and sets the record to zero; accepts null.
void xchgHeaderFree(XchgHeader* header);

// Reads the next element from the stream into an empty element. Returns 1 when an element was
// read; 0 at the end of the file (or byte 26), on a lexical error (recorded, see
// xchgLexLastError; the partly read element is freed and the byte that caused the error is
// consumed) or for a null argument. A long method text on a stream whose position cannot be
// queried (a pipe) is kept in memory as the element's attribute, since it could not be read again.
int xchgLexElement(std::FILE* stream, XchgElement* element);

// The same on a text in memory: *cursor is left just after the element read (or after the byte
// that caused an error); the terminating zero counts as the end of the file. Method texts of any
// length are kept in memory. Returns as xchgLexElement; 0 when cursor or *cursor is null.
int xchgLexFromText(const char** cursor, XchgElement* element);

// Frees the element's texts and attributes and resets it: kind 0, no stream, offsets -1. Accepts
// null.
void xchgElementClear(XchgElement* element);

// Copies the last lexical error into *out (code 0 when none since the last header read or clear).
void xchgLexLastError(XchgLexError* out);

// Forgets the last lexical error.
void xchgLexErrorClear();

// A method name ended by white space or ';' is appended as the line " methode = '<name>'" to the
// trace file kXchgTraceFile in the working folder. Switches that trace on (1, the default) or off
// (0); returns the previous setting.
int xchgLexSetTrace(int on);
inline constexpr char kXchgTraceFile[] = "qdx_methods.trc";

// Tests: frees the lexer's buffers and restores its start state (trace on, no error).
void xchgLexResetState();

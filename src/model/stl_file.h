// stl_file.h - the STL reader: text or binary STL (binary also written big-endian), detected
// from the content, delivered as triangles in file coordinates. Mapping into the tool system,
// filtering and sorting are the model loaders' work.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "geometry/lists.h"

constexpr int kStlHeaderBytes = 84;  // 80-byte header and the u32 facet count
constexpr int kStlRecordBytes = 50;  // normal, three vertices (12 f32) and a u16 attribute

// Reads the STL file (out must not be null). Returns 1 with *out a new list of the triangles
// (empty, not null, when the file holds no complete facet); -1 memory exhausted; -2 the file cannot
// be read: empty or null name, missing file, a file that is neither binary nor text STL (see
// stlIsBinary), a bad text facet (a vertex line without a keyword and three numbers), or a
// coordinate that is not a finite number. On failure *out is null and *why (when given) says why in
// a few words.
int stlReadFile(const char* path, Tri3List** out, const char** why);

// stlReadFile without the reason: the list, or null on failure.
Tri3List* stlRead(const char* path);

// 1 when the file is binary STL, 0 when it is text, -1 when it is neither. Binary: the facet
// count at offset 80 (either byte order) equals the number of 50-byte records after the 84-byte
// header, or is one more when the last record is cut short (a text file puts letters there, a
// count of hundreds of millions). Otherwise text: after an optional UTF-8 byte-order mark and
// blanks or line ends the file begins with "solid" in any case, and its first 1024 bytes hold no
// NUL byte. A file that cannot be opened counts as text (the text reader then fails).
int stlIsBinary(const char* path);

// Decides from the first binary record whether the file was written big-endian: 1 when a
// component of its normal, read little-endian, has a magnitude above 2, or its squared length is
// above 2. A normal can only mislead this way round: a big-endian normal whose components
// byte-reversed stay small - any axis-aligned normal such as (0, 0, 1), or (0, 0, 0), whose low
// mantissa bytes are zero - reads as a little-endian normal, and the file is then misread without
// a word (its coordinates become tiny or huge). A little-endian file whose first normal is not a
// unit vector (some writers leave it unnormalised or fill it with garbage) is likewise misjudged
// as big-endian.
int stlNeedsSwap(const unsigned char* record);

// Decodes the nine vertex values of a 50-byte record into a triangle, each 4-byte value read
// byte-reversed (a big-endian record).
void stlReadSwappedRecord(const unsigned char* record, Tri3D* tri);

// Reads the binary records of an open file of the given size: a trailing partial record is
// ignored. Results as stlReadFile.
int stlReadBinary(std::FILE* f, long long size, Tri3List** out, const char** why);
// Reads an open text STL file. Results as stlReadFile.
int stlReadAscii(std::FILE* f, Tri3List** out, const char** why);

// A buffered reader of whole lines of any length.
struct StlLineReader {
  std::FILE* file;
  std::size_t pos;
  std::size_t len;
  unsigned char buf[65536];
};
// Reads the next line into *line without its line feed and with every carriage return dropped.
// Returns 1 when a line was read (the last line of a file may lack its line feed); 0 at the end.
int stlReadLine(StlLineReader* reader, std::string* line);
// Number of lines of the open file (the count of line feeds, plus one for a last line without
// one), leaving the file at its start.
long long stlCountLines(std::FILE* f);
// Reads one facet after its "facet" line: skips the outer-loop line, reads three vertex lines
// (a keyword and three numbers each), skips the end-of-loop line and requires the end-of-facet
// line. Returns 1 read; 0 the file ended inside the facet; -1 a vertex line without a keyword
// and three numbers, or with a coordinate that is not finite.
int stlReadFacet(StlLineReader* reader, std::string* line, Tri3D* tri);

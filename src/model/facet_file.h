// facet_file.h - the library's binary facet file in its two versions: a header (version 2 adds
// seven named surface groups with allowances) and 98-byte four-corner facet records. The facet
// loaders of the surface model read every file through here; the count of the header is checked
// against what the file holds before anything is sized by it.
#pragma once

#include <cstdint>

#include "model/surface_model.h"

constexpr int kFacetHeaderBytes = 256;    // version 1: header up to the first record
constexpr int kFacet2HeaderBytes = 1300;  // version 2: header with the group blocks
constexpr int kFacetRecordBytes = 98;     // one record, the layout of QuadFacet
constexpr int kFacetCountOffset = 252;    // i32 record count in both headers
constexpr int kFacetGroupCount = 7;       // version-2 groups 0 to 6; 7 in the flags is no group
constexpr int kFacetGroupOffset = 264;    // first group block of a version-2 header
constexpr int kFacetGroupBytes = 148;     // one group block

// ---- the file routines (one open file per version; the handle of an open file is 1) ---------

// Reads the f32 version word at offset 0. Returns 1 read; -2 fewer than 4 bytes; -1 the file
// cannot be opened (or a null argument).
int facetFileVersion(const char* path, double* version);

// Opens a version-1 file. Only mode 1 (read) is provided: no part of the library writes facet
// files. Returns 1 (the handle); -3 another version-1 file is open; -1 a mode other than 1;
// -2 the file cannot be opened.
int facetFileOpen(const char* path, int mode);
// Read the 256-byte header or the next 98-byte record into the caller's buffer. Return 0; -3 a
// wrong handle; -1 no file open for reading; -2 a short read.
int facetFileReadHeader(int handle, unsigned char* buffer);
int facetFileReadRecord(int handle, unsigned char* buffer);
// Closes the version-1 file. Returns 0; -1 a wrong handle or no file open.
int facetFileClose(int handle);

// The version-2 twins: open (mode 1 only; 1, -3 another one open, -1 other mode, -2 cannot
// open); the 1300-byte header (0, -3 wrong handle, -1 not open or short read); the next record
// (0, -3, -1 not open, -2 short read); close (0, -1 wrong handle or not open).
int facetFile2Open(const char* path, int mode);
int facetFile2ReadHeader(int handle, unsigned char* buffer);
int facetFile2ReadRecord(int handle, unsigned char* buffer);
int facetFile2Close(int handle);

// The group number of a record's flags: flags & 7, or -1 when that is 7 (no group).
int facetFile2Group(int flags);

// Decodes one 98-byte record (little-endian i16 flags, then twelve f64) into a facet.
void facetDecodeRecord(const unsigned char* bytes, QuadFacet* facet);

// ---- reading a whole file for the loaders -----------------------------------------------------

// One surface group of a version-2 file as read from its block.
struct FacetGroup {
  std::int32_t count;  // facets of the group: a capacity hint, never trusted for sizing alone
  char name[128];      // always NUL-terminated
  double allowance;    // in file units
};

// What facetFileBegin read: the version (1 or 2), the record count (checked against the file
// size), the groups of a version-2 file, and a short reason when it failed.
struct FacetFileInfo {
  int version;
  std::int32_t count;
  FacetGroup groups[kFacetGroupCount];
  const char* why;
};

// Opens the file, reads and checks its header. The record count must satisfy
// 0 < count <= (file size - header size) / 98; a larger, zero or negative count makes the file
// unusable before anything is allocated. Returns 0 (the file stays open for facetFileNext);
// -2 the file cannot be read (null or empty name, missing, version word unreadable); -4 an
// unusable facet file (version other than 1 or 2, header cut short, bad record count, another
// file of that version already open). On failure nothing stays open and info->why says why.
int facetFileBegin(const char* path, FacetFileInfo* info);
// Reads the next record. Returns 1; -4 when the record is cut short or holds a coordinate that
// is not a finite number (info->why set).
int facetFileNext(FacetFileInfo* info, QuadFacet* facet);
// Closes the file that a successful facetFileBegin opened (nothing for a failed one). Null is
// ignored.
void facetFileEnd(const FacetFileInfo* info);

// Test seam: closes any open file.
void facetFileResetState();

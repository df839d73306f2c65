// kont_snapshot.h - text snapshots of region lists in the boundary block grammar, the holder that
// copies a region list through one, and the contour module's exception class. A copy through a
// snapshot has x and y rounded to six decimals, z to six significant digits, fresh nesting,
// counter-clockwise outer contours and clockwise islands, and has passed validation.
#pragma once

#include <string>
#include <vector>

#include "geometry/kont2d.h"

// Lines of "**BND <identity> **WZ" blocks of "X%lf Y%lf Z%lg" points ended by "**END"; one block
// per piece of a contour between gaps. Owns its lines.
struct KontSnapshot {
  std::vector<std::string> lines;
};

// Owns one region list copied through a snapshot (null for an empty holder).
struct KontHolder {
  Kont2D* list;
};

// The contour module's only exception: constructing one logs "code message line" through the
// error record's log. Thrown by value and caught inside the contour module only.
class Kont2DError {
 public:
  Kont2DError(int code, const char* message, int line);
  int code() const { return code_; }
  const std::string& message() const { return message_; }
  int line() const { return line_; }

 private:
  int code_;
  std::string message_;
  int line_;
};

// New snapshot of the list (null list: an empty snapshot). Null when a line cannot be stored
// (error record -1). Free with kontSnapFree.
KontSnapshot* kontSnapInit(const Kont2D* list);
void kontSnapFree(KontSnapshot* snap);
// Appends each outer contour and then its islands, region by region. Returns 1; 0 for a null or
// empty list; -1 when a line cannot be stored (error record -1) or the snapshot is null.
int kontSnapAddRegions(KontSnapshot* snap, const Kont2D* list);
// Appends the blocks of one contour. Returns 1; 0 for a null or empty contour; -1 on failure.
int kontSnapAddContour(KontSnapshot* snap, const Kont2D* contour);
// Parses the lines back into a region list: points need all three letters and are taken as
// stored (no transform, truncation or dropping); no collinear merge; nested, oriented (outer
// contours as orientation, islands opposite) and validated as the boundary file reader does.
// Null with the error record set on failure; null without a header line.
Kont2D* kontSnapToRegions(const KontSnapshot* snap, int orientation, int constZ);

// Copies the list through a snapshot (outer orientation +1, constant z). Null list: an empty
// holder. Returns the holder; null when the copy fails (error record -1).
KontHolder* kontHolderInit(const Kont2D* list);
// Frees the holder, its list and the meshes of its regions. Accepts null.
void kontHolderFree(KontHolder* holder);

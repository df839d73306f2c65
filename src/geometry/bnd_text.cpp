// bnd_text.cpp - the line rules shared by the readers of boundary and profile text files.
#include "geometry/bnd_text.h"

#include <cmath>
#include <cstring>

int bndTextNextPiece(std::FILE* f, char* piece) {
  if (f == nullptr || piece == nullptr) return 0;
  if (std::fgets(piece, kBndPieceSize, f) == nullptr) return 0;
  return 1;
}

BndLineKind bndTextLineKind(const char* piece) {
  if (piece == nullptr) return kBndLineOther;
  const char* s = piece;
  while (*s == ' ' || *s == '\t') ++s;
  std::size_t n = 0;
  while (s[n] != '\0' && s[n] != ' ' && s[n] != '\t' && s[n] != '\n' && s[n] != '\r') ++n;
  const auto is = [&](const char* word) {
    return std::strlen(word) == n && std::strncmp(s, word, n) == 0;
  };
  if (is("**BND")) return kBndLineBnd;
  if (is("**CLN")) return kBndLineCln;
  if (is("**NEXT")) return kBndLineNext;
  if (is("**END")) return kBndLineEnd;
  return kBndLineOther;
}

int bndTextReadPoint(const char* piece, Point3D* p) {
  if (piece == nullptr || p == nullptr) return 0;
  Point3D q = *p;
  const int found = g2dReadLetterValue('X', piece, &q.x) + g2dReadLetterValue('Y', piece, &q.y) +
                    g2dReadLetterValue('Z', piece, &q.z);
  if (found == 0) return 0;
  // An infinite or undefined coordinate is no usable point: it would poison every box, area and
  // crossing computed from the contour.
  if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z)) return 0;
  *p = q;
  return 1;
}

int bndTextPointUsable(const Point3D& p) {
  const auto ok = [](double v) { return std::isfinite(v) && std::fabs(v) <= kBndCoordMax; };
  return ok(p.x) && ok(p.y) && ok(p.z) ? 1 : 0;
}

// pko_pieces.cpp - pieces of a traced segment list found at the gaps between segments.
#include "geometry/pko_pieces.h"

#include <cmath>
#include <vector>

namespace {

bool pkoJoins(const PkoList* list, int i) {
  const Seg3D& a = list->segments[i - 1];
  const Seg3D& b = list->segments[i];
  return std::hypot(b.start.x - a.end.x, b.start.y - a.end.y) <= kPkoPieceGap;
}

}  // namespace

void pkoListMergeCollinear(PkoList* list) {
  if (list == nullptr || list->count <= 0 || list->segments == nullptr) return;
  std::vector<int> firsts{0};
  for (int i = 1; i < list->count; ++i)
    if (!pkoJoins(list, i)) firsts.push_back(i);
  // From the last run to the first: a merge moves only the segments behind its run.
  int end = list->count;
  for (auto it = firsts.rbegin(); it != firsts.rend(); ++it) {
    pkoListMergeRange(list, *it, end);
    end = *it;
  }
}

int pkoListPieceStarts(const PkoList* list, IntList* starts) {
  if (list == nullptr || starts == nullptr) return -1;
  lstIntReset(starts);
  if (list->count <= 0 || list->segments == nullptr) return 0;
  if (lstIntAppend(starts, 0) < 0) return -1;
  for (int i = 1; i < list->count; ++i)
    if (!pkoJoins(list, i) && lstIntAppend(starts, i) < 0) return -1;
  return starts->count;
}

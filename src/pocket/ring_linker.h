// ring_linker.h - the ring linkers of the contour-parallel pocket: they walk the nesting tree of
// one level depth-first with the contour stack, cut ring after ring, leave a ring where the next
// one is within one step, cross over with a short line or tangent link and come back later for the
// rest of a ring left early, so that the tool lifts only where no safe connection is within reach.
// The spiral linker starts at the deepest ring and works outward; the direct linker starts at the
// shallowest ring, with a walk that looks inward first (direct) or outward first (outside-in).
// Tree semantics: a node's parents are the rings one step further in, its children the rings one
// step further out; the class-1 child is the enclosing ring of the same kind.
#pragma once

#include <vector>

#include "geometry/vec.h"
#include "pocket/contour_element.h"
#include "pocket/link_stack.h"

// Codes of the linkers.
inline constexpr int kLinkCodeBadStart = 3023;    // start node outside the tree
inline constexpr int kLinkCodeWalkFailed = 3024;  // a ring cannot be read, or the walk does not end

// Moves decided by a walk.
inline constexpr int kLinkMoveFinish = 0;   // nothing reachable: finish this piece
inline constexpr int kLinkMoveInward = 1;   // to a parent
inline constexpr int kLinkMoveOutward = 2;  // to a child (or the deferred child)
inline constexpr int kLinkMoveBack = 3;     // back to the entry on top of the stack
inline constexpr int kLinkMoveWhole = 4;    // inward, cutting the whole current piece first

// ---- linkers ----------------------------------------------------------------------------------

// Links the tree part reachable from the start node, depth-first from the deepest ring. flag 1
// makes every inward move cut the whole current piece first. Returns 1 when the walk ended (also
// after code 3024); -1 when the link tables cannot be allocated, or the start node is not a node
// of the tree (code 3023).
int linkRingsSpiral(int startNode, double step, int flag);
// As linkRingsSpiral with the direct walk (flag 0) or the outside-in walk (flag 1).
int linkRingsDirect(int startNode, double step, int flag);

// The state of one walk: the current ring (A), the next ring (B), the exit on A, the entry on B and
// the next node.
struct LinkWalkState {
  std::vector<ContourElement> ringA, ringB;
  int na = 0, nb = 0;
  LinkRef exitA{0, {0.0, 0.0}};
  LinkRef entryB{0, {0.0, 0.0}};
  int nextNode = -1;
};
// The walks: the next move from the stack entry's ring (kLinkMove...), -2 when a ring cannot be
// read or the reserved class-1 child cannot be reached (searched within the step, twice the step,
// and at last within its smallest distance, so that a far enclosing ring is entered with a lift).
int linkWalkSpiral(const LinkStackEntry& entry, double step, LinkWalkState* w);
int linkWalkDirect(const LinkStackEntry& entry, double step, LinkWalkState* w);
int linkWalkOutsideIn(const LinkStackEntry& entry, double step, LinkWalkState* w);
// Cuts the current piece, pushes what is left of it and the next ring, and makes the connecting
// move. Returns 1.
int linkEmitStep(const LinkStackEntry& entry, int move, LinkWalkState* w, double step);
// Cuts the ring of the entry from its from position to its to position (a whole loop when they
// are the same position). Returns the number of elements sent; 0 when nothing was cut.
int linkEmitPiece(const LinkStackEntry& entry, const ContourElement* ring, int n);
// Sends one element (pockEmitElement). A marked element (tag below 0) is not cut when moves over
// the stock are rapid and stock mode or "pocketContour" is on: the next element starts a new cut
// instead. Returns 1 sent, 0 not.
int linkEmitElement(const ContourElement& element);

// ---- connecting moves -------------------------------------------------------------------------

// The straight connecting move from a to b with step x. Returns 1 when sent; 0 when the tool must
// lift instead (nothing sent, the next element starts a new cut): a new start is already due, the
// line is longer than 2x + contTol, or longer than 0.5x and not clear (linkLineClear).
int linkConnectLine(const Point2D& a, const Point2D& b, double x);
// The smooth connecting move (isectTangentLink with radius r). A link that cannot be built, or that
// comes out as a single line, is made by linkConnectLine, so every straight link has the same
// clearance test. Returns 1 when sent; 0 when the tool must lift.
int linkConnectArc(const Point2D& a, const Point2D& dirA, const Point2D& b, const Point2D& dirB,
                   double r, double x);
// 0 when the line meets some INPUT contour in more than one point (isectContours), else 1.
int linkLineClear(const ContourElement& line);
// 1 when a circle of the radius about centre touches no contour of the layer, else 0.
int linkCircleClear(double radius, const Point2D& centre, const char* layer);

// ---- positions and tree tests -----------------------------------------------------------------

// Order of positions p and q on the ring (n elements) walking forward from origin: 1 when p comes
// first, -1 when q does (a position at the origin counts as reached last), 0 when they are the
// same position. mode 2 is the linkers' order (positions at an element's end count as the start
// of the next, except on an open ring under "stockOutin").
int linkRefCompare(int mode, const LinkRef& p, const LinkRef& q, const ContourElement* ring, int n,
                   const LinkRef& origin);
// Index of the candidate whose position comes first walking forward from origin; candidates whose
// element is -2 are passed over. 0 for count <= 1.
int linkPickFirst(const ContourElement* ring, int n, const LinkRef& origin, const LinkRef* refs,
                  int count);
// 1 when the entry's node is done, or the exit lies at or beyond the entry's to position (walking
// from its from position).
int linkRingFinished(const LinkStackEntry& entry, const LinkRef& exitA, const ContourElement* ring,
                     int n);
// 1 when except >= 0 and no start-point match was found; else 1 when every parent of node other
// than except has a state other than open; else 0.
int linkParentsDone(int node, int except);
// 1 once the stack has been found settled (every stacked node, next, and all their parents and
// children done); 0 when the stack is empty or something is not done.
int linkStackDone(int next);
// 0 when child c must wait: with flag 0, c is a's class-1 child; otherwise some parent q of c other
// than a (with a child count other than 1) is open and has a child that is a's class-1 child or
// has children of its own. Else 1.
int linkChildReachable(int c, int a, int flag);
// 1 when some candidate other than a's class-1 child has no parents, or all its parents other than
// a (ignoring parents with one child) are done, or one of those parents is open and has no class-1
// child. Else 0.
int linkChildPending(const int* candidates, int count, int a);
// Relates the isolated nodes (neither children nor parents): node i becomes a parent of each node
// j with parents whose ring lies nearer than maxDist, when a circle of the radius at the middle of
// the two nearest points touches no INPUT contour. Returns 1.
int linkRelateTree(double radius, double maxDist);
// 1 when every element of the node's ring carries the tag -1; 0 otherwise or when it cannot be
// read.
int linkNodeAllMarked(int node);

// The first place within reach of ring B met walking backward along ring A from the entry's to
// position (linkSearchForward on a reversed copy of A). Returns 1 with the exit on A and the entry
// on B; 0 when none, or no memory for the copy.
int linkSearchBackward(const ContourElement* ringA, int nA, const ContourElement* ringB, int nB,
                       const LinkStackEntry& entry, const LinkRef& entryRef, double reach,
                       LinkRef* exitOut, LinkRef* entryOut);
// A position of a ring of n elements as a position of its reversed copy (element k becomes
// n - k + 1, the start of the ring its end and back); applied twice it gives the position back.
LinkRef linkRefReversed(const LinkRef& ref, int n);

// ---- rest store -------------------------------------------------------------------------------

// Keeps a copy of the element for rest machining: in the first slot, and in the second too when
// both is 1.
void restStoreLinkElem(const ContourElement& element, int both);
// The element kept in slot 0 or 1.
ContourElement restLinkElem(int slot);

// Test seam: the linkers' state (settled flag, rest store, step counter) as at load.
void ringLinkerResetState();

// open_runs.h - searches over the runs of element tags of an open-pocket ring (a negative tag marks
// an open edge along the stock, a non-negative one a cutting element) and the steps of a link
// reference over those runs, as the linkers use them on such rings.
#pragma once

#include "pocket/contour_element.h"
#include "pocket/link_stack.h"

// First element with a negative tag at or after start, then from element 0 up to start - 1; -1
// when none (or n <= 0, or start outside 0..n-1).
int contNextMarked(const ContourElement* elements, int n, int start);
// The same for a non-negative tag.
int contNextUnmarked(const ContourElement* elements, int n, int start);
// Last element with a negative tag at or before start, then from element n - 1 down to start + 1;
// -1 when none.
int contPrevMarked(const ContourElement* elements, int n, int start);
// The same for a non-negative tag.
int contPrevUnmarked(const ContourElement* elements, int n, int start);

// The reference steps. Each resolves ref (linkResolveEndpoint) to element number e (from 1) and
// point P first.
// 1 when element e has a non-negative tag, the element before it (cyclically) a negative one, and
// P is e's start (0.0001); else 0.
int linkRefAtMarkedStart(const ContourElement* elements, int n, const LinkRef& ref);
// out := (b + 1, end of element b), b the previous unmarked element before e (cyclically). 1, or
// -1 when none.
int linkStepBack(const ContourElement* elements, int n, const LinkRef& ref, LinkRef* out);
// The resolved ref when linkRefAtMarkedStart holds; else out := (d + 1, start of d) with c the next
// unmarked element from e - 1 and d the next marked one from c. 1, or -1 when a search fails.
int linkNextUnmarkedRunEnd(const ContourElement* elements, int n, const LinkRef& ref, LinkRef* out);
// The start of the unmarked run holding or before e: b the previous unmarked element from e - 1,
// c the previous marked one from b; out := (c' + 1, start of c') with c' = c + 1, or 0 when c is
// the last element. 1, or -1 when a search fails.
int linkCurrentRunStart(const ContourElement* elements, int n, const LinkRef& ref, LinkRef* out);

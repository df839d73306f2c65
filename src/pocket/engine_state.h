// engine_state.h - the settings, strategy switches and scale factor of the 2D pocketing engine,
// the settings text through which the pocket cycle hands it tool radius, stepover and start point,
// and the map of the engine's internal codes to the message ids the host shows.
// Every geometric operation of the engine reads these values, so they live in one place with one
// reset to their load values that each pocket run calls before it starts.
#pragma once

#include "framework/cycle.h"
#include "geometry/vec.h"

// ---- internal codes of the engine
// ---------------------------------------------------------------- The engine reports through
// pockMessage with these codes; each maps to a message id (see pockMessageId). Codes from 3000 to
// 3199 are failures that the cycle's end reads back.
inline constexpr int kPockCodeBadGeometry = 3001;      // "1101" faulty geometry handed over
inline constexpr int kPockCodeNotClosed = 3011;        // "1102" contour not closed
inline constexpr int kPockCodeNoMemory = 3020;         // "1103" out of memory
inline constexpr int kPockCodeNotRealised = 3021;      // "1104" function not realised
inline constexpr int kPockCodeBadContour = 3022;       // "1105" faulty contour
inline constexpr int kPockCodeTooManyElements = 3029;  // "1500" element limit exceeded
inline constexpr int kPockCodeTooManyIsects = 3030;    // "1522"
inline constexpr int kPockCodeTooManyContours = 3033;  // "1501" contour limit exceeded
inline constexpr int kPockCodeToolRadius = 3040;       // "1511" tool radius below 0.0001
inline constexpr int kPockCodeBadStepover = 3201;      // "1502" stepover outside [0, 1)
inline constexpr int kPockCodeNextTree = 3210;         // silent: progress before a further tree
inline constexpr int kPockCodeToolTooBig = 3213;       // "1507" no toolpath fits
inline constexpr int kPockCodeHelixHit = 3123;  // "1522" helix collides with the pocket walls

// The smallest tool radius the settings text accepts.
inline constexpr double kPockMinToolRadius = 0.0001;
// Load values of the tolerances that pockResetSettings restores.
inline constexpr double kPockContTol = 0.0001;
inline constexpr double kPockIsectTol = 0.0001;
inline constexpr double kPockAngleGuard = 1e-14;

// The ring nearest to the explicit start point, found while the nesting tree is built and read by
// the linkers, which begin the cut there.
struct CtreeStartMatch {
  double bestDistance;  // distance of the best ring so far (100000.0 when a tree starts)
  int node;             // tree node of that ring, -1 for none
  int element;          // element number within the ring from 1; 0 for none
  Point2D foot;         // nearest point on that element
  int found;            // 1 once a ring was matched
};

// The engine's settings and switches. One set for the whole engine; every field keeps its value
// until something sets it or pockRunReset restores the load values given here.
struct PockEngine {
  // Tolerances and settings of the element primitives and intersections.
  double contTol = kPockContTol;            // general tolerance (the cycle may set its "epsilon")
  double isectTol = kPockIsectTol;          // intersection tolerance
  double contAngleGuard = kPockAngleGuard;  // |x| below it makes contVectorAngle axis-aligned
  double pockToolRadius = 0.0;              // tool radius R of the settings text
  double contCornerFactor = 1.0;            // scales the tolerance of contCornerType
  int offsetStrict = 1;                     // 1 while pocket contours themselves are offset

  // Values of the settings text.
  double pockStepFactor = 0.0;          // stepover as a fraction of the tool diameter, times 0.99
  double pockSettingSI = 2.0;           // key "SI"
  double pockSettingTI = -2.0;          // key "TI"
  double pockSettingAM = 0.0;           // key "AM"
  Point2D pockStartPoint = {0.0, 0.0};  // keys "XA", "YA"
  int pockStartSet = 0;                 // 1 when both "XA" and "YA" were given
  double pockStartReach = 0.0;          // ZM x R x 2.01 with a start point, else 0

  // Strategy switches, set from the cycle's parameters; the level strategies change some.
  int pockStockMode = 0;             // non-zero: open-pocket (stock) handling
  int pockDirectLinking = 0;         // 1: rings linked directly from the shallowest ring
  int pockSplitPath = 0;             // 1: outermost rings output as separate passes
  int pockRetractEachPlane = 1;      // 1: only the tree of a matched start ring is linked
  int pockRestPass = 0;              // 1: every remaining tree is linked, whatever the start point
  int pockStrategyOpenPocket = 0;    // strategy "openPocket" (changes contCornerType)
  int pockStrategyStockOutin = 0;    // strategy "stockOutin"
  int pockStrategyAxisParallel = 0;  // strategy "axisParallel"

  // Small-tool scaling: every length of the pocket is multiplied by it; 1 means no scaling.
  double scaleFactor = 1.0;

  // Orientation of the current level's outer contours: +1 counter-clockwise, -1 clockwise, 0 not
  // yet set (the cycle sets it per level).
  int ccpOuterOrientation = 0;

  CtreeStartMatch ctreeStartMatch = {100000.0, -1, 0, {0.0, 0.0}, 0};

  // Parameters of the pocket cycle that the engine's operations read; the cycle copies them here.
  int paramPocketContour = 0;       // "pocketContour": the pocket contours themselves are offset
  int paramSuppressReduction = 0;   // "suppressReduction": contours are never reduced
  int paramInvertSequence = 0;      // "invertSequence": groups pocketed from the last to the first
  int paramReduceContours = 1;      // "reduceContours"
  int paramStepStrategyPocket = 0;  // "stepStrategy" "pocket": pockets collected per group
  double paramOverlap = 0.0;        // "overlap"
  int paramOpenInsideOut = 0;       // "openInsideOut"
  int paramNoPlunge = 0;            // "noPlunge"
  double paramRampAddClearance = 0.0;  // "rampAddClearance"
  int paramSpiral = 0;                 // "spiral"
  double paramSpiralTolerance = 0.01;  // "spiralTolerance"
  int paramForceInside = 0;            // "forceInside"
  double paramStockOffset = 0.0;       // "stockOffset"
  int paramOptimizeSingleCut = 1;      // "optimizeSingleCut"
  int paramTriggerInfeed = 0;          // "triggerInfeed": infeed records on
  int paramAllowSingleCut = 0;         // copied from the cycle before a "stockOutin" level
  double paramSingleCutOverlap = 0.9;  // likewise

  // Values of the pocket cycle's run that the engine reads.
  double pockInfeedRadius = 0.0;    // infeed radius (at most a quarter of the infeed length)
  double pockFilletRadius = 0.0;    // fillet radius (likewise)
  double pockStockTolerance = 0.5;  // stock tolerance
  int pockStockMovement = 0;        // 1: moves over the stock are rapid
  int pockStockOnly = 0;            // 1 once a level ran with the stock mode "stockOnly"
  int pockSameDepths = 0;           // 1 when every INPUT contour of the group shares top and bottom
  int pockFilletCorners = 0;        // the cycle's "filletCorners"
  int pockMovedToFront = 0;         // 1 when layerReverseMarked moved a contour to the front
  double pockDiameterRatio = 1.0;   // effective / nominal tool diameter ("considerToolType")
  int pockCollectOutput = 0;        // 1: the level's output is collected and written reversed
  double pockToolRefOffset = 0.0;   // length of the ".CFG" tool reference ("*TREF_<name>")
  int pockNewStartPending = 0;      // 1: the next output starts a new queue at the start point

  // Run state of the contour offset (contour_offset.h). The callers' switches:
  int offsetKeepOpen = 0;      // 1 accepts open results and results of the wrong orientation
  int offsetNarrowCheck = 0;   // 1 checks the source for a narrow strip before offsetting
  int offsetRingMode = 0;      // 1 while the ring sequence is built: small gaps closed in place
  int offsetFollowFailed = 0;  // 1 while a loop of two crossing contours could not be followed
  // Flags that an offset attempt (and the loop tracing) sets for the retries of contOffset:
  int offsetRetry = 0;              // the result is doubtful: retry with a changed distance
  int offsetLost = 0;               // the raw offset could not be closed into a contour
  int offsetRotate = 0;             // the start lies badly: retry from the next corner
  double offsetLoopTol = 0.005;     // base tolerance of the crossing classification
  double offsetLastDistance = 0.0;  // the distance of the last attempt
};

// The engine's settings and switches, for reading and setting.
PockEngine& pockEngine();

// Restores every field of pockEngine() to its load value, forgets the last code (pockLastCode 0)
// and the running cycle record (ccpCurrent null). Each pocket run calls it before it sets its
// record; tests call it for a clean engine.
void pockRunReset();

// ---- settings text
// -------------------------------------------------------------------------------

// Sets contTol and isectTol to 0.0001 and contAngleGuard to 1e-14; the other settings stay.
// Returns 0.
int pockResetSettings();

// Resets (pockResetSettings), clears pockStartReach, pockStartSet, ccpOuterOrientation and the
// start match (found 0, element 0, node -1), then reads the keys of text. Each key is found as
// the first occurrence of its letters anywhere in the text; its value is the number directly
// behind it (leading blanks allowed, as the "C" locale reads a double; no number reads as 0).
// In this order: "SI" (2 when absent), "TI" (-2); "R" when present sets pockToolRadius; "AM" (0);
// "ZM" (0.5 when absent; below 0, at least 1 or not finite: code 3201 sent and 0.5 used);
// "XA" and "YA" both present: the start point with pockStartSet 1 and pockStartReach
// ZM x R x 2.01; finally pockStepFactor = ZM x 0.99. A null text reads as an empty one.
// Returns 0; -1 when pockToolRadius is then below 0.0001 or not finite (code 3040 sent; SI and TI
// are stored, everything after them keeps its value and no start point is set).
int pockApplySettings(const char* text);

// ---- engine messages
// -----------------------------------------------------------------------------

// Sets the pocket cycle record that engine messages go to (null: none). The pocket cycle sets it
// when its run starts and clears it when the run ends.
void ccpSetCurrent(CycleRecord* cycle);
// The running pocket cycle record, or null.
CycleRecord* ccpCurrent();

// The four-digit message id of an internal code: the id of the code's row of the map, "1511" for
// a code without a row; null for 0 and for the silent codes 3210, 3211, 3212, 3256 and 3298.
const char* pockMessageId(int code);

// Reports an internal code: a code from 3000 to 3199 becomes pockLastCode; the mapped id
// (pockMessageId) is sent as the text of a layer-0 "error" record (101) through ccpCurrent.
// Returns the send's result (1 written, 0 not); 0 for 0, a silent code or no running record
// (then only pockLastCode changes).
int pockMessage(int code);

// The last code from 3000 to 3199 that pockMessage received; 0 at load and after pockRunReset.
int pockLastCode();
// Forgets the last code (pockLastCode 0): each pocket run starts without an earlier run's failure.
void pockLastCodeReset();

// output_records.h - builders of the output records: each fills one OutputRecord (or a layer-31
// record and its layer-32 G-code twin) and emits it through cycEmit. Texts are cut to their
// field (name 255, text 519, single text 775, part texts 254 characters), always NUL-terminated.
// Every builder returns the cycEmit result of its first record (0: not written), unless said.
#pragma once

#include <cstddef>

#include "framework/cycle.h"

// Fills a text field of size bytes from a printf format, cut to fit and NUL-terminated.
// Numbers must not be formatted through here (use numFormat): only %s, %d and the like.
void outFormatText(char* field, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Copies text (null: empty) into a field of size bytes, cut to fit and NUL-terminated.
void outCopyText(char* field, std::size_t size, const char* text);

// Layer 0 and 1 records of the framework.
int cycSendError(CycleRecord* cycle, const char* text);  // 101 on 0
int cycSendTextRecord(CycleRecord* cycle, std::uint16_t layer, int type, const char* name,
                      const char* text);                   // any text form
int cycSendComment(CycleRecord* cycle, const char* text);  // 1001 on 2
// One line of an information text: QDMILL_INFO_TEXT on 0, named after its phase ("version",
// "help", "parameters", "algorithm", "layers").
int cycSendInfoText(CycleRecord* cycle, const char* item, const char* text);
// For i = 1 to the parameter "lastComment": the parameter "comment_<i>" as 1001 on 2 (missing ones
// skipped). Returns the number of comments written.
int cycSendComments(CycleRecord* cycle);

// Contours on layer 31 (and the auxiliary ones on 41): 3001 begin with the name and the text
// "cmnt[<comment>]" and/or "u[<usage>]" joined by a blank (empty parts left out); 3002 end.
int cycBeginContour(CycleRecord* cycle, const char* name, const char* comment, const char* usage);
int cycEndContour(CycleRecord* cycle);
int cycAuxBeginContour(CycleRecord* cycle, const char* name, const char* comment,
                       const char* usage);
int cycAuxEndContour(CycleRecord* cycle);
int cycAuxFirstPoint(CycleRecord* cycle, double x, double y, double z);  // 3103 on 41
int cycAuxNextPoint(CycleRecord* cycle, double x, double y, double z);   // 3113 on 41

// Explicit moves: the layer-31 record, then its G-code twin on 32.
int cycRapidXY(CycleRecord* cycle, double x, double y);            // 3101, 4001
int cycRapidZ(CycleRecord* cycle, double z);                       // 3102, 4002
int cycFeedXY(CycleRecord* cycle, double x, double y);             // 3111, 4004
int cycFeedZ(CycleRecord* cycle, double z);                        // 3112, 4005
int cycFeedXYZ(CycleRecord* cycle, double x, double y, double z);  // 3113, 4006

// Modal moves. last* hold the caller's last written values and are updated for every coordinate
// whose text changed (x, y, z compared through numFormat, u, v, w through "%.8lf"). Nothing is
// emitted when no text changed (result 0). A change of u, v or w gives the 5-axis records
// (rapid 3109 + 4019, feed 3118 + 4020) with six flags; otherwise the 3D records (rapid
// 3107 + 4016, feed 3114 + 4007) with the x, y, z flags.
int cycRapid3D(CycleRecord* cycle, double* lastX, double* lastY, double* lastZ, double x, double y,
               double z, double* lastU, double* lastV, double* lastW, double u, double v, double w);
int cycFeed3D(CycleRecord* cycle, double* lastX, double* lastY, double* lastZ, double x, double y,
              double z, double* lastU, double* lastV, double* lastW, double u, double v, double w);

// Arc in the plane: 3121 on 31 (direction 1 clockwise), then 4008 (direction 1) or 4009 on 32.
int cycArcXY(CycleRecord* cycle, int direction, double endX, double endY, double centreX,
             double centreY);

// 3131 on 31 with name and value, then 203 "loc" "\"<name>\":=\"<value>\"" on 1.
int cycSetLocal(CycleRecord* cycle, const char* name, const char* value);
// NC control values: 301 on 10.
int cycSendNameValue(CycleRecord* cycle, const char* name, const char* value);
int cycSendCallArg(CycleRecord* cycle, const char* name, double number);  // "arg" "F:\"%s\":=<n>"
int cycSendAliasDef(CycleRecord* cycle, const char* a, const char* b, const char* c,
                    const char* d);     // "aliasDef" "a,b,c,d" (d "1" when empty)
int cycBegin5Axis(CycleRecord* cycle);  // "tr" "5X"
int cycEnd5Axis(CycleRecord* cycle);    // "tr" "5X0"

// Tool description on layer 11.
int cycSendToolText(CycleRecord* cycle, const char* text);                      // 3199
int cycSendToolValue(CycleRecord* cycle, const char* name, const char* value);  // 3131
// The direction through the tool frame's rotation and the inverse of the NC frame's rotation,
// normalised, as 3131 "toolAxis" "x,y,z" on 11; nothing (result 0) when it is shorter than 1e-8.
int cycSendFrameToolAxis(CycleRecord* cycle, double x, double y, double z);

// 4101 on 32; nothing (result 0) for an empty or null text.
int cycSendLiteralNc(CycleRecord* cycle, const char* text);

// Parts, contexts and move kinds on layer 12.
int cycBeginPart(CycleRecord* cycle, int number, const char* data,
                 const char* usage);                                                  // 5001 kind 1
int cycEndPart(CycleRecord* cycle, int number, const char* data, const char* usage);  // 5002 kind 1
int cycClearPart(CycleRecord* cycle, int number);                                     // 5003 kind 1
// 5001 / 5002 kind 4; nothing (result 0) when the name is empty.
int cycBeginContext(CycleRecord* cycle, const char* name, const char* data, const char* usage);
int cycEndContext(CycleRecord* cycle, const char* name, const char* data, const char* usage);
int cycClearAll(CycleRecord* cycle);        // 5004
int cycMoveKindSmooth(CycleRecord* cycle);  // 5005 with 113
int cycMoveKindInfeed(CycleRecord* cycle);  // 5005 with 114
int cycMoveKindPath(CycleRecord* cycle);    // 5005 with 115

// 7001 on 42: the point three times.
int cycCollisionPoint(CycleRecord* cycle, double x, double y, double z);

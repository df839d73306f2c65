// technology_record.h - the technology of one roughing or finishing run, as the machining cycles
// hand it to the 3D output layer's technology header (out3dWriteTechnology).
#pragma once

#include <cstdint>

#include "geometry/vec.h"

// The technology of one roughing or finishing run, handed to out3dWriteTechnology. Each cycle
// driver fills its own copy from the global parameter block, field by field in this order (the
// configuration key of each field beside it). Lengths are in the computation's scaled units
// (multiplied by unitFactor); feeds and speeds are as given. Optional feeds and speeds are 0 when
// not used.
struct TechnologyRecord {
  std::int32_t toolNumber = 0;        // "*WKZNUMMER"
  std::int16_t toolTip = 0;           // "*TOOL_TIP": 1 the tip is output, 2 the centre
  std::int16_t toolKind = 0;          // "*FRTYP"
  double toolLength = 0;              // "*FRLAENGE"
  double toolRadius = 0;              // "*FRRADIUS"
  double cornerRadius = 0;            // "*FRBOGEN"
  double feed = 0;                    // "*XVORSCHUB": plane feed FX
  double plungeFeed = 0;              // "*ZVORSCHUB": plunge feed FZ
  double spindleSpeed = 0;            // "*DREHZAHL"
  std::int16_t spindleDirection = 0;  // "*DREHRICHT": 0 none, 2 counter-clockwise, else clockwise
  std::int16_t coolant = 0;           // "*KUEHLMITTEL"
  double clearanceDistance = 0;       // "*SICHDIST"
  double clearancePlane = 0;          // "*SICHEBENE"
  Point3D ncOrigin{0, 0, 0};          // "*NCKO_O" .. "*NCKO_Z"
  Point3D ncX{1, 0, 0};
  Point3D ncY{0, 1, 0};
  Point3D ncZ{0, 0, 1};
  Point3D toolOrigin{0, 0, 0};  // "*WZKO_O" .. "*WZKO_Z"
  Point3D toolX{1, 0, 0};
  Point3D toolY{0, 1, 0};
  Point3D toolZ{0, 0, 1};
  double totalToolLength = 0;     // "*TOTAL_TOOL_LENGTH"
  double cuttingLength = 0;       // "*CUTTING_LENGTH"
  double diameter1 = 0;           // "*DIAMETER1"
  double diameter2 = 0;           // "*DIAMETER2"
  double length1 = 0;             // "*LENGTH1"
  double length2 = 0;             // "*LENGTH2"
  double reducedFeed = 0;         // "*RVORSCHUB"
  double fullSectionFeed = 0;     // "*VVORSCHUB"
  std::int16_t approachKind = 0;  // "*MACRO_START"
  std::int16_t retractKind = 0;   // "*MACRO_END"
  double approachLength = 0;      // "*MACRO_SRAD"
  double retractLength = 0;       // "*MACRO_ERAD"
  double arcStepAngle = 0;        // "*MACRO_IWIN"
  double stayDownDistance = 0;    // "*RUPP_MAXDIST"
  double approachFeed = 0;        // "*MACRO_SFEED"
  double retractFeed = 0;         // "*MACRO_EFEED"
  double infeedFeed = 0;          // "*MACRO_LFEED": the link and infeed feed
  double clearanceFeed = 0;       // "*CLEAR_FEEDRATE" (its default -1 means unused: 0 here)
  // The eight doubles no cycle fills: five feeds and three spindle speeds, all 0.
  double leadingEdgeFeed = 0;
  double trailingEdgeFeed = 0;
  double finalPathFeed = 0;
  double springPathFeed = 0;
  double fastRetractFeed = 0;
  double finalPathSpindleSpeed = 0;
  double springPathSpindleSpeed = 0;
  double fullSectionSpindleSpeed = 0;
};

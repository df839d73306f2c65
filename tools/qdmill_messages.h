// qdmill_messages.h - what the host knows of the library's messages: for each number its
// severity and its English text. A message arrives as "<number>,<arguments>"; the host prints its
// severity and the text with the arguments in place of "%s" (the arguments alone where the
// number has no text here). Progress and information are printed only when asked (--verbose).
#pragma once

enum class HostSeverity : int { kError, kWarning, kNote, kProgress, kInformation };

struct HostMessage {
  int number;
  HostSeverity severity;
  const char* text;  // "%s" stands for the arguments; null: the arguments alone
};

// A number missing here is taken as an error: nothing that might explain a failure is hidden.
inline constexpr HostMessage kHostMessages[] = {
    // the job and its sources
    {1, HostSeverity::kError, "a mandatory parameter is missing: %s"},
    {1001, HostSeverity::kError, "%s"},
    {1100, HostSeverity::kWarning, "%s"},
    {1008, HostSeverity::kError, "%s"},
    {1108, HostSeverity::kError, "%s"},
    {1107, HostSeverity::kError, "geometry cannot be read: %s"},
    {332, HostSeverity::kError, "file cannot be read: %s"},
    {333, HostSeverity::kError, "coordinate system cannot be inverted: %s"},
    {509, HostSeverity::kError, "no model file"},
    {770, HostSeverity::kWarning, "tool reference not found: %s"},
    {771, HostSeverity::kNote, "tool reference used: %s"},
    {1192, HostSeverity::kNote,
     "small pockets are not skipped with axis-parallel pocketing and a finishing path"},
    // set-up corrections
    {502, HostSeverity::kWarning, "NC or tool coordinate system cannot be initialised"},
    {503, HostSeverity::kWarning, "NC or tool coordinate system cannot be taken into account"},
    {504, HostSeverity::kInformation, "output for the tool tip"},
    {505, HostSeverity::kInformation, "output for the tool centre"},
    {514, HostSeverity::kNote, "smallest computation step corrected to %s"},
    {515, HostSeverity::kNote, "largest computation step corrected to %s"},
    {1002, HostSeverity::kWarning, "lateral stepover too small"},
    {7102, HostSeverity::kInformation, "tilt angle changed to %s"},
    {329, HostSeverity::kError, "corner radius larger than the tool radius"},
    {330, HostSeverity::kError, "allowance and tool radius less than 0"},
    {1126, HostSeverity::kWarning, "allowance and tool radius less than 0: corrected"},
    {1180, HostSeverity::kWarning, "slope mode only with Z-level finishing"},
    // progress
    {36, HostSeverity::kProgress, "generating toolpath %s"},
    {37, HostSeverity::kProgress, "region %s"},
    {3009, HostSeverity::kProgress, "level %s"},
    {820, HostSeverity::kProgress, "boundary: start"},
    {822, HostSeverity::kProgress, "boundary: done"},
    {6005, HostSeverity::kProgress, "creating the collision model"},
    {3002, HostSeverity::kNote, "user break"},
    {9999, HostSeverity::kNote, "trace: %s"},
    // the computation
    {7, HostSeverity::kError, "output file name cannot be used: %s"},
    {305, HostSeverity::kError, "optimisation list cannot be made"},
    {311, HostSeverity::kError, "no memory for the output points"},
    {316, HostSeverity::kError, "clearance plane below the stock or the part: %s"},
    {325, HostSeverity::kError, "no disk space left"},
    {327, HostSeverity::kError, "profile point 1 not found"},
    {328, HostSeverity::kError, "profile point 2 not found"},
    {331, HostSeverity::kWarning, "too little memory: no optimisation"},
    {601, HostSeverity::kError, "profile cannot be fitted into the boundary"},
    {700, HostSeverity::kError, "boundary cannot be offset for the contact point"},
    {702, HostSeverity::kError, "boundary orientation cannot be found"},
    {703, HostSeverity::kError, "boundary cannot be computed in contact mode"},
    {704, HostSeverity::kError, "no memory to intersect boundary and guide curve"},
    {705, HostSeverity::kError, "boundary cannot be read"},
    {706, HostSeverity::kError, "curve cannot be read: %s"},
    {767, HostSeverity::kWarning, "model file probably damaged: %s"},
    {852, HostSeverity::kError, "pockets cannot be made"},
    {885, HostSeverity::kError, "boundary cannot be offset"},
    {1000, HostSeverity::kError, "POF file cannot be opened: %s"},
    {1104, HostSeverity::kError, "not built: %s"},
    {1181, HostSeverity::kNote, "small pocket skipped"},
    {1184, HostSeverity::kError, "drop net cannot be made"},
    {1186, HostSeverity::kNote, "fillet skipped: %s"},
    {1301, HostSeverity::kError, "pocket cycle reported an unknown failure: %s"},
    {1701, HostSeverity::kError, "POF file cannot be opened: %s"},
    {1702, HostSeverity::kError, "POF line cannot be read: %s"},
    {2000, HostSeverity::kError, "drop net cannot be computed"},
    {2001, HostSeverity::kError, "no free memory"},
    {2002, HostSeverity::kError, "collision detected"},
    {2003, HostSeverity::kError, "stopped: the tool would collide"},
    {2006, HostSeverity::kWarning, "finishing path cannot be computed"},
    {2007, HostSeverity::kWarning, "plunge not allowed"},
    {3003, HostSeverity::kError, "the computation failed"},
    {3506, HostSeverity::kError, "start point collides"},
    {3507, HostSeverity::kWarning, "roughing path not computed completely"},
    {6000, HostSeverity::kWarning, "no memory for the NC point buffer"},
    {6001, HostSeverity::kWarning, "NC point buffer full"},
    {6007, HostSeverity::kError, "cancelled: the tool collides"},
    {6054, HostSeverity::kError, "offset cannot be computed"},
    {6056, HostSeverity::kWarning, "no spiral possible"},
    // the pocket cycle's failures, as the roughing relays them
    {1003, HostSeverity::kError, "dimensions cannot be computed"},
    {1005, HostSeverity::kError, "geometry source unknown"},
    {1006, HostSeverity::kError, "exchange file cannot be opened"},
    {1007, HostSeverity::kError, "exchange file of a wrong kind"},
    {1101, HostSeverity::kError, "faulty geometry"},
    {1102, HostSeverity::kError, "contour not closed"},
    {1103, HostSeverity::kError, "not enough memory"},
    {1105, HostSeverity::kError, "faulty contour"},
    {1106, HostSeverity::kError, "internal contour failure"},
    {1109, HostSeverity::kError, "contour intersects itself"},
    {1504, HostSeverity::kWarning, "more than one drilling needed"},
    {1505, HostSeverity::kWarning, "pocket contour cannot be followed completely"},
    {1506, HostSeverity::kWarning, "island contour cannot be followed completely"},
    {1507, HostSeverity::kWarning, "tool too large: no path"},
    {1508, HostSeverity::kWarning, "island outside the pocket"},
    {1510, HostSeverity::kWarning, "island without pocket"},
    {1511, HostSeverity::kError, "internal failure"},
    {1514, HostSeverity::kWarning, "rest information cannot be written"},
    {1515, HostSeverity::kWarning, "no rest information made"},
    {1516, HostSeverity::kWarning, "rest information cannot be read"},
    {1517, HostSeverity::kWarning, "radius too large for rest machining"},
    {1518, HostSeverity::kWarning, "a small rest machining area skipped"},
    {1520, HostSeverity::kWarning, "additional moves needed to rest machine"},
    {1521, HostSeverity::kWarning, "tool corner radius too big for a complete stepover"},
    {1522, HostSeverity::kError, "helix collides with the pocket contours"},
};

// The row of a number, or null.
inline const HostMessage* hostMessageOf(int number) {
  for (const HostMessage& m : kHostMessages) {
    if (m.number == number) return &m;
  }
  return nullptr;
}

// ccp_params.h - the parameters of the contour-parallel pocket cycle: the camelCase keys of its
// parameter file read into the cycle record, the configuration record, and the engine's settings;
// the legacy ".CFG" keys stored through the key table into the configuration record; the engine
// settings text built from the tool and the stepover.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "framework/param_list.h"
#include "pocket/ccp_fields.h"

// Text fields of the configuration record hold this many bytes (at most 256 characters).
inline constexpr std::size_t kPockCfgTextSize = 257;
// Number of rows of the legacy key table (without the closing row).
inline constexpr int kPockLegacyKeyCount = 107;

// One field per row target of the legacy key table; several keys share a field where noted.
struct PocketCfgRecord {
  char rifName[kPockCfgTextSize];  // "*RIF_NAME": rest information file or layer
  std::int16_t genRif;
  std::int16_t evalRif;
  double minElem;
  double epsilon;
  double minLength;
  char qdx[kPockCfgTextSize];  // "*QDX", "*QDX_DATEI"
  char apt[kPockCfgTextSize];
  char report[kPockCfgTextSize];
  std::int16_t umlauf;
  std::int16_t reportClass;
  double aufmass;
  double oberfl;  // surface height
  double tief;    // depth
  double sichDist;
  double sichEbene;
  std::int16_t frTyp;  // "*FRTYP" (two rows)
  double frRadius;
  double frLaenge;
  double xVorschub;
  double zVorschub;
  double horiZustel;
  double drehzahl;
  std::int32_t wkzNummer;
  std::int16_t drehRicht;
  std::int16_t kuehlmittel;
  double wzkoO[3], wzkoX[3], wzkoY[3], wzkoZ[3];
  double nckoO[3], nckoX[3], nckoY[3], nckoZ[3];
  std::int16_t x11;
  std::int16_t ncBody;
  char rifDir[kPockCfgTextSize];
  char tmpDir[kPockCfgTextSize];
  double vertZustel;
  double aufmassZ;
  double zustellX;
  double zustellY;
  std::int16_t jobId;
  std::int16_t startGiven;  // "*ZUSTELL_OK", "*START_GIVEN"
  std::int16_t edgeMovement;
  double g0Color[3];  // "*G0_COLOR_RGB", "*RGB_G0"
  double g1Color[3];  // "*G1_COLOR_RGB", "*RGB_G1"
  std::int16_t cadMode;
  std::int16_t oriAuto;
  double refRadius;
  double macroTrad;
  std::int16_t macroTmode;
  std::int16_t strategy;
  double macroIwin;   // helix angle resolution; radians after a read
  double macroTswin;  // helix plunge or ramp angle; radians after a read
  std::int16_t macroEnd;
  std::int16_t planeRetract;
  double macroErad;
  std::int16_t stock;
  double wallAngle;
  double frBogen;
  double totalToolLength;
  double cuttingLength;
  double length1;
  double length2;
  double diameter1;
  double diameter2;
  double rVorschub;
  double vVorschub;
  std::int16_t inch;  // "*INCH", "*INCH_MODE"
  std::int16_t macroStart;
  double macroSrad;
  std::int16_t refJobType;
  std::int16_t seite;
  double startPt[3];  // "*STARTPT", "*START"
  char prgDir[kPockCfgTextSize];
  char locDir[kPockCfgTextSize];
  double stepMax;
  double stepMin;
  std::int16_t stockOnly;
  double infeedRadius;
  double filletRadius;
  std::int16_t completePocket;
  std::int16_t filletCorners;
  std::int16_t considerToolType;
  double taperAngle;
  double taperHeight;
  std::int16_t toolTip;
  std::int16_t contourProjection;
  double stepFactor;
  std::int16_t openPocket;
  std::int16_t stepStrategy;
  double overlap;
  std::int16_t plungeLast;
  std::int16_t openInOut;
  double macroHwin;
  double macroTabst;
  std::int16_t spiral;
  double spiralTol;
  double surfaceOffset;
};
static_assert(std::is_standard_layout_v<PocketCfgRecord>);

// Value types and conversions of the key table.
inline constexpr int kPockTypeI16 = 0;
inline constexpr int kPockTypeF64 = 1;
inline constexpr int kPockTypeText = 2;
inline constexpr int kPockTypeI32 = 3;
inline constexpr int kPockTypeF64x3 = 4;
inline constexpr int kPockConvNumber = 0;
inline constexpr int kPockConvRaw = 1;
inline constexpr int kPockConvTrimmed = 2;
inline constexpr int kPockConvThree = 15;
inline constexpr int kPockConvWord = 101;

// One row of the legacy key table: key, value type, conversion and the byte offset of its target
// field in PocketCfgRecord.
struct LegacyKeyRow {
  const char* key;
  int type;
  int conversion;
  std::size_t target;
};
// The table: kPockLegacyKeyCount rows in their order, then a row with a null key.
extern const LegacyKeyRow LegacyKeyTable[kPockLegacyKeyCount + 1];

// The configuration record (one for the process).
PocketCfgRecord& pockCfg();
// The configuration record back to its values at load.
void pockCfgReset();

// Index of the first row whose key equals key exactly; -1 when none matches or key is null.
int pockKeyIndex(const char* key);

// The result of pockKeyConvert: the number, the text (at most 256 characters) or three numbers.
struct PockKeyValue {
  double number;
  double three[3];
  char text[kPockCfgTextSize];
};
// Converts text by the conversion: 0 reads a number, 1 keeps the text, 2 removes leading blanks,
// 15 reads up to three blank-separated numbers into three (numbers not found keep the values three
// held), 101 looks the word up in the enumeration list ("DXF" 0, "MI" 1; exact) and gives its
// value as the number. Returns 0; -1 for a word not listed or a null argument.
int pockKeyConvert(int conversion, const char* text, PockKeyValue* out);

// Stores every entry of the ".CFG" list whose key the table knows into the configuration record,
// in list order (a later entry for a field wins): i16 and i32 take the number truncated toward
// zero (clamped to the type), f64 the number, text the converted text, three f64 the three
// numbers. A word not listed stores nothing. Returns 1.
int pockLegacyFromOptions(const ParamNode* entries);

// "*TMP_DIR" of the configuration record, a '/' when that is not empty, then name, into out (size
// bytes, cut to fit). Returns 1; 0 when it did not fit or an argument is null.
int pockTmpPath(char* out, std::size_t size, const char* name);

// The engine settings text of the record: "TI0.0 R<r> ZM<f>" with half the tool diameter (four
// decimals) and infeedLength / toolDiameter (as "%4lf"), followed by "XA<x> YA<y>" (four decimals)
// when withStart is 1. Written in the "C" locale into out (size bytes). Returns 1; 0 when the
// tool diameter is not above 0 (out empty) or an argument is null.
int ccpSettingsText(const CcpRecord* record, int withStart, char* out, std::size_t size);

// Read-parameters slot of the pocket cycle: the keys of the record's parameter list into the
// record, the configuration record and the engine, then the geometry (pock_geometry.h). Returns 1;
// 0 when "toolDiameter" is missing, "geoSource" is missing and none is known (each sent as the
// layer-0 record 102 "error" "1,(<key>)"; the reading goes on), or the geometry read fails.
int ccpReadParameters(CycleRecord* cycle);

// The degrees of the plunge angles as last read (the record and the configuration record hold them
// in radians after a read); the pocket cycle puts the record back to its values at load with these
// back to theirs.
void ccpParamsResetState();

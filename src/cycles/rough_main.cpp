// rough_main.cpp - stand-in of the roughing run: a run reports that it is missing.
#include "cycles/rough_main.h"

#include "cycles/cycle_result.h"
#include "framework/messages.h"

int roughMain(const char* /*cfgPath*/) {
  msgSendText(9, kCycMsgNotRealised, "* Funktion noch nicht realisiert", "roughMain");
  return -1;
}

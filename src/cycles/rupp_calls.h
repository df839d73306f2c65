// rupp_calls.h - the error table of the roughing: the POF read-back reports the error records of a
// nested pocket cycle through it (installed as the read-back's error reporter). The reading of
// "name(value)" lines that the read-back also uses is in output/pof_reader.h.
#pragma once

#include <cstddef>

// Reads text as a decimal integer and looks it up in the error table (first match wins). A row
// found sends its message at level 9 (msgSendReal, value 0) unless reports are muted or the
// errors-only mode is on and the row is a warning; an unknown code sends message 1301
// "* Unknown Error : %s" with the text (msgSendText, level 9) unless reports are muted.
// Returns the row's result: -1 for an error, 0 for a warning; 0 for an unknown code or null text.
int ruppReportError(const char* text);

// Errors-only mode (off at load): while on, warnings of the table are not sent.
void ruppSetErrorsOnly(int on);
// Mutes (1) or unmutes (0) every report of ruppReportError (unmuted at load).
void ruppMuteReports(int mute);

// Test seam: both switches back to their state at load.
void ruppResetState();

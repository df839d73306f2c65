// rupp_calls.h - the error table of the roughing: the POF read-back reports the error records of a
// nested pocket cycle through it (installed as the read-back's error reporter). The reading of
// "name(value)" lines that the read-back also uses is in output/pof_reader.h.
#pragma once

#include <cstddef>

// Reads text as a decimal integer and looks it up in the error table (first match wins). A row
// found sends its message at level 9 (msgSendReal, value 0) unless reports are muted or the
// errors-only mode is on and the row is a warning; an unknown code always sends message 1301
// "* Unknown Error : %s" with the text (msgSendText, level 9), muted or not.
// Returns the row's result: -1 for an error, 0 for a warning; 0 for an unknown code or null text.
int ruppReportError(const char* text);

// Errors-only mode (off at load): while on, warnings of the table are not sent.
void ruppSetErrorsOnly(int on);
// Mutes (1) or unmutes (0) the reports of the table's rows (unmuted at load).
void ruppMuteErrors(int mute);

// Both switches back to their state at load (the cycles' run-start reset calls it).
void ruppResetState();

// rupp_calls.h - the roughing's reading of "name(value)" lines and its error table: the POF
// read-back parses its layer-0 records with these and reports the error records of a nested
// pocket cycle through the table.
#pragma once

#include <cstddef>

// Longest name or value the callers keep (their buffers hold this many characters and a NUL).
inline constexpr std::size_t kRuppCallTextMax = 255;

// Reads a line of the form name(value). Blanks and tabs are skipped; a blank after a word starts
// the name again, so the name is the last word before '('. The value is every character after
// the '(' up to the next ')' or the end of the text. Each output gets at most size - 1
// characters and a NUL; longer names and values are cut.
// Returns 1 when both were read; 0 for an empty name, the end of the text or a ')' before any
// '(', a null argument or a size of 0 (outputs are then empty where they have room).
int ruppParseCall(const char* text, char* name, std::size_t nameSize, char* value,
                  std::size_t valueSize);

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

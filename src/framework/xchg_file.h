// xchg_file.h - opening exchange files (also standard input and names under the home folder) and
// reading their elements one at a time; the interpreter and every hand-written reader use these.
#pragma once

#include <cstdio>

#include "framework/xchg_lexer.h"

// Opens an exchange file and reads its header into *header (whose texts are freed first and
// whose version is set to 0.0). "| stdin" (exactly) is standard input; a leading '~' is replaced
// by the value of HOME (the resulting path must fit 511 characters); any other path is opened as
// raw bytes. Returns the stream positioned after the header; null when header is null, the path
// is null, HOME is not set or the name too long, the file cannot be opened, or the header is
// refused (the stream is then closed; standard input is never closed).
std::FILE* xchgOpen(const char* path, XchgHeader* header);

// Closes a stream of xchgOpen. Standard input is never closed: only its error and end state are
// cleared. Accepts null.
void xchgClose(std::FILE* stream);

// Clears the element and reads the next one. Returns 1 when one was read; 0 at the end of the
// file, on a lexical error (see xchgLexLastError) or when an argument is null.
int xchgNextElement(std::FILE* stream, XchgElement* element);

// Clears the element and reads the next one from the text at *cursor, which is advanced past it.
// Returns 1 when one was read; 0 at the end of the text, on a lexical error, or when the cursor,
// the text or the element is null.
int xchgElementFromText(const char** cursor, XchgElement* element);

// xchg_scope.h - the scoped variables of an exchange file and the counters that number its objects
// and methods. '{' opens a level, '}' closes it and gives back what the level changed.
#pragma once

#include <cstdint>

#include "framework/xchg_lexer.h"

// One variable: owned name and value texts and the level that made it.
struct XchgVar {
  char* name;
  char* value;
  std::uint16_t level;
  XchgVar* next;
};

// A value of an outer level saved when a level changed it; given back when that level closes.
struct XchgSaved {
  char* name;
  char* value;
  XchgSaved* next;
};

// Variables (newest first), the current level (1 at the start), one list of saved values per open
// level (saved[n] for level n, newest first; capacity savedCap), and the counters that give ids to
// objects and methods written without one. The counters are also the variables "objectCounter"
// and "methodCounter", so that a file can set them and a closed level gives them back.
struct XchgScope {
  XchgVar* vars;
  std::uint16_t level;
  XchgSaved** saved;
  std::int32_t savedCap;
  std::int32_t objectCounter;
  std::int32_t methodCounter;
};

// The deepest level a scope opens (the level is a u16).
constexpr int kXchgScopeMaxLevel = 65535;

// A scope at level 1 with "objectCounter" and "methodCounter" set to "1". Null when memory fails.
XchgScope* xchgScopeNew();

// Frees every variable, every saved value and the scope; accepts null.
void xchgScopeFree(XchgScope* scope);

// Sets a variable to a copy of value. Returns 1 when an existing variable was changed; 0 when a
// new one was made, or nothing was done (null scope, null or empty name or value, no memory). A
// variable of an outer level changed above level 1 has its old value saved for the close of the
// current level (skipped, not failed, when that memory runs out). "objectCounter" and
// "methodCounter" also set their counter to the value read as a decimal integer.
int xchgScopeSet(XchgScope* scope, const char* name, const char* value);

// A copy of the variable's value (caller frees with memFree); null when there is none, an
// argument is null or memory fails.
char* xchgScopeGet(const XchgScope* scope, const char* name);

// Opens a level: the counters are written into their variables, the level is raised and both
// counters restart at 1. Returns 1; 0 for a null scope, no memory, or kXchgScopeMaxLevel reached.
int xchgScopePush(XchgScope* scope);

// Closes a level: the saved values of the level are given back (newest first; a variable keeps the
// level that made it, one that is gone is made anew at the level returned to), every variable the
// level made is deleted and the counters are read back from their variables. Returns 1; 0 at level
// 1 or for a null scope.
int xchgScopePop(XchgScope* scope);

// For an object element: when it has no id (or an empty one) it gets the current objectCounter as
// id; the counter counts up by one in any case. Returns 1 when the id was given, 0 when it had an
// id or the element is not an object (or an argument is null), -1 when memory for the id failed
// (the counter still counts).
int xchgCountObject(XchgScope* scope, XchgElement* element);

// The same for method elements with methodCounter.
int xchgCountMethod(XchgScope* scope, XchgElement* element);

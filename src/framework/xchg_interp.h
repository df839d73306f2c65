// xchg_interp.h - the exchange interpreter: runs a whole file and dispatches each element to the
// handler registered for its object type or method name, with scoped variables and automatic ids.
// The polyhedron, contour, tool and geometry-source readers are handler sets on top of it.
#pragma once

#include <cstdint>

#include "framework/xchg_lexer.h"
#include "framework/xchg_scope.h"

// A handler gets the element, the run's scope and the interpreter's user data. It returns 1 to let
// the run go on; any other value stops the run and becomes its result. A method element with no
// attribute carries its long text in the file: the stream stands at the text start while the
// handler runs (see XchgElement).
using XchgHandler = int (*)(XchgElement* element, XchgScope* scope, void* user);

// Checks the header of a file before its elements are read: 1 lets the run go on, any other value
// ends it and becomes its result.
using XchgHeaderCheck = int (*)(const XchgHeader* header);

// One registered name and its handler. Slot 0 of a table has no name and holds the handler for
// names never registered, which does nothing and returns 1.
struct XchgHandlerEntry {
  char* name;
  XchgHandler handler;
};

struct XchgHandlerTable {
  XchgHandlerEntry* entries;
  std::int32_t count;
  std::int32_t capacity;
};

struct XchgInterp {
  XchgScope* scope;
  XchgHandler onVariable;
  XchgHandler onOpenScope;
  XchgHandler onCloseScope;
  XchgHandlerTable objects;
  XchgHandlerTable methods;
  void* user;
};

// Creates an interpreter with a new scope. A null handler takes its default: xchgDefaultVariable,
// xchgDefaultOpenScope, xchgDefaultCloseScope. Returns null when memory fails (nothing leaks).
XchgInterp* xchgInterpNew(void* user, XchgHandler onVariable, XchgHandler onOpenScope,
                          XchgHandler onCloseScope);

// Registers the handler for objects of a type (exact, case-sensitive name); a second registration
// of the name replaces the handler; a null handler registers the do-nothing handler. Returns 1; 0
// when the interpreter or the name is null or memory fails (earlier registrations stay in force).
int xchgInterpOnObject(XchgInterp* interp, const char* type, XchgHandler handler);

// The same for method names.
int xchgInterpOnMethod(XchgInterp* interp, const char* name, XchgHandler handler);

// Runs the whole file at path (xchgOpen: "| stdin" and '~' work). Returns 0 when the interpreter is
// missing, or the file cannot be opened or its header is refused; the header check's result when
// it is given and returns other than 1; the result of the handler that stopped the run; otherwise
// 1. A lexical error ends the run like the end of the file (the result is then that of the last
// handler, 1 when every handler agreed); xchgLexLastError tells whether the file was complete.
// The scope lives on from run to run.
int xchgInterpRun(const char* path, XchgInterp* interp, XchgHeaderCheck check);

// Frees the scope, both tables and the interpreter; accepts null.
void xchgInterpFree(XchgInterp* interp);

// Default scope handlers: open (xchgScopePush) and close (xchgScopePop) a level; both return 1.
int xchgDefaultOpenScope(XchgElement* element, XchgScope* scope, void* user);
int xchgDefaultCloseScope(XchgElement* element, XchgScope* scope, void* user);

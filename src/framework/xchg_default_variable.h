// xchg_default_variable.h - the variable handler the exchange interpreter installs when a reader
// gives none: the variable goes into the run's scope.
#pragma once

#include "framework/xchg_lexer.h"
#include "framework/xchg_scope.h"

// Stores the element's name and value (its id) in the scope with xchgScopeSet. Always returns 1,
// so the run goes on; nothing is reported when the value cannot be stored.
int xchgDefaultVariable(XchgElement* element, XchgScope* scope, void* user);

// xchg_default_variable.cpp - default variable handler of the exchange interpreter.
#include "framework/xchg_default_variable.h"

int xchgDefaultVariable(XchgElement* element, XchgScope* scope, void*) {
  if (element != nullptr) xchgScopeSet(scope, element->name, element->id);
  return 1;
}

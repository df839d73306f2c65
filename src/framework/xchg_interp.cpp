// xchg_interp.cpp - the exchange interpreter: element dispatch by kind and name, automatic ids, and
// positioning of the stream around handlers that read long method texts from the file.
#include "framework/xchg_interp.h"

#include <cstdio>
#include <cstring>

#include "framework/memory.h"
#include "framework/platform.h"
#include "framework/xchg_default_variable.h"
#include "framework/xchg_file.h"

namespace {
int xchgNoopHandler(XchgElement*, XchgScope*, void*) { return 1; }

bool tableInit(XchgHandlerTable* t) {
  t->entries = static_cast<XchgHandlerEntry*>(memAllocZero(8 * sizeof(XchgHandlerEntry)));
  if (t->entries == nullptr) return false;
  t->entries[0].handler = xchgNoopHandler;
  t->count = 1;
  t->capacity = 8;
  return true;
}

void tableFree(XchgHandlerTable* t) {
  if (t->entries != nullptr) {
    for (std::int32_t i = 0; i < t->count; ++i) memFree(t->entries[i].name);
  }
  memFree(t->entries);
  *t = XchgHandlerTable{nullptr, 0, 0};
}

// Slot of a registered name; 0 (the do-nothing slot) for a name never registered.
std::int32_t tableFind(const XchgHandlerTable* t, const char* name) {
  if (name == nullptr) return 0;
  for (std::int32_t i = 1; i < t->count; ++i) {
    if (std::strcmp(t->entries[i].name, name) == 0) return i;
  }
  return 0;
}

int tableRegister(XchgHandlerTable* t, const char* name, XchgHandler handler) {
  if (handler == nullptr) handler = xchgNoopHandler;
  if (const std::int32_t slot = tableFind(t, name); slot > 0) {
    t->entries[slot].handler = handler;
    return 1;
  }
  if (t->count == t->capacity) {
    const std::int32_t cap = t->capacity * 2;
    auto* grown = static_cast<XchgHandlerEntry*>(
        memRealloc(t->entries, static_cast<std::size_t>(cap) * sizeof(XchgHandlerEntry)));
    if (grown == nullptr) return 0;
    t->entries = grown;
    t->capacity = cap;
  }
  char* copy = memStrDup(name);
  if (copy == nullptr) return 0;
  t->entries[t->count++] = XchgHandlerEntry{copy, handler};
  return 1;
}

int interpDispatch(XchgInterp* in, XchgElement* e) {
  switch (e->kind) {
    case 'o':
      xchgCountObject(in->scope, e);
      return in->objects.entries[tableFind(&in->objects, e->name)].handler(e, in->scope, in->user);
    case 'm': {
      if (e->attrs == nullptr && e->stream != nullptr && e->textStart >= 0) {
        platSeek(e->stream, e->textStart);
      }
      xchgCountMethod(in->scope, e);
      const int result =
          in->methods.entries[tableFind(&in->methods, e->name)].handler(e, in->scope, in->user);
      if (e->stream != nullptr && e->textEnd >= 0) platSeek(e->stream, e->textEnd);
      return result;
    }
    case 'v': return in->onVariable(e, in->scope, in->user);
    case '{': return in->onOpenScope(e, in->scope, in->user);
    case '}': return in->onCloseScope(e, in->scope, in->user);
    default: return 1;
  }
}
}  // namespace

int xchgDefaultOpenScope(XchgElement*, XchgScope* scope, void*) {
  xchgScopePush(scope);
  return 1;
}

int xchgDefaultCloseScope(XchgElement*, XchgScope* scope, void*) {
  xchgScopePop(scope);
  return 1;
}

XchgInterp* xchgInterpNew(void* user, XchgHandler onVariable, XchgHandler onOpenScope,
                          XchgHandler onCloseScope) {
  auto* in = static_cast<XchgInterp*>(memAllocZero(sizeof(XchgInterp)));
  if (in == nullptr) return nullptr;
  in->scope = xchgScopeNew();
  if (in->scope == nullptr || !tableInit(&in->objects) || !tableInit(&in->methods)) {
    xchgInterpFree(in);
    return nullptr;
  }
  in->onVariable = onVariable != nullptr ? onVariable : xchgDefaultVariable;
  in->onOpenScope = onOpenScope != nullptr ? onOpenScope : xchgDefaultOpenScope;
  in->onCloseScope = onCloseScope != nullptr ? onCloseScope : xchgDefaultCloseScope;
  in->user = user;
  return in;
}

int xchgInterpOnObject(XchgInterp* interp, const char* type, XchgHandler handler) {
  if (interp == nullptr || type == nullptr) return 0;
  return tableRegister(&interp->objects, type, handler);
}

int xchgInterpOnMethod(XchgInterp* interp, const char* name, XchgHandler handler) {
  if (interp == nullptr || name == nullptr) return 0;
  return tableRegister(&interp->methods, name, handler);
}

int xchgInterpRun(const char* path, XchgInterp* interp, XchgHeaderCheck check) {
  if (interp == nullptr) return 0;
  XchgHeader header{nullptr, 0, 0, nullptr};
  std::FILE* f = xchgOpen(path, &header);
  if (f == nullptr) {
    xchgHeaderFree(&header);
    return 0;
  }
  int result = 1;
  if (check != nullptr) result = check(&header);
  XchgElement e{0, nullptr, nullptr, nullptr, nullptr, -1, -1};
  while (result == 1 && xchgNextElement(f, &e) == 1) result = interpDispatch(interp, &e);
  xchgElementClear(&e);
  xchgHeaderFree(&header);
  xchgClose(f);
  return result;
}

void xchgInterpFree(XchgInterp* interp) {
  if (interp == nullptr) return;
  xchgScopeFree(interp->scope);
  tableFree(&interp->objects);
  tableFree(&interp->methods);
  memFree(interp);
}

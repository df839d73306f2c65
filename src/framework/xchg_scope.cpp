// xchg_scope.cpp - scoped variables of the exchange interpreter. Each level restarts the object
// and method numbering; closing a level restores what it changed and drops what it made.
#include "framework/xchg_scope.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "framework/memory.h"

namespace {
constexpr char kObjectCounter[] = "objectCounter";
constexpr char kMethodCounter[] = "methodCounter";

XchgVar* scopeFind(const XchgScope* s, const char* name) {
  for (XchgVar* v = s->vars; v != nullptr; v = v->next) {
    if (std::strcmp(v->name, name) == 0) return v;
  }
  return nullptr;
}

// A decimal integer as the C library's atoi reads it, saturated to the i32 range.
std::int32_t scopeParseInt(const char* t) {
  while (*t == ' ' || (*t >= '\t' && *t <= '\r')) ++t;
  bool negative = false;
  if (*t == '+' || *t == '-') negative = *t++ == '-';
  long long v = 0;
  while (*t >= '0' && *t <= '9') {
    v = v * 10 + (*t++ - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  return static_cast<std::int32_t>(v);
}

void scopeSyncCounter(XchgScope* s, const XchgVar* v) {
  if (std::strcmp(v->name, kObjectCounter) == 0) s->objectCounter = scopeParseInt(v->value);
  if (std::strcmp(v->name, kMethodCounter) == 0) s->methodCounter = scopeParseInt(v->value);
}

void scopeSetInt(XchgScope* s, const char* name, std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  xchgScopeSet(s, name, text);
}

// Counts a counter up by one; wraps at the end of the i32 range instead of overflowing.
std::int32_t scopeNext(std::int32_t c) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c) + 1u);
}

int scopeCount(XchgScope* s, XchgElement* e, std::int16_t kind, std::int32_t* counter) {
  if (s == nullptr || e == nullptr || e->kind != kind) return 0;
  int given = 0;
  if (e->id == nullptr || e->id[0] == '\0') {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(*counter));
    char* id = memStrDup(text);
    if (id == nullptr) {
      given = -1;
    } else {
      memFree(e->id);
      e->id = id;
      given = 1;
    }
  }
  *counter = scopeNext(*counter);
  return given;
}

void savedFreeList(XchgSaved* p) {
  while (p != nullptr) {
    XchgSaved* next = p->next;
    memFree(p->name);
    memFree(p->value);
    memFree(p);
    p = next;
  }
}
}  // namespace

XchgScope* xchgScopeNew() {
  auto* s = static_cast<XchgScope*>(memAllocZero(sizeof(XchgScope)));
  if (s == nullptr) return nullptr;
  s->level = 1;
  s->objectCounter = 1;
  s->methodCounter = 1;
  xchgScopeSet(s, kObjectCounter, "1");
  xchgScopeSet(s, kMethodCounter, "1");
  if (scopeFind(s, kObjectCounter) == nullptr || scopeFind(s, kMethodCounter) == nullptr) {
    xchgScopeFree(s);
    return nullptr;
  }
  return s;
}

void xchgScopeFree(XchgScope* scope) {
  if (scope == nullptr) return;
  XchgVar* v = scope->vars;
  while (v != nullptr) {
    XchgVar* next = v->next;
    memFree(v->name);
    memFree(v->value);
    memFree(v);
    v = next;
  }
  for (std::int32_t i = 0; i < scope->savedCap; ++i) savedFreeList(scope->saved[i]);
  memFree(scope->saved);
  memFree(scope);
}

int xchgScopeSet(XchgScope* scope, const char* name, const char* value) {
  if (scope == nullptr || name == nullptr || name[0] == '\0' || value == nullptr ||
      value[0] == '\0') {
    return 0;
  }
  char* copy = memStrDup(value);
  if (copy == nullptr) return 0;
  if (XchgVar* v = scopeFind(scope, name)) {
    XchgSaved* keep = nullptr;
    if (v->level < scope->level && scope->level > 1 && scope->level < scope->savedCap) {
      keep = static_cast<XchgSaved*>(memAllocZero(sizeof(XchgSaved)));
      if (keep != nullptr) keep->name = memStrDup(name);
      if (keep != nullptr && keep->name == nullptr) {
        memFree(keep);
        keep = nullptr;
      }
    }
    if (keep != nullptr) {
      keep->value = v->value;
      keep->next = scope->saved[scope->level];
      scope->saved[scope->level] = keep;
    } else {
      memFree(v->value);
    }
    v->value = copy;
    scopeSyncCounter(scope, v);
    return 1;
  }
  auto* v = static_cast<XchgVar*>(memAllocZero(sizeof(XchgVar)));
  char* nameCopy = v != nullptr ? memStrDup(name) : nullptr;
  if (nameCopy == nullptr) {
    memFree(v);
    memFree(copy);
    return 0;
  }
  v->name = nameCopy;
  v->value = copy;
  v->level = scope->level;
  v->next = scope->vars;
  scope->vars = v;
  scopeSyncCounter(scope, v);
  return 0;
}

char* xchgScopeGet(const XchgScope* scope, const char* name) {
  if (scope == nullptr || name == nullptr) return nullptr;
  const XchgVar* v = scopeFind(scope, name);
  return v != nullptr ? memStrDup(v->value) : nullptr;
}

int xchgScopePush(XchgScope* scope) {
  if (scope == nullptr || scope->level >= kXchgScopeMaxLevel) return 0;
  const std::int32_t need = scope->level + 2;  // saved[level + 1] must exist
  if (need > scope->savedCap) {
    std::int32_t cap = scope->savedCap < 8 ? 8 : scope->savedCap * 2;
    if (cap < need) cap = need;
    auto* grown = static_cast<XchgSaved**>(
        memRealloc(scope->saved, static_cast<std::size_t>(cap) * sizeof(XchgSaved*)));
    if (grown == nullptr) return 0;
    for (std::int32_t i = scope->savedCap; i < cap; ++i) grown[i] = nullptr;
    scope->saved = grown;
    scope->savedCap = cap;
  }
  scopeSetInt(scope, kObjectCounter, scope->objectCounter);
  scopeSetInt(scope, kMethodCounter, scope->methodCounter);
  ++scope->level;
  scope->saved[scope->level] = nullptr;
  xchgScopeSet(scope, kObjectCounter, "1");
  xchgScopeSet(scope, kMethodCounter, "1");
  scope->objectCounter = 1;
  scope->methodCounter = 1;
  return 1;
}

int xchgScopePop(XchgScope* scope) {
  if (scope == nullptr || scope->level <= 1) return 0;
  const std::uint16_t closed = scope->level;
  --scope->level;
  XchgSaved* p = closed < scope->savedCap ? scope->saved[closed] : nullptr;
  if (closed < scope->savedCap) scope->saved[closed] = nullptr;
  while (p != nullptr) {
    XchgSaved* next = p->next;
    if (XchgVar* v = scopeFind(scope, p->name)) {
      // The variable keeps the level that made it, so that closing that level deletes it and no
      // earlier one does.
      memFree(v->value);
      v->value = p->value;
      memFree(p->name);
      memFree(p);
    } else {
      auto* made = static_cast<XchgVar*>(memAllocZero(sizeof(XchgVar)));
      if (made == nullptr) {
        memFree(p->name);
        memFree(p->value);
        memFree(p);
      } else {
        made->name = p->name;
        made->value = p->value;
        made->level = scope->level;
        made->next = scope->vars;
        scope->vars = made;
        memFree(p);
      }
    }
    p = next;
  }
  XchgVar** link = &scope->vars;
  while (*link != nullptr) {
    XchgVar* v = *link;
    if (v->level >= closed) {
      *link = v->next;
      memFree(v->name);
      memFree(v->value);
      memFree(v);
    } else {
      link = &v->next;
    }
  }
  if (const XchgVar* v = scopeFind(scope, kObjectCounter)) scopeSyncCounter(scope, v);
  if (const XchgVar* v = scopeFind(scope, kMethodCounter)) scopeSyncCounter(scope, v);
  return 1;
}

int xchgCountObject(XchgScope* scope, XchgElement* element) {
  return scope == nullptr ? 0 : scopeCount(scope, element, 'o', &scope->objectCounter);
}

int xchgCountMethod(XchgScope* scope, XchgElement* element) {
  return scope == nullptr ? 0 : scopeCount(scope, element, 'm', &scope->methodCounter);
}

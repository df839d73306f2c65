// param_list.cpp - the run's parameter list. New entries go to the front, so a lookup finds the
// newest entry of a name first; names stay unique because setting an existing name replaces it.
#include "framework/param_list.h"

#include <cstring>

#include "framework/memory.h"

namespace {
ParamNode* parListFind(ParamNode* list, const char* name) {
  for (ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name != nullptr && std::strcmp(n->name, name) == 0) return n;
  }
  return nullptr;
}

bool parTextEmpty(const char* t) { return t == nullptr || t[0] == '\0'; }
}  // namespace

ParamNode* parListSet(ParamNode* list, const char* name, const char* value, int kind) {
  if (parTextEmpty(name) || parTextEmpty(value)) return list;
  ParamPair pair{memStrDup(name), memStrDup(value)};
  if (pair.name == nullptr || pair.value == nullptr) {
    memFree(pair.name);
    memFree(pair.value);
    return list;
  }
  return parListTake(list, &pair, kind);
}

ParamNode* parListTake(ParamNode* list, ParamPair* entry, int kind) {
  if (entry == nullptr) return list;
  char* name = entry->name;
  char* value = entry->value;
  entry->name = nullptr;
  entry->value = nullptr;
  if (parTextEmpty(name) || parTextEmpty(value)) {
    memFree(name);
    memFree(value);
    return list;
  }
  if (ParamNode* found = parListFind(list, name)) {
    memFree(found->value);
    found->value = value;
    found->kind = static_cast<std::int16_t>(kind);
    memFree(name);
    return list;
  }
  auto* node = static_cast<ParamNode*>(memAllocZero(sizeof(ParamNode)));
  if (node == nullptr) {
    memFree(name);
    memFree(value);
    return list;
  }
  node->name = name;
  node->value = value;
  node->kind = static_cast<std::int16_t>(kind);
  node->next = list;
  return node;
}

char* parListGet(const ParamNode* list, const char* name, std::int16_t* kind) {
  if (name == nullptr) return nullptr;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name != nullptr && std::strcmp(n->name, name) == 0) {
      char* copy = memStrDup(n->value);
      if (copy != nullptr && kind != nullptr) *kind = n->kind;
      return copy;
    }
  }
  return nullptr;
}

void parListFree(ParamNode* list) {
  while (list != nullptr) {
    ParamNode* next = list->next;
    memFree(list->name);
    memFree(list->value);
    memFree(list);
    list = next;
  }
}

const ParamNode* parListLast(const ParamNode* list, const char* name) {
  if (name == nullptr) return nullptr;
  const ParamNode* found = nullptr;
  for (const ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name != nullptr && std::strcmp(n->name, name) == 0) found = n;
  }
  return found;
}

const char* parListLastValue(const ParamNode* list, const char* name) {
  const ParamNode* n = parListLast(list, name);
  return n != nullptr ? n->value : nullptr;
}

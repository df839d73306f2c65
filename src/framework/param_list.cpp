// param_list.cpp - the run's parameter list. New entries go to the front, so a lookup finds the
// newest entry of a name first; names stay unique because setting an existing name replaces it.
#include "framework/param_list.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/memory.h"

// An open-addressing table of the entries by the hash of their name: one flat array, so that a
// lookup touches one slot run instead of chained heap nodes.
struct ParamIndex {
  struct Slot {
    std::size_t hash;
    ParamNode* node;  // null: empty slot
  };
  std::vector<Slot> slots;  // size a power of two, at most half full
  std::size_t used = 0;
  bool usable = true;  // false once memory failed: the list is searched instead
};

namespace {
ParamNode* parListFind(ParamNode* list, const char* name) {
  for (ParamNode* n = list; n != nullptr; n = n->next) {
    if (n->name != nullptr && std::strcmp(n->name, name) == 0) return n;
  }
  return nullptr;
}

std::size_t parNameHash(const char* name) { return std::hash<std::string_view>{}(name); }

// The slot of name: the one holding it, or the empty slot where it would go.
ParamIndex::Slot& parIndexSlot(ParamIndex* index, std::size_t hash, const char* name) {
  const std::size_t mask = index->slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    ParamIndex::Slot& s = index->slots[i];
    if (s.node == nullptr || (s.hash == hash && std::strcmp(s.node->name, name) == 0)) return s;
  }
}

// Notes an entry unless its name is there already (the first one noted wins). The table doubles
// before it is half full; one that cannot grow is given up, not left incomplete.
void parIndexAdd(ParamIndex* index, ParamNode* node) {
  if (index == nullptr || !index->usable) return;
  try {
    if (2 * (index->used + 1) > index->slots.size()) {
      std::vector<ParamIndex::Slot> old(std::max<std::size_t>(64, 2 * index->slots.size()));
      old.swap(index->slots);
      for (const ParamIndex::Slot& s : old) {
        if (s.node != nullptr) parIndexSlot(index, s.hash, s.node->name) = s;
      }
    }
  } catch (...) {
    index->usable = false;
    index->slots.clear();
    return;
  }
  const std::size_t hash = parNameHash(node->name);
  ParamIndex::Slot& s = parIndexSlot(index, hash, node->name);
  if (s.node != nullptr) return;
  s = ParamIndex::Slot{hash, node};
  ++index->used;
}

ParamNode* parIndexFind(ParamIndex* index, ParamNode* list, const char* name) {
  if (index == nullptr || !index->usable) return parListFind(list, name);
  if (index->slots.empty()) return nullptr;
  return parIndexSlot(index, parNameHash(name), name).node;
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
  return parListTakeIndexed(list, entry, kind, nullptr);
}

ParamNode* parListTakeIndexed(ParamNode* list, ParamPair* entry, int kind, ParamIndex* index) {
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
  if (ParamNode* found = parIndexFind(index, list, name)) {
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
  parIndexAdd(index, node);
  return node;
}

ParamIndex* parIndexNew(ParamNode* list) {
  try {
    auto index = std::make_unique<ParamIndex>();
    // The list runs newest first: the first entry of a name is the one a lookup finds.
    for (ParamNode* n = list; n != nullptr; n = n->next) {
      if (n->name != nullptr) parIndexAdd(index.get(), n);
    }
    if (!index->usable) return nullptr;
    return index.release();
  } catch (...) {
    return nullptr;
  }
}

void parIndexFree(ParamIndex* index) { delete index; }

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

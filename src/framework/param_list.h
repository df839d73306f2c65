// param_list.h - the parameter list of a cycle run: name and value texts with the kind that says
// where each came from. Filled from parameter files, ".CFG" sources and by the program.
#pragma once

#include <cstdint>

// One entry of a singly linked list. Name and value are owned copies, never empty.
// kind: 13 definition file, 21 parameter source (".pcf" or ".CFG"), 31 set by the program.
struct ParamNode {
  char* name;
  char* value;
  std::int16_t kind;
  ParamNode* next;
};

// Two owned texts handed from the file lexer to parListTake.
struct ParamPair {
  char* name;
  char* value;
};

// Sets name to value. Ignored (list returned unchanged) when name or value is null or empty. An
// existing entry of that name (exact comparison) gets a copy of value and the kind; otherwise a
// new entry with copies of both goes to the front. Returns the new head; unchanged list when
// memory runs out.
ParamNode* parListSet(ParamNode* list, const char* name, const char* value, int kind);

// As parListSet, but takes ownership of entry->name and entry->value (both are freed when they
// are not stored). The entry's pointers are cleared. Returns the new head.
ParamNode* parListTake(ParamNode* list, ParamPair* entry, int kind);

// A copy of the value of the first entry of that name (caller frees with memFree), and its kind
// in *kind when kind is not null; null when there is none (kind untouched) or memory runs out.
char* parListGet(const ParamNode* list, const char* name, std::int16_t* kind);

// The last entry of that name (exact, case-sensitive) in list order, or null: in a parameter or
// ".CFG" entry list the last one wins.
const ParamNode* parListLast(const ParamNode* list, const char* name);
// The value of parListLast, or null. Not a copy: valid while the list is.
const char* parListLastValue(const ParamNode* list, const char* name);

// Frees every entry with its texts; accepts null.
void parListFree(ParamNode* list);

// An index of the names of a list, kept beside it while many entries are added (a file load), so
// that finding an existing name costs constant time instead of a walk of the list. The list
// stays what it is: the index only points at its entries and never changes their order.
struct ParamIndex;

// A new index of the names of list (newest entry of a name wins). Null when memory runs out;
// parListTakeIndexed then searches the list as parListTake does.
ParamIndex* parIndexNew(ParamNode* list);
// Frees the index (never the list); accepts null.
void parIndexFree(ParamIndex* index);

// parListTake with the index of list: the same result, entry for entry, and the index follows
// the new entries. Returns the new head.
ParamNode* parListTakeIndexed(ParamNode* list, ParamPair* entry, int kind, ParamIndex* index);

// param_keys.h - the keys of a job source that the framework itself reads (frames, information
// phases, output header, comments, literal lines, user parameters, tool description), and the
// nearest known key to one that no reader knows: a misspelled key is named with the key it was
// probably meant to be ("toolDiamter: not a parameter; did you mean toolDiameter?").
#pragma once

#include <cstddef>
#include <span>
#include <string>

// How a known key matches a name.
enum class ParKeyForm : int {
  kExact,     // the name itself
  kNumbered,  // the stem followed by a decimal number: "comment_3", "P12", "*LITERAL_2"
  kPrefixed,  // the stem followed by any text: "*TREF_<tool reference name>"
};

struct ParKnownKey {
  const char* name;  // the key, or the stem of a numbered or prefixed key
  ParKeyForm form;
};

// The keys of a ".pcf" source (and of the cycle's ".def" file) that the framework reads.
std::span<const ParKnownKey> parFrameworkKeys();
// The "*KEY"s of a ".CFG" source that the framework reads beyond the keyword table of the global
// parameter block.
std::span<const ParKnownKey> parFrameworkCfgKeys();

// Whether name is key: the same text (any case when ignoreCase), or for a numbered key its stem
// and a number of one or more digits, for a prefixed key its stem and at least one character.
bool parKeyMatches(const ParKnownKey& key, const char* name, bool ignoreCase);

// The edit distance of two keys with letters compared without regard to case: insertions,
// deletions, substitutions and transpositions of neighbours cost 1 each.
int parKeyDistance(const char* a, const char* b);

// Finds the known key nearest to a name that no reader knows. Offer every candidate; best() is
// the nearest within the distance a misspelling of that length allows (1 up to 4 characters, 2 up
// to 10, else 3; a key that differs in letter case only is always near), the first offered of
// equally near ones; empty when none is near enough.
class ParNearestKey {
 public:
  explicit ParNearestKey(const char* name);
  void offer(const char* candidate);
  void offer(const ParKnownKey& key);
  const std::string& best() const { return best_; }

 private:
  std::string name_;
  std::string digits_;  // the trailing number of the name, tried with numbered keys
  std::string best_;
  int bestDistance_;
};

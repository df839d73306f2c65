// test_xchg_support.h - small helpers of the exchange-file tests: a file with a valid header and a
// one-line rendering of an element that tables of cases compare against.
#pragma once

#include <string>

#include "framework/xchg_lexer.h"

namespace xchgtest {

// The four header lines of a valid exchange file and the empty line writers put after them.
inline std::string header(const std::string& kind = "Geometry") {
  return std::string(xchgBanner) + "\nqDX-Version: 1.0\n" + kind + "\ntester\n\n";
}

// "o:L[7](x=1,t=,k)" style: kind, name, [id] when there is one, then the attributes (key=value,
// key alone without value, "=text" for a method text) in file order.
inline std::string render(const XchgElement& e) {
  std::string s(1, static_cast<char>(e.kind));
  if (e.name != nullptr) s += std::string(":") + e.name;
  if (e.id != nullptr) s += e.kind == 'v' ? std::string("=") + e.id : "[" + std::string(e.id) + "]";
  if (e.kind == 'o' || e.kind == 'm') {
    s += "(";
    for (const XchgAttr* a = e.attrs; a != nullptr; a = a->next) {
      if (a != e.attrs) s += ",";
      if (a->key != nullptr) s += a->key;
      if (a->value != nullptr) s += std::string("=") + a->value;
    }
    s += ")";
  }
  return s;
}

}  // namespace xchgtest

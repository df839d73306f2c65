#!/usr/bin/env python3
"""Generate src/framework/param_keywords.inc, the configuration keyword table of the global
parameter block, from a plain-text key list.

Usage: gen_param_keywords.py KEYLIST [OUTPUT]
  OUTPUT defaults to src/framework/param_keywords.inc beside this script's repository.

Input format (KEYLIST): a text file of four sections, each opened by a header line of its own:

  [keys]           entries separated by ';', in table order, each
                     `*KEY` t [default]
                   with the key in backticks (leading '*', upper case), t one of
                     s short (16-bit), d double, l long (32-bit), v three doubles,
                     w text read as the first word, r text read as the rest of the line,
                   and the default: one number for s, d and l (none means 0), three numbers
                   for v; text keys take their default from [text-defaults] or are empty.
  [text-defaults]  `*KEY` "text" pairs anywhere in the section (other prose is ignored).
  [comment-keys]   the keys written as comment lines: every `*KEY` in the section.
  [length-keys]    the keys scaled with the unit of length: every `*KEY` in the section.

Lines of a section may be joined or wrapped freely. The script checks that keys and field names
are unique, that every comment or length key is a key of the table and that every length key
holds a length (double or three doubles); it stops with a message otherwise.

Field names: the key without '*', split at '_', lower camelCase ("*REPORT_CLASS" becomes
reportClass, "*NCKO_X" becomes nckoX); a first word that begins with a digit moves to the end
("*3DF_DIR" becomes dir3df), since a C++ name cannot begin with a digit.
"""

import os
import re
import sys

# Defaults this implementation chooses where the key list leaves them open.
OWN_DEFAULTS = {
    "*PRG_DIR": "/opt/qdmill",  # installation directory
    "*FILLET_FACTOR": "0",
    "*FILLET_ANGLE": "0",
}

CPP_KEYWORDS = {
    "and", "asm", "auto", "bool", "break", "case", "catch", "char", "class", "const", "continue",
    "default", "delete", "do", "double", "else", "enum", "explicit", "export", "extern", "false",
    "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
    "not", "operator", "or", "private", "protected", "public", "register", "return", "short",
    "signed", "sizeof", "static", "struct", "switch", "template", "this", "throw", "true", "try",
    "typedef", "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "while",
    "xor",
}

KEY_RE = re.compile(r"`(\*[A-Za-z0-9_]+)`")
ENTRY_RE = re.compile(r"^`(\*[A-Z0-9_]+)`\s+([sdlvwr])\b\s*(.*)$")
TEXT_DEFAULT_RE = re.compile(r'`(\*[A-Z0-9_]+)`\s+"([^"]*)"')
NUMBER_RE = re.compile(r"^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$")


def fail(message):
    sys.stderr.write("gen_param_keywords: " + message + "\n")
    sys.exit(1)


def read_sections(path):
    sections = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            stripped = line.strip()
            m = re.match(r"^\[([a-z-]+)\]$", stripped)
            if m:
                current = m.group(1)
                sections[current] = []
                continue
            if current is not None:
                sections[current].append(line.rstrip("\n"))
    for name in ("keys", "text-defaults", "comment-keys", "length-keys"):
        if name not in sections:
            fail("section [%s] missing" % name)
    return {name: " ".join(lines) for name, lines in sections.items()}


def field_name(key):
    words = [w for w in key[1:].split("_") if w]
    if words[0][0].isdigit():
        words = words[1:] + words[:1]
    name = words[0].lower() + "".join(w[:1].upper() + w[1:].lower() for w in words[1:])
    if name in CPP_KEYWORDS:
        name += "Value"
    return name


def cpp_double(text):
    if not NUMBER_RE.match(text):
        fail("not a number: %r" % text)
    value = float(text)
    out = repr(value)
    if "e" not in out and "." not in out:
        out += ".0"
    return out


def cpp_int(text, bits):
    if not re.match(r"^[-+]?\d+$", text):
        fail("not an integer: %r" % text)
    value = int(text)
    if not -(1 << (bits - 1)) <= value < (1 << (bits - 1)):
        fail("integer out of range: %r" % text)
    return str(value)


def cpp_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def parse_rows(sections):
    text_defaults = dict(TEXT_DEFAULT_RE.findall(sections["text-defaults"]))
    comment_keys = KEY_RE.findall(sections["comment-keys"])
    length_keys = KEY_RE.findall(sections["length-keys"])

    rows = []
    for raw in sections["keys"].split(";"):
        entry = raw.strip()
        if not entry:
            continue
        m = ENTRY_RE.match(entry)
        if not m:
            fail("unreadable key entry: %r" % entry)
        key, kind, rest = m.group(1), m.group(2), m.group(3).split()
        rows.append({"key": key, "kind": kind, "default": rest, "field": field_name(key)})

    keys = [r["key"] for r in rows]
    fields = [r["field"] for r in rows]
    for what, items in (("key", keys), ("field name", fields)):
        seen = set()
        for item in items:
            if item in seen:
                fail("duplicate %s %s" % (what, item))
            seen.add(item)
    by_key = {r["key"]: r for r in rows}
    for what, items in (("comment", comment_keys), ("length", length_keys),
                        ("text default", list(text_defaults)), ("own default", list(OWN_DEFAULTS))):
        for key in items:
            if key not in by_key:
                fail("%s key %s is not a key of the table" % (what, key))
    for key in length_keys:
        if by_key[key]["kind"] not in "dv":
            fail("length key %s is not a double" % key)
    for key in text_defaults:
        if by_key[key]["kind"] not in "wr":
            fail("text default for %s, which is no text key" % key)

    comment_set, length_set = set(comment_keys), set(length_keys)
    for r in rows:
        key, kind, default = r["key"], r["kind"], r["default"]
        if not default and key in OWN_DEFAULTS:
            default = OWN_DEFAULTS[key].split() if kind not in "wr" else []
        r["write"] = 0 if key in comment_set else 1
        r["length"] = 1 if key in length_set else 0
        if kind == "s":
            r["args"] = [cpp_int(default[0] if default else "0", 16)]
        elif kind == "l":
            r["args"] = [cpp_int(default[0] if default else "0", 32)]
        elif kind == "d":
            r["args"] = [cpp_double(default[0] if default else "0")]
        elif kind == "v":
            if len(default) != 3:
                fail("%s needs three default numbers" % key)
            r["args"] = [cpp_double(x) for x in default]
        else:
            if default:
                fail("text key %s has an unquoted default %r" % (key, default))
            text = text_defaults.get(key, OWN_DEFAULTS.get(key, ""))
            if len(text) > 255:
                fail("text default of %s is too long" % key)
            r["args"] = [cpp_string(text)]
        if kind in "sdl" and len(default) > 1:
            fail("%s has more than one default number" % key)
    return rows, len(comment_set), len(length_set)


HEADER = """\
// param_keywords.inc - the configuration keywords of the global parameter block, one row per key
// in table order: key, field name, write flag (0: written as a comment line), length flag
// (1: scaled with the unit of length) and the default. Generated by scripts/gen_param_keywords.py
// from a key list and reviewed; the block's fields and the table both follow this row order.
//
// The includer defines the six row macros: PAR_S short, PAR_D double, PAR_L long (32-bit),
// PAR_V three doubles, PAR_W text read as the first word, PAR_R text read as the rest of the line.
"""


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    here = os.path.dirname(os.path.abspath(__file__))
    out_path = argv[2] if len(argv) == 3 else os.path.join(
        here, "..", "src", "framework", "param_keywords.inc")
    rows, n_comment, n_length = parse_rows(read_sections(argv[1]))
    lines = [HEADER]
    for r in rows:
        args = [cpp_string(r["key"]), r["field"], str(r["write"]), str(r["length"])] + r["args"]
        lines.append("PAR_%s(%s)\n" % (r["kind"].upper(), ", ".join(args)))
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(lines))
    sys.stderr.write("%d rows, %d written as comments, %d length keys -> %s\n"
                     % (len(rows), n_comment, n_length, out_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Writes the job parameters of the parameters text (the text `qdmill -P` shows) as Markdown
tables, one per section, for the README.

Usage: param-table.py [parameters.lng]             prints the tables
       param-table.py --check README.md [file.lng]  exit code 1 when the README's tables, between
                                                     its parameter markers, differ from them
"""
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_LNG = ROOT / "examples" / "demo" / "qdRpx5_parameters.lng"
BEGIN = "<!-- job parameters: made by scripts/param-table.py -->"
END = "<!-- end of job parameters -->"


def text_lines(path):
    """The lines of the English section's text (after ': ')."""
    out, inside = [], False
    for raw in pathlib.Path(path).read_text(encoding="utf-8").splitlines():
        if raw.startswith("start "):
            inside = raw.split()[1] == "english"
        elif inside and raw.startswith(":"):
            out.append(raw[2:] if raw.startswith(": ") else raw[1:])
    return out


def tables(path):
    lines = text_lines(path)
    header = next(l for l in lines if l.startswith("name") and "meaning" in l)
    cols = [header.index(w) for w in ("unit", "default", "meaning")]
    md = []
    for line in lines[lines.index(header) + 1:]:
        if not line.strip():
            continue
        if line.startswith("-- ") and line.endswith(" --"):
            md += ["", f"**{line[3:-3].capitalize()}**", "",
                   "| name | unit | default | meaning |", "|---|---|---|---|"]
            continue
        cells = [line[:cols[0]], line[cols[0]:cols[1]], line[cols[1]:cols[2]], line[cols[2]:]]
        cells = [c.strip().replace("|", "\\|") for c in cells]
        md.append(f"| `{cells[0]}` | {cells[1]} | {cells[2]} | {cells[3]} |")
    return "\n".join(md).strip() + "\n"


def main(argv):
    if len(argv) >= 3 and argv[1] == "--check":
        readme = pathlib.Path(argv[2]).read_text(encoding="utf-8")
        lng = argv[3] if len(argv) > 3 else DEFAULT_LNG
        try:
            have = readme[readme.index(BEGIN) + len(BEGIN):readme.index(END)].strip() + "\n"
        except ValueError:
            print(f"param-table: {argv[2]} has no job parameter markers")
            return 1
        if have != tables(lng):
            print(f"param-table: the job parameters of {argv[2]} differ from {lng}; "
                  "run scripts/param-table.py and paste its output between the markers")
            return 1
        print(f"param-table: {argv[2]} lists the job parameters of {lng}")
        return 0
    sys.stdout.write(tables(argv[1] if len(argv) > 1 else DEFAULT_LNG))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

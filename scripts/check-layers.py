#!/usr/bin/env python3
"""Checks that the src/ folders stack one way and that no modules include each other in a loop.

The order of the folders is read from the layout table of README.md: the rows naming `src/<folder>/`
are listed from the floor up, and a module may include headers of its own folder and of folders
listed before it. A module is a file pair src/<folder>/<name>.h/.cpp (with any .inc of the same
name); an include loop is a cycle in the graph of modules, whichever files of a module take part.

The check sees only what it can name, so it also refuses what would slip past it: a relative
include ("../cycles/x.h", "./x.h"), a project header included with angle brackets
(<framework/vec.h>, <qdmill/qdmill.h>), and a source file that is not directly in a folder of
src/ (src/<folder>/<sub>/x.h, src/x.cpp). Such includes still count for the layers and loops.

Usage: check-layers.py [ROOT]   (ROOT defaults to the project folder holding this script)
Prints every include between folders with its verdict when -v is given; prints each violation and
each loop, and exits 1 if there is any, 0 otherwise.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)', re.M)
SOURCE_EXT = (".h", ".hpp", ".hh", ".c", ".cc", ".cpp", ".cxx", ".inc")
ROW = re.compile(r'^\|\s*`src/([A-Za-z0-9_]+)/`\s*\|', re.M)


def read_order(root):
    """Folders of the README layout table, floor first."""
    try:
        with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
            text = f.read()
    except OSError as err:
        sys.exit(f"check-layers: cannot read README.md: {err}")
    order = ROW.findall(text)
    if not order:
        sys.exit("check-layers: README.md has no layout rows naming `src/<folder>/`")
    return order


def source_files(src):
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".h", ".cpp", ".inc")) and os.path.isfile(os.path.join(path, name)):
                yield folder, name


def stray_files(src):
    """Source files that are not directly in a folder of src/: in src/ itself or deeper down."""
    for top, dirs, names in os.walk(src):
        dirs.sort()
        depth = os.path.relpath(top, src).count(os.sep) + (top != src)
        if depth == 1:
            continue
        for name in sorted(names):
            if name.endswith(SOURCE_EXT):
                yield os.path.relpath(os.path.join(top, name), src).replace(os.sep, "/")


def module_of(folder, name):
    return f"{folder}/{os.path.splitext(name)[0]}"


def main(argv):
    verbose = "-v" in argv
    args = [a for a in argv if a != "-v"]
    root = os.path.abspath(args[0]) if args else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    src = os.path.join(root, "src")
    order = read_order(root)
    rank = {folder: i for i, folder in enumerate(order)}
    files = list(source_files(src))
    existing = {f"{folder}/{name}" for folder, name in files}

    problems = []
    for rel in stray_files(src):
        if "/" in rel:
            problems.append(f"src/{rel}: in a sub-folder of src/{rel.partition('/')[0]}/: "
                            "modules lie directly in their folder")
        else:
            problems.append(f"src/{rel}: outside the folders of src/: modules lie in a folder")
    public = os.path.join(root, "include")
    graph = {}
    for folder, name in files:
        if folder not in rank:
            problems.append(f"src/{folder}/{name}: folder `{folder}` is not in the README layout table")
            continue
        here = module_of(folder, name)
        graph.setdefault(here, set())
        with open(os.path.join(src, folder, name), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for match in INCLUDE.finditer(text):
            quoted = match.group(1) is not None
            written = match.group(1) if quoted else match.group(2)
            line = text.count("\n", 0, match.start(1 if quoted else 2)) + 1
            shown = f'"{written}"' if quoted else f"<{written}>"
            where = f"src/{folder}/{name}:{line}: includes {shown}"
            parts = written.split("/")
            if quoted and ("." in parts[:-1] or ".." in parts[:-1]):
                # Resolved against the including file's folder, as the compiler does first.
                resolved = os.path.relpath(os.path.normpath(os.path.join(src, folder, written)), src)
                resolved = resolved.replace(os.sep, "/")
                inside = not resolved.startswith("../")
                hint = f' (name it "{resolved}")' if inside else ""
                problems.append(f"{where}: a relative include{hint}")
                if not inside:
                    continue
                target = resolved
            elif not quoted:
                if written in existing or os.path.isfile(os.path.join(public, written)):
                    problems.append(f"{where}: a project header in angle brackets "
                                    f'(write "{written}")')
                if written not in existing:
                    continue
                target = written
            else:
                target = written
            if "/" in target:
                tfolder, _, rest = target.partition("/")
                if f"{tfolder}/{rest}" not in existing:
                    continue  # a public header (qdmill/...) or a test's own header
            else:
                tfolder, rest = folder, target
                if f"{tfolder}/{rest}" not in existing:
                    continue
            there = module_of(tfolder, rest)
            if there != here:
                graph[here].add(there)
            if tfolder == folder:
                continue
            if tfolder not in rank:
                problems.append(f"{where}: folder `{tfolder}` is not in the README layout table")
            elif rank[tfolder] > rank[folder]:
                problems.append(f"{where}: `{tfolder}` stacks above `{folder}`")
            elif verbose:
                print(f"ok  {where}")

    # Loops: strongly connected components with more than one module (Tarjan, iterative).
    index, low, on_stack, stack, loops = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in graph:
                    continue
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph[child]))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    loops.append(sorted(component))
    for loop in loops:
        problems.append("include loop among modules: " + ", ".join(loop))

    for p in problems:
        print(p)
    if problems:
        print(f"check-layers: {len(problems)} problem(s); folder order: {' -> '.join(order)}")
        return 1
    print(f"check-layers: ok ({len(graph)} modules; folder order: {' -> '.join(order)})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Checks the #include "..." lines of a source tree against its layer order.

usage: check-layers.py SRC_DIR LAYERS_FILE

A file may include from its own folder and from folders listed before it in LAYERS_FILE.
Files may not include each other in a cycle; a header and the source file of the same name
beside it count as one, since a cycle through either ties the two parts together just the same.
A cycle through several folders always takes an upward include, which is named instead of
every cycle it closes; so the cycles named are those within one folder.
Exit 1 with one line per fault, 0 when there is none, 2 when the input is unusable.
"""
import os
import re
import sys
from collections import deque

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def unusable(message):
    print(message, file=sys.stderr)
    sys.exit(2)


def read_layers(path):
    layers = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                layers.append(line.strip("/"))
    if not layers:
        unusable(f"{path}: no layers listed")
    return layers


def source_files(root):
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(folder, name), root)


def resolve(root, including, name, include_roots):
    """The file under root that the compiler takes for `#include "name"`, or None."""
    # Quoted includes are looked up beside the including file first, then on the include path.
    for base in [os.path.dirname(including)] + include_roots:
        candidate = os.path.normpath(os.path.join(base, name))
        if not candidate.startswith("..") and os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def unit_of(path):
    return os.path.splitext(path)[0]


def cycles(edges):
    """Cycles among the units that reach each other, each as a closed path."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []

    def connect(v):
        # Iterative Tarjan: deep include chains must not hit Python's recursion limit.
        work = [(v, iter(sorted(edges.get(v, {}))))]
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        while work:
            node, children = work[-1]
            for w in children:
                if w not in index:
                    index[w] = low[w] = len(index)
                    stack.append(w)
                    on_stack.add(w)
                    work.append((w, iter(sorted(edges.get(w, {})))))
                    break
                if w in on_stack:
                    low[node] = min(low[node], index[w])
            else:
                work.pop()
                if work:
                    parent = work[-1][0]
                    low[parent] = min(low[parent], low[node])
                if low[node] == index[node]:
                    group = set()
                    while True:
                        w = stack.pop()
                        on_stack.discard(w)
                        group.add(w)
                        if w == node:
                            break
                    if len(group) > 1:
                        groups.append(group)

    for v in sorted(edges):
        if v not in index:
            connect(v)

    # The shortest cycle through each unit of a group, so that every pair of units that
    # include each other is named, not only one cycle of a tangle.
    found = set()
    for group in groups:
        for start in sorted(group):
            previous = {start: None}
            queue = deque([start])
            while queue:
                v = queue.popleft()
                if start in edges.get(v, {}):
                    path = [v]
                    while previous[path[-1]] is not None:
                        path.append(previous[path[-1]])
                    path.reverse()
                    first = path.index(min(path))
                    found.add(tuple(path[first:] + path[:first]))
                    break
                for w in sorted(edges.get(v, {})):
                    if w in group and w not in previous:
                        previous[w] = v
                        queue.append(w)
    found = [list(cycle) + [cycle[0]] for cycle in sorted(found)]
    return found


def main():
    if len(sys.argv) != 3:
        unusable(__doc__.split("\n\n")[1])
    root, layers_file = sys.argv[1], sys.argv[2]
    if not os.path.isdir(root):
        unusable(f"{root}: no such folder")
    if not os.path.isfile(layers_file):
        unusable(f"{layers_file}: no such file")
    layers = read_layers(layers_file)
    rank = {layer: i for i, layer in enumerate(layers)}
    include_roots = list(dict.fromkeys(layer.split("/")[0] for layer in layers))
    shown = os.path.basename(os.path.normpath(os.path.abspath(root)))

    faults = []
    edges = {}  # unit -> {included unit: (file, line, include)}
    for path in source_files(root):
        folder = os.path.dirname(path)
        if folder not in rank:
            faults.append(f"{shown}/{path}: its folder {folder or '.'} is not in {layers_file}")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            lines = list(f)
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = resolve(root, path, match.group(1), include_roots)
            if target is None:
                continue  # not a file of this tree
            where = (f"{shown}/{path}", number, match.group(1))
            target_folder = os.path.dirname(target)
            if rank.get(target_folder, -1) > rank[folder]:
                faults.append(f'{where[0]}:{number}: includes "{match.group(1)}" from '
                              f"{target_folder}, a layer above {folder}")
            elif unit_of(target) != unit_of(path):
                edges.setdefault(unit_of(path), {}).setdefault(unit_of(target), where)

    for cycle in cycles(edges):
        steps = [edges[a][b] for a, b in zip(cycle, cycle[1:])]
        faults.append("include cycle: " + " -> ".join(cycle) + " ("
                      + "; ".join(f'{f}:{n} includes "{i}"' for f, n, i in steps) + ")")

    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include faults; the layer order is in {layers_file}")
        return 1
    print(f"every include of {shown}/ keeps to the layers and no files include each other")
    return 0


if __name__ == "__main__":
    sys.exit(main())

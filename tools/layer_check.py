#!/usr/bin/env python3
"""One-way layers over the source tree.

Folders of src/ are layers, lowest first:

    platform -> board -> tablebases -> eval -> search -> book -> frontend -> main

A file may include headers of its own folder and of lower ones only
(src/main.cpp is the top layer). Inside the front end, modules (x.h with
x.cpp) include each other in layers too: a cycle among them fails as well.
(The lower folders each hold one object whose members are spread over
several files, so their files include each other by design.)

Prints the front end's module layers bottom up, then every include against
the order, and exits 1 if there is any.

usage: layer_check.py [src folder]
"""
import os
import re
import sys

LAYERS = ["platform", "board", "tablebases", "eval", "search", "book", "frontend", "main"]
LAYERED_MODULES = ["frontend"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/([A-Za-z0-9_]+)\.h"', re.M)


def read_includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def folder_files(src):  # (folder, module, path) of every source file
    for folder in sorted(os.listdir(src)):
        full = os.path.join(src, folder)
        if os.path.isdir(full):
            for name in sorted(os.listdir(full)):
                module, ext = os.path.splitext(name)
                if ext in (".h", ".cpp"):
                    yield folder, module, os.path.join(full, name)
        elif os.path.splitext(folder)[1] in (".h", ".cpp"):
            yield "main", os.path.splitext(folder)[0], full


def find_cycle(graph, nodes):  # a dependency cycle among nodes, as a list
    path, on_path, done = [], set(), set()

    def visit(node):
        path.append(node)
        on_path.add(node)
        for dep in sorted(graph[node] & nodes):
            if dep in on_path:
                return path[path.index(dep):] + [dep]
            if dep not in done:
                found = visit(dep)
                if found:
                    return found
        on_path.discard(path.pop())
        done.add(node)
        return None

    for node in sorted(nodes):
        if node not in done:
            found = visit(node)
            if found:
                return found
    return []


def module_layers(folder, graph):  # printed layers; the problems found
    problems = []
    for module, used in sorted(graph.items()):
        for missing in sorted(used - graph.keys()):
            problems.append("%s/%s includes unknown header %s/%s.h" % (folder, module, folder, missing))
    placed, left, layer = set(), set(graph), 0
    while left:
        ready = sorted(m for m in left if graph[m] & graph.keys() <= placed)
        if not ready:
            problems.append("cycle in %s: %s" % (folder, " -> ".join(find_cycle(graph, left))))
            break
        print("%s layer %d: %s" % (folder, layer, " ".join(ready)))
        placed.update(ready)
        left.difference_update(ready)
        layer += 1
    return problems


def check(src):
    problems, graphs, crossing = [], {}, 0
    for folder, module, path in folder_files(src):
        rank = LAYERS.index(folder) if folder in LAYERS else None
        if rank is None:
            problems.append("%s: folder %s has no place in the layer order" % (path, folder))
            continue
        graph = graphs.setdefault(folder, {})
        graph.setdefault(module, set())
        for target, header in read_includes(path):
            if target not in LAYERS:
                problems.append("%s includes %s/%s.h: no such layer" % (path, target, header))
            elif LAYERS.index(target) > rank:
                problems.append("%s includes %s/%s.h: %s is above %s" % (path, target, header, target, folder))
            elif target != folder:
                crossing += 1
            elif header != module:
                graph[module].add(header)
    for folder in LAYERED_MODULES:
        if folder in graphs:
            problems += module_layers(folder, graphs[folder])
    print("%d includes between folders" % crossing)
    return problems


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    print("order: " + " -> ".join(LAYERS))
    problems = check(src)
    for p in problems:
        print("against the order: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

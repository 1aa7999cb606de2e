#!/usr/bin/env python3
"""Include layers of the front end: a module (x.h with x.cpp) may include
only modules of lower layers. Prints the layers bottom up and exits 1 when
two modules depend on each other, directly or through others.

usage: frontend_deps.py [src/frontend folder]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"frontend/([A-Za-z0-9_]+)\.h"', re.M)


def read_graph(folder):  # module -> set of front-end modules it includes
    graph = {}
    for name in sorted(os.listdir(folder)):
        module, ext = os.path.splitext(name)
        if ext not in (".h", ".cpp"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
            used = set(INCLUDE.findall(f.read()))
        graph.setdefault(module, set()).update(used - {module})
    for module, used in graph.items():
        missing = used - graph.keys()
        if missing:
            sys.exit("%s includes unknown front-end headers: %s" % (module, ", ".join(sorted(missing))))
    return graph


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


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src", "frontend")
    graph = read_graph(folder)
    placed, left, layer = set(), set(graph), 0
    while left:
        ready = sorted(m for m in left if graph[m] <= placed)
        if not ready:
            print("cycle: " + " -> ".join(find_cycle(graph, left)))
            return 1
        print("layer %d: %s" % (layer, " ".join(ready)))
        placed.update(ready)
        left.difference_update(ready)
        layer += 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Finds circles among the program's modules (src/): a module is a header and
its source (a/b.h with a/b.cpp); module A depends on module B when either of
A's files includes B's header. Prints each circle and exits 1 when one exists,
so that a lower layer never reaches back up through a third file."""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def modules():
    graph = {}
    for folder, _, files in os.walk(ROOT):
        for name in files:
            stem, ext = os.path.splitext(name)
            if ext not in (".h", ".cpp"):
                continue
            path = os.path.join(folder, name)
            module = os.path.relpath(os.path.join(folder, stem), ROOT)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            edges = graph.setdefault(module, set())
            for target in INCLUDE.findall(text):
                other = os.path.splitext(target)[0]
                if other != module:
                    edges.add(other)
    return graph


def circles(graph):
    """Tarjan's strongly connected components larger than one module."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(graph.get(node, ())):
            if nxt not in graph:
                continue
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            part = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                part.append(top)
                if top == node:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def path_within(graph, part):
    """One circle through the first module of a component, for the message."""
    members = set(part)
    start = part[0]
    previous = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for nxt in sorted(graph[node]):
            if nxt == start:
                chain = [node]
                while previous[chain[-1]] is not None:
                    chain.append(previous[chain[-1]])
                return list(reversed(chain)) + [start]
            if nxt in members and nxt not in previous:
                previous[nxt] = node
                queue.append(nxt)
    return part


def main():
    graph = modules()
    found = circles(graph)
    for part in found:
        print("circle of includes: " + " -> ".join(path_within(graph, part)))
    if found:
        return 1
    print("includes: no circle among %d modules" % len(graph))
    return 0


if __name__ == "__main__":
    sys.exit(main())

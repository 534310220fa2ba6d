#!/usr/bin/env python3
"""Fails when files include each other (directly or round a longer loop) or
when source folders do: a folder whose files include a second folder's, while
the second folder's files include the first one's, has no layer of its own.

CMake already refuses an include of a library the target does not link; this
finds the loops the link rules cannot see: between files of one folder, and
between folders that share one library target.

Usage: scripts/check-includes.py [top]   (top defaults to the checkout)
"""
import os
import re
import sys

ROOTS = ("src", "tests", "bench", "fuzz", "tools")
# Where a quoted include is looked for after the including file's own folder.
INCLUDE_DIRS = ("src", "tests", "tools")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def source_files(top):
    for root in ROOTS:
        for folder, _, names in os.walk(os.path.join(top, root)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(folder, name), top)


def include_graph(top):
    files = sorted(source_files(top))
    known = set(files)
    graph = {}
    for f in files:
        with open(os.path.join(top, f), encoding="utf-8", errors="replace") as text:
            names = INCLUDE.findall(text.read())
        targets = set()
        for name in names:
            for base in (os.path.dirname(f),) + INCLUDE_DIRS:
                candidate = os.path.normpath(os.path.join(base, name))
                if candidate in known:
                    targets.add(candidate)
                    break
        graph[f] = targets
    return graph


def loops(graph):
    """Strongly connected components of more than one node (Tarjan, iterative)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in graph:
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for nxt in successors:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return found


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    graph = include_graph(top)
    folders = {}
    for f, targets in graph.items():
        edges = folders.setdefault(os.path.dirname(f), set())
        edges.update(os.path.dirname(t) for t in targets if os.path.dirname(t) != os.path.dirname(f))
    failed = False
    for component in loops(graph):
        failed = True
        print("files include each other:", " ".join(component))
    for component in loops(folders):
        failed = True
        print("folders include each other:", " ".join(component))
        for folder in component:
            for f, targets in sorted(graph.items()):
                if os.path.dirname(f) == folder:
                    for t in sorted(targets):
                        if os.path.dirname(t) in component and os.path.dirname(t) != folder:
                            print(f"  {f} -> {t}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

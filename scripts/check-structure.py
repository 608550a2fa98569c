#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the shape of the house that the compiler does not check: how long the files are, that
the converter link, the runs and the document keep no state of their own outside their objects,
which libraries each library may link, and that the fits are worked out in one place each.
Prints each breach and exits 1 when there is one. Run from anywhere; reads the source tree only."""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SRC = ROOT / "src"

LONGEST_FILE = 450
LONGEST_WINDOW = 350
WINDOW_FILE = SRC / "app" / "form1.cpp"

# Files that must keep no state in globals or function-level statics.
STATELESS = sorted(
    list((SRC / "converter").glob("*.cpp"))
    + list((SRC / "converter").glob("*.h"))
    + [SRC / "acquisition" / name for name in ("runs.cpp", "runs.h", "live_view.cpp", "live_view.h",
                                               "measurement.cpp", "measurement.h")]
    + [SRC / "app" / name for name in ("measurement_document.cpp", "measurement_document.h")]
)

# The libraries of ours that each library may link, and nothing else of ours.
OURS = {"common", "converter", "acquisition", "analysis", "graph", "storage", "lesson", "app"}
MAY_LINK = {
    "common": set(),
    "converter": {"common"},
    "acquisition": {"common", "converter"},
    "analysis": {"common"},
    "graph": {"common"},
    "storage": {"common"},
    "lesson": {"common", "analysis", "storage"},
    "app": {"common", "converter", "acquisition", "analysis", "graph", "storage", "lesson"},
}

# Each fit is called at exactly one place under src/, outside the file that defines it.
ONE_PLACE = {
    "fit_velocity_line": SRC / "analysis" / "least_squares.cpp",
    "fit_statistics": SRC / "analysis" / "fit_statistics.cpp",
    "fit_positions": SRC / "analysis" / "position_fit.cpp",
}


def without_comments(text):
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r'"(?:\\.|[^"\\])*"', '""', text)
    return re.sub(r"//[^\n]*", "", text)


def statements_with_scope(text):
    """Yields (kinds of the enclosing blocks, statement) for each statement ended by ';' or
    opening a block, the kinds being 'namespace', 'type', 'function' or 'other'."""
    stack = []
    current = ""
    for char in text:
        if char == "{":
            head = " ".join(current.split())
            if re.match(r"^(inline\s+)?namespace\b", head) or head.startswith('extern "C"'):
                kind = "namespace"
            elif re.search(r"\b(class|struct|union|enum)\b[^()]*$", head):
                kind = "type"
            elif head.endswith(")") or re.search(r"\)\s*(const|override|noexcept|final|\s)*$", head) \
                    or re.search(r"\)\s*:", head):
                kind = "function"
            elif "function" in stack:
                kind = "other"
            else:
                kind = "other"
            stack.append(kind)
            current = ""
        elif char == "}":
            if stack:
                stack.pop()
            current = ""
        elif char == ";":
            yield list(stack), " ".join(current.split())
            current = ""
        else:
            current += char


def state_breaches(path):
    breaches = []
    text = without_comments(path.read_text(encoding="utf-8"))
    text = "\n".join(line for line in text.splitlines() if not line.lstrip().startswith("#"))
    for scopes, statement in statements_with_scope(text):
        if not statement or re.match(r"^(using|typedef|friend|template|return|public:|private:|protected:)", statement):
            continue
        in_function = "function" in scopes
        at_namespace = all(kind == "namespace" for kind in scopes)
        constant = re.search(r"\b(constexpr|const)\b", statement.split("=")[0]) is not None
        if in_function and re.match(r"^static\b", statement) and not constant:
            breaches.append(f"{path.relative_to(ROOT)}: a function-level static: {statement}")
        elif at_namespace and not constant:
            declaration = statement.split("=")[0].strip()
            # A function's declaration or a type's is no state; a variable is.
            if "(" in declaration or re.match(r"^(class|struct|enum|union|namespace)\b", declaration):
                continue
            if re.match(r"^(extern\s+)?[\w:<>,\s]+[\s*&]+\w+(\[[^\]]*\])?$", declaration):
                breaches.append(f"{path.relative_to(ROOT)}: a global: {statement}")
    return breaches


def linked_libraries(cmake_file, target):
    text = without_comments(cmake_file.read_text(encoding="utf-8")).replace("\n", " ")
    libraries = set()
    for match in re.finditer(r"target_link_libraries\(\s*" + re.escape(target) + r"\s+([^)]*)\)", text):
        for word in match.group(1).split():
            if word in OURS:
                libraries.add(word)
    return libraries


def main():
    breaches = []
    for path in sorted(SRC.rglob("*")):
        if path.suffix in (".cpp", ".h") and path.is_file():
            lines = len(path.read_text(encoding="utf-8").splitlines())
            if lines > LONGEST_FILE:
                breaches.append(f"{path.relative_to(ROOT)}: {lines} lines, more than {LONGEST_FILE}")
    window_lines = len(WINDOW_FILE.read_text(encoding="utf-8").splitlines())
    if window_lines > LONGEST_WINDOW:
        breaches.append(f"{WINDOW_FILE.relative_to(ROOT)}: {window_lines} lines, more than {LONGEST_WINDOW}")

    for path in STATELESS:
        if path.exists():
            breaches += state_breaches(path)

    for library, allowed in MAY_LINK.items():
        linked = linked_libraries(SRC / library / "CMakeLists.txt", library)
        for extra in sorted(linked - allowed):
            breaches.append(f"src/{library}/CMakeLists.txt: {library} links {extra}")

    # The lesson is a library of values: no window, nothing of the window's folder.
    for path in sorted((SRC / "lesson").glob("*")):
        if path.suffix in (".cpp", ".h"):
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if re.match(r'\s*#\s*include\s*[<"](app/|form1\.h|QtWidgets|QWidget|QApplication|QUndo)', line):
                    breaches.append(f"{path.relative_to(ROOT)}:{number}: the lesson includes {line.strip()}")
    if re.search(r"Widgets|Gui", (SRC / "lesson" / "CMakeLists.txt").read_text(encoding="utf-8")):
        breaches.append("src/lesson/CMakeLists.txt: the lesson links Qt Gui or Qt Widgets")

    for function, home in ONE_PLACE.items():
        places = []
        for path in sorted(SRC.rglob("*.cpp")):
            if path == home:
                continue
            text = without_comments(path.read_text(encoding="utf-8"))
            for number, line in enumerate(text.splitlines(), 1):
                if re.search(r"\b" + function + r"\s*\(", line):
                    places.append(f"{path.relative_to(ROOT)}:{number}")
        if len(places) != 1:
            breaches.append(f"{function} is called at {len(places)} places, not one: {', '.join(places)}")

    for breach in breaches:
        print(breach)
    if breaches:
        print(f"{len(breaches)} breach(es) of the house's shape")
        return 1
    print("The house's shape holds: file lengths, state, link lists, one place for each fit.")
    return 0


if __name__ == "__main__":
    sys.exit(main())

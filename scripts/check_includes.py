#!/usr/bin/env python3
"""Fails on an include that goes against the library graph of src/.

Each folder of src/ is one library; a file may include from its own folder and from the folders
below its own in the graph, never from one above or beside it. docs/architecture.md draws the
same graph. Exits 1 with one line per include that breaks it.
"""
import pathlib
import re
import sys

# Folder -> the folders it may include from besides itself. Keep in step with src/CMakeLists.txt.
ALLOWED = {
    "base": set(),
    "log": {"base"},
    "trust": {"base"},
    "net": {"log", "base"},
    "bridge": {"log", "base"},
    "download": {"trust", "net", "bridge", "log", "base"},
    "install": {"trust", "bridge", "log", "base"},
    "diag": {"net", "bridge", "log", "base"},
    "app": {"download", "install", "diag", "trust", "net", "bridge", "log", "base"},
}

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "src"
include = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)
problems = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or not path.is_file():
        continue
    folder = path.relative_to(src).parts[0]
    if folder not in ALLOWED:
        problems.append(f"{path.relative_to(root)}: src/{folder} is not in the library graph")
        continue
    text = path.read_text(encoding="utf-8")
    for match in include.finditer(text):
        target = match.group(1)
        if target != folder and target not in ALLOWED[folder] and target in ALLOWED:
            line = text.count("\n", 0, match.start()) + 1
            problems.append(f"{path.relative_to(root)}:{line}: src/{folder} may not include "
                            f"from src/{target}")
for problem in problems:
    print(f"includes: {problem}")
sys.exit(1 if problems else 0)

#!/usr/bin/env python3
"""Fails on what goes against the library graph of src/ besides includes (check_includes.py).

- Link edges: a library's CMake file links only its own folder's targets, and only to the
  libraries its folder may include from; a lower library's file never names a higher one's
  target (adding to the top target from below hides the edge from the graph).
- Forward declarations: `class X;` in one library of a type another library defines is a
  dependency too, held to the same graph. FORWARD_ONLY lists the names a library may take from
  one it may not include from.
- Portable code never includes an OS header: only backend files (named after the technology,
  BACKEND_SUFFIXES) include the system's or the desktop's headers, or test for a platform.
Exits 1 with one line per problem.
"""
import ast
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "src"

# The graph itself lives in check_includes.py; read it without running that script.
_tree = ast.parse((root / "scripts/check_includes.py").read_text(encoding="utf-8"))
ALLOWED = next(ast.literal_eval(node.value) for node in _tree.body
               if isinstance(node, ast.Assign) and getattr(node.targets[0], "id", "") == "ALLOWED")

# bridge's ActionContext carries trust's records of what this run verified, by pointer only.
FORWARD_ONLY = {"bridge": {"trust"}}

# A file whose name ends so is a backend and may include the system's headers.
BACKEND_SUFFIXES = (
    "_posix", "_linux", "_win", "_gtk", "_webkitgtk", "_webview2", "_flock", "_mutex", "_curl",
    "_winhttp", "_bits", "_gio", "_logind", "_openssl", "_cryptoapi", "_cng", "_libzip", "_isal",
    "_zlib", "_zstd", "_xz", "_bzip2",
)
OS_HEADER = re.compile(
    r"^\s*#\s*include\s*<("
    r"windows\.h|win[a-z0-9]*\.h|ws2[a-z]*\.h|objbase\.h|unknwn\.h|wrl/[^>]+|sh[a-z]+\.h|"
    r"exdisp\.h|servprov\.h|sddl\.h|aclapi\.h|dwmapi\.h|bits\.h|bcrypt\.h|softpub\.h|"
    r"process\.h|WebView2\.h|unistd\.h|fcntl\.h|sys/[^>]+|spawn\.h|dlfcn\.h|pthread\.h|dirent\.h|"
    r"poll\.h|pwd\.h|grp\.h|termios\.h|netdb\.h|netinet/[^>]+|arpa/[^>]+|uuid/uuid\.h|cpuid\.h|"
    r"gtk/[^>]+|gdk/[^>]+|gio/[^>]+|glib\.h|glib/[^>]+|webkit2/[^>]+)>", re.MULTILINE)
PLATFORM_TEST = re.compile(r"^\s*#\s*(?:if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|"
                           r"__unix__|__APPLE__|_MSC_VER|__MINGW32__)\b", re.MULTILINE)

problems = []


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def may_use(folder, target):
    return target == folder or target in ALLOWED.get(folder, set())


# Link edges. Targets belong to the folder whose CMake file makes them; vlm_host is made by
# src/CMakeLists.txt for app's sources.
owner = {"vlm_host": "app"}
make = re.compile(r"\b(?:add_library|add_executable|vlm_built_in_trust)\(\s*([\w-]+)")
cmake_files = {folder: src / folder / "CMakeLists.txt" for folder in ALLOWED}
for folder, path in cmake_files.items():
    if path.is_file():
        for name in make.findall(path.read_text(encoding="utf-8")):
            owner[name] = folder
command = re.compile(r"\b(target_\w+|add_dependencies)\(([^)]*)\)", re.DOTALL)
for folder, path in cmake_files.items():
    if not path.is_file():
        continue
    text = re.sub(r"#[^\n]*", "", path.read_text(encoding="utf-8"))
    for match in command.finditer(text):
        words = match.group(2).split()
        where = f"{path.relative_to(root)}:{line_of(text, match.start())}"
        if not words:
            continue
        subject = words[0]
        if owner.get(subject, folder) != folder:
            problems.append(f"{where}: src/{folder} changes {subject}, a target of "
                            f"src/{owner[subject]}")
            continue
        for word in words[1:]:
            target = owner.get(word)
            if target and not may_use(folder, target):
                problems.append(f"{where}: {subject} (src/{folder}) links {word} of "
                                f"src/{target}, which src/{folder} may not use")

# Forward declarations and OS headers.
defined = {}
definition = re.compile(r"^(?:class|struct)\s+(?:\[\[\w+\]\]\s+)?(\w+)\b[^;]*\{", re.MULTILINE)
forward = re.compile(r"^(?:class|struct)\s+(\w+)\s*;", re.MULTILINE)
files = [path for path in sorted(src.rglob("*"))
         if path.suffix in (".h", ".cpp") and path.is_file()
         and path.relative_to(src).parts[0] in ALLOWED]
texts = {path: path.read_text(encoding="utf-8") for path in files}
for path, text in texts.items():
    if path.suffix == ".h":
        for name in definition.findall(text):
            defined.setdefault(name, set()).add(path.relative_to(src).parts[0])
for path, text in texts.items():
    folder = path.relative_to(src).parts[0]
    where = path.relative_to(root)
    for match in forward.finditer(text):
        homes = defined.get(match.group(1), set())
        if folder in homes:
            continue
        for home in sorted(homes):
            if not may_use(folder, home) and home not in FORWARD_ONLY.get(folder, set()):
                problems.append(f"{where}:{line_of(text, match.start())}: src/{folder} declares "
                                f"{match.group(1)} of src/{home}, which it may not use")
    if path.stem.endswith(BACKEND_SUFFIXES):
        continue
    for match in OS_HEADER.finditer(text):
        problems.append(f"{where}:{line_of(text, match.start())}: portable code includes the OS "
                        f"header <{match.group(1)}>; only a backend file may")
    for match in PLATFORM_TEST.finditer(text):
        problems.append(f"{where}:{line_of(text, match.start())}: portable code tests for "
                        f"{match.group(1)}; put the difference in a backend file")

for problem in problems:
    print(f"layering: {problem}")
sys.exit(1 if problems else 0)

#!/usr/bin/env python3
"""Holds the page's result codes in the code and in the page contract together.

Every code listed in src/base/page_results.h must appear in a `result` column of a table in
docs/page-contract.md, and every number in such a column must be in the list. A cell that names
a class of codes in words ("the program's exit code") is not a code and is skipped.

The codes of our own (the header's `own` namespace) must lie where no backend passes a number
through: above every 16-bit number (Win32 errors, the low word of a platform failure code) and
outside the HTTP ranges; and src/ must never squeeze one into a platform-shaped failure code
(HResultFromWin32, HResultFromHttpStatus, LowWord keep 16 bits only).
Exits 1 with one line per disagreement.
"""
import pathlib
import re
import sys

root = \
    pathlib.Path(__file__).resolve().parent.parent
header = (root / "src/base/page_results.h").read_text(encoding="utf-8")
contract = (root / "docs/page-contract.md").read_text(encoding="utf-8")

# The list: single codes, then ranges.
codes = set()
for name, value in re.findall(r"constexpr uint32_t (k\w+) = (0x[0-9A-Fa-f]+|\d+);", header):
    codes.add(int(value, 0))
ranges = set()
for name, first, last in re.findall(r"constexpr StatusRange (k\w+)\{(\d+), (\d+)\};", header):
    ranges.add((int(first), int(last)))

# The tables: a row of cells after a header row that has a `result` column.
CODE_CELL = re.compile(r"^[\d\s,–\-…]+$")
documented_codes = set()
documented_ranges = set()
column = None
for line in contract.splitlines():
    if not line.startswith("|"):
        column = None
        continue
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if column is None:
        column = cells.index("`result`") if "`result`" in cells else -1
        continue
    if column < 0 or column >= len(cells) or set(cells[column]) <= set("-: "):
        continue
    cell = cells[column]
    if not CODE_CELL.match(cell):
        continue
    for first, last in re.findall(r"(\d+)\s*[–-]\s*(\d+)", cell):
        documented_ranges.add((int(first), int(last)))
    for single in re.sub(r"\d+\s*[–-]\s*\d+", "", cell).replace("…", "").split(","):
        if single.strip():
            documented_codes.add(int(single))

# Our own codes, and what a backend may pass through unchanged.
own_block = re.search(r"inline namespace own \{(.*?)\}  // namespace own", header, re.DOTALL)
own = dict(re.findall(r"constexpr uint32_t (k\w+) = (0x[0-9A-Fa-f]+|\d+);",
                      own_block.group(1) if own_block else ""))
NOTHING_TO_EXCHANGE = 0xFFFFFFFF


def passed_through(code):
    return code <= 0xFFFF or any(first <= code <= last for first, last in ranges)


problems = []
if not own_block:
    problems.append("src/base/page_results.h has no `inline namespace own` for the codes of our own")
for name, value in sorted(own.items()):
    code = int(value, 0)
    if passed_through(code) or code == NOTHING_TO_EXCHANGE:
        problems.append(f"{name} = {code} is a code of our own that a backend can pass through; "
                        "take one from 65536 upward")
for name, value in re.findall(r"constexpr uint32_t (k\w+) = (0x[0-9A-Fa-f]+|\d+);", header):
    code = int(value, 0)
    if name not in own and not passed_through(code) and code != NOTHING_TO_EXCHANGE:
        problems.append(f"{name} = {code} is above every platform number; declare it in the "
                        "`own` namespace")
squeeze = re.compile(r"\b(HResultFromWin32|HResultFromHttpStatus|LowWord)\s*\(\s*"
                     r"(?:page_result::)?(" + "|".join(own) + r")\b") if own else None
for path in sorted((root / "src").rglob("*")):
    if squeeze is None or path.suffix not in (".h", ".cpp") or not path.is_file():
        continue
    text = path.read_text(encoding="utf-8")
    for match in squeeze.finditer(text):
        line = text.count("\n", 0, match.start()) + 1
        problems.append(f"{path.relative_to(root)}:{line}: {match.group(1)} cuts {match.group(2)} "
                        "to 16 bits; use HResultFromOwnCode")
for code in sorted(documented_codes - codes):
    problems.append(f"docs/page-contract.md answers {code}, which src/base/page_results.h lacks")
for code in sorted(codes - documented_codes):
    problems.append(f"src/base/page_results.h lists {code}, which no table of docs/page-contract.md has")
for first, last in sorted(documented_ranges ^ ranges):
    where = "docs/page-contract.md" if (first, last) in documented_ranges else "src/base/page_results.h"
    problems.append(f"the range {first}-{last} is in {where} only")
for problem in problems:
    print(f"page results: {problem}")
sys.exit(1 if problems else 0)

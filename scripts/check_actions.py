#!/usr/bin/env python3
"""Holds every place that names the page's actions to the registry.

The registry is what src/ registers (`actions.Add("name", Reach::k…, …)` inside a
Register…Actions function). Each place below must name exactly those actions:

- docs/page-contract.md: the Actions table and one `### name` section per action;
- docs/architecture.md: "Where each action lives", with the function that registers each;
- README.md: the "Actions:" list;
- ui/sdk/host.js: an exported function that posts each action, declared in ui/sdk/host.d.ts
  (as is every exported function);
- tests/ui/support/fake-host.mjs: a `case` for each action;
- tests/bridge/action_registry_test.cpp: the expected names, and those that reach outside;
- the dispatcher fuzzer: the actions that reach outside are the ones its comment leaves out,
  and each action it runs has a seed in tests/fuzz/corpus.
Exits 1 with one line per disagreement; docs/architecture.md has the checklist this enforces.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
problems = []


def read(relative):
    path = root / relative
    return path.read_text(encoding="utf-8") if path.is_file() else ""


# The registry: name -> (reach, registering function).
registry = {}
add = re.compile(r'\bactions\.Add\(\s*"(\w+)",\s*(?:ActionRegistry::)?Reach::(k\w+)')
function = re.compile(r"^void (Register\w+)\(", re.MULTILINE)
for path in sorted((root / "src").rglob("*.cpp")):
    text = path.read_text(encoding="utf-8")
    for match in add.finditer(text):
        owners = [f.group(1) for f in function.finditer(text, 0, match.start())]
        registry[match.group(1)] = (match.group(2), owners[-1] if owners else "")
names = set(registry)
outside = {name for name, (reach, _) in registry.items() if reach == "kOutside"}
if not names:
    problems.append("no action registered in src/ (actions.Add(\"name\", Reach::k…, …))")


def compare(place, found, expected=None):
    expected = names if expected is None else expected
    for name in sorted(expected - set(found)):
        problems.append(f"{place} lacks {name}")
    for name in sorted(set(found) - expected):
        problems.append(f"{place} names {name}, which "
                        + ("is not registered" if name not in names else "does not belong there"))


def backticked(text):
    return re.findall(r"`(\w+)`", text)


def table_after(text, heading):
    """First cells of the table that follows `heading`, and the rows' cells."""
    start = text.find(heading)
    rows = []
    if start < 0:
        return rows
    in_table = False
    for line in text[start:].splitlines()[1:]:
        if line.startswith("|"):
            in_table = True
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if not set(cells[0]) <= set("-: ") and cells[0] not in ("Action",):
                rows.append(cells)
        elif in_table:
            break
    return rows


# The contract: the table and the sections.
contract = read("docs/page-contract.md")
compare("docs/page-contract.md's Actions table",
        [n for row in table_after(contract, "\n## Actions\n") for n in backticked(row[0])])
actions_start = contract.find("\n## Actions\n")
actions_end = contract.find("\n## ", actions_start + 1)
compare("docs/page-contract.md's action sections",
        re.findall(r"^### (\w+)\s*$", contract[actions_start:actions_end], re.MULTILINE))

# The architecture's table, with who registers each action.
architecture_rows = table_after(read("docs/architecture.md"), "\n## Where each action lives\n")
listed = {}
for row in architecture_rows:
    for name in backticked(row[0]):
        listed[name] = backticked(row[2])[0] if len(row) > 2 and backticked(row[2]) else ""
compare("docs/architecture.md's \"Where each action lives\"", listed)
for name in sorted(names & set(listed)):
    if listed[name] != registry[name][1]:
        problems.append(f"docs/architecture.md says {listed[name] or 'nothing'} registers {name}; "
                        f"{registry[name][1]} does")

# The README's list.
readme = read("README.md")
match = re.search(r"^Actions: (.*?\.)(?:\s|$)", readme, re.MULTILINE | re.DOTALL)
compare("README.md's \"Actions:\" list", backticked(match.group(1)) if match else [])

# The SDK: who posts what, and the declarations.
sdk = read("ui/sdk/host.js")
declared = set(re.findall(r"^export declare function (\w+)", read("ui/sdk/host.d.ts"),
                          re.MULTILINE))
exports = list(re.finditer(r"^export (?:async )?function (\w+)", sdk, re.MULTILINE))
posted = {}
for index, export in enumerate(exports):
    end = exports[index + 1].start() if index + 1 < len(exports) else len(sdk)
    body = sdk[export.end():end]
    for action in re.findall(r"(?:request\(|action: )'(\w+)'", body):
        posted.setdefault(action, set()).add(export.group(1))
    if export.group(1) not in declared:
        problems.append(f"ui/sdk/host.d.ts does not declare {export.group(1)}, which "
                        "ui/sdk/host.js exports")
compare("ui/sdk/host.js (an exported function that posts it)", posted)

# The page tests' fake host.
fake = read("tests/ui/support/fake-host.mjs")
compare("tests/ui/support/fake-host.mjs (a case of handle())",
        re.findall(r"^\s*case '(\w+)':", fake, re.MULTILINE))

# The registry's own test.
registry_test = read("tests/bridge/action_registry_test.cpp")
for variable, expected in (("names", names), ("outside", outside)):
    block = re.search(r"EXPECT_EQ\(" + variable + r",(.*?)\}\)\);", registry_test, re.DOTALL)
    compare(f"tests/bridge/action_registry_test.cpp's expected {variable}",
            re.findall(r'"(\w+)"', block.group(1)) if block else [], expected)

# The fuzzer: what it leaves out, and a seed for each action it runs.
fuzzer = read("tests/fuzz/dispatcher_fuzzer.cpp")
left_out = re.search(r"are not dispatched:(.*?)Their member handling", fuzzer, re.DOTALL)
compare("tests/fuzz/dispatcher_fuzzer.cpp's list of actions left out",
        [word for word in re.findall(r"\w+", left_out.group(1)) if word in names or
         re.fullmatch(r"do[A-Z]\w*", word)] if left_out else [], outside)
seeded = set()
for seed in sorted((root / "tests/fuzz/corpus").glob("*")):
    seeded.update(re.findall(r'"action"\s*:\s*"(\w+)"', seed.read_text(encoding="utf-8",
                                                                        errors="replace")))
for name in sorted(names - outside - seeded):
    problems.append(f"tests/fuzz/corpus has no seed for {name}")

for problem in problems:
    print(f"actions: {problem}")
sys.exit(1 if problems else 0)

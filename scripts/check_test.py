#!/usr/bin/env python3
"""Plants one fault of each kind the checks of scripts/check look for in a copy of the tree, and
expects the check to name it; the tree as it is must pass every check."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parent.parent
# What the checks read.
COPIED = ["scripts", "src", "docs", "README.md", "ui/sdk", "tests/ui/support/fake-host.mjs",
          "tests/bridge/action_registry_test.cpp", "tests/fuzz/dispatcher_fuzzer.cpp",
          "tests/fuzz/corpus"]
CHECKS = ["check_includes.py", "check_layering.py", "check_actions.py", "check_page_results.py"]


def append(text):
    return lambda old: old + text


def replace(old_text, new_text):
    def change(old):
        assert old_text in old, old_text
        return old.replace(old_text, new_text, 1)
    return change


# (what is planted, check, file, change, a text the check must print)
FAULTS = [
    ("an action missing from the SDK's types", "check_actions.py", "ui/sdk/host.d.ts",
     replace("export declare function getFreeSpace", "declare function getFreeSpace"),
     "ui/sdk/host.d.ts does not declare getFreeSpace"),
    ("an action registered and named nowhere else", "check_actions.py",
     "src/bridge/bridge_actions.cpp",
     replace('actions.Add("doCancel"',
             'actions.Add("doPing", Reach::kInProcess, [](ActionContext&, const nlohmann::json&) '
             '{});\n  actions.Add("doCancel"'),
     "README.md's \"Actions:\" list lacks doPing"),
    ("an action registered by another function than the docs say", "check_actions.py",
     "docs/architecture.md",
     replace("| `RegisterDiagActions` | the window thread | |\n| `doGetFreeSpace`",
             "| `RegisterLogActions` | the window thread | |\n| `doGetFreeSpace`"),
     "says RegisterLogActions registers doGetSysInfo"),
    ("an action that reaches outside run by the fuzzer", "check_actions.py",
     "tests/fuzz/dispatcher_fuzzer.cpp", replace("doUnZip", "unzipping"),
     "left out lacks doUnZip"),
    ("an upward link edge", "check_layering.py", "src/base/CMakeLists.txt",
     append("target_link_libraries(vlm_base PUBLIC vlm_log)\n"),
     "vlm_base (src/base) links vlm_log of src/log"),
    ("a lower library changing the top target", "check_layering.py", "src/log/CMakeLists.txt",
     append("target_link_libraries(vlm_host PUBLIC vlm_log)\n"),
     "src/log changes vlm_host, a target of src/app"),
    ("a forward declaration of a higher library's type", "check_layering.py",
     "src/download/download_actions.h", replace("class ActionRegistry;",
                                                "class ActionRegistry;\nclass SetupWebView;"),
     "declares SetupWebView of src/app"),
    ("an OS header in a portable file", "check_layering.py", "src/base/hex_string.cpp",
     append("#include <windows.h>\n"), "portable code includes the OS header <windows.h>"),
    ("a platform test in a portable file", "check_layering.py", "src/base/hex_string.cpp",
     append("#ifdef _WIN32\n#endif\n"), "portable code tests for _WIN32"),
    ("a code of ours that a backend can pass through", "check_page_results.py",
     "src/base/page_results.h", replace("kProxyCredentialsWanted = 65537",
                                        "kProxyCredentialsWanted = 407"),
     "kProxyCredentialsWanted = 407 is a code of our own that a backend can pass through"),
    ("a code of ours cut to 16 bits", "check_page_results.py",
     "src/download/web_page_answer.cpp",
     append("static const auto cut = HResultFromWin32(page_result::kWebPageInsteadOfArchive);\n"),
     "HResultFromWin32 cuts kWebPageInsteadOfArchive to 16 bits"),
]


def run(tree, check):
    done = subprocess.run([sys.executable, str(tree / "scripts" / check)], capture_output=True,
                          text=True, check=False)
    return done.returncode, done.stdout + done.stderr


class CheckTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.tree = pathlib.Path(self.temp.name)
        for relative in COPIED:
            source, target = ROOT / relative, self.tree / relative
            target.parent.mkdir(parents=True, exist_ok=True)
            if source.is_dir():
                shutil.copytree(source, target)
            else:
                shutil.copy2(source, target)

    def tearDown(self):
        self.temp.cleanup()

    def test_the_tree_passes_every_check(self):
        for check in CHECKS:
            code, output = run(self.tree, check)
            self.assertEqual(code, 0, f"{check}:\n{output}")

    def test_each_planted_fault_is_named(self):
        for what, check, relative, change, expected in FAULTS:
            with self.subTest(what):
                path = self.tree / relative
                original = path.read_text(encoding="utf-8")
                path.write_text(change(original), encoding="utf-8")
                try:
                    code, output = run(self.tree, check)
                finally:
                    path.write_text(original, encoding="utf-8")
                self.assertEqual(code, 1, output)
                self.assertIn(expected, output)


if __name__ == "__main__":
    unittest.main()

"""Release versions as the program reads them (src/trust/release_manifest.h), for the scripts
that write or check what it will read: 1 to 4 numbers of 1 to 9 digits joined by dots, with an
optional semantic-versioning pre-release ("-beta.2") and build metadata ("+build.7"), at most 128
characters, ordered as semantic versioning 2.0.0 orders them."""
import re

_NUMBER = r"[0-9]{1,9}"
_IDENTIFIER = r"[0-9A-Za-z-]+"
# A digits-only pre-release identifier has no leading zero.
_PRE = r"(?:0|[1-9][0-9]*|[0-9]*[A-Za-z-][0-9A-Za-z-]*)"
_VERSION = re.compile(rf"({_NUMBER}(?:\.{_NUMBER}){{0,3}})(?:-({_PRE}(?:\.{_PRE})*))?"
                      rf"(?:\+{_IDENTIFIER}(?:\.{_IDENTIFIER})*)?")
MAX_LENGTH = 128
RULE = ("1 to 4 numbers separated by dots, optionally with a pre-release and build metadata, "
        "such as 2.4.1 or 1.2.0-beta.2")


def parse(text):
    """(numbers, pre-release identifiers) or None."""
    match = _VERSION.fullmatch(text) if len(text) <= MAX_LENGTH else None
    if not match:
        return None
    numbers = [int(n) for n in match.group(1).split(".")]
    return numbers, match.group(2).split(".") if match.group(2) else []


def compare(a, b):
    """-1, 0 or 1 as version text a is older than, the same as or newer than b (both valid)."""
    (na, pa), (nb, pb) = parse(a), parse(b)
    width = max(len(na), len(nb))
    na, nb = na + [0] * (width - len(na)), nb + [0] * (width - len(nb))
    if na != nb:
        return -1 if na < nb else 1
    if not pa or not pb:
        return (not pa) - (not pb)  # a release is newer than its pre-releases
    for x, y in zip(pa, pb):
        if x == y:
            continue
        if x.isdigit() and y.isdigit():
            return -1 if int(x) < int(y) else 1
        if x.isdigit() != y.isdigit():
            return -1 if x.isdigit() else 1
        return -1 if x < y else 1
    return (len(pa) > len(pb)) - (len(pa) < len(pb))

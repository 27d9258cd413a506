#!/usr/bin/env python3
"""Makes the compatibility corpus: one product folder packed by the tools a vendor would use,
plus a few hostile variants, each with what the extraction must do.

    zip_corpus.py <output folder>

Writes <output>/<name>.zip, for archives that extract <output>/<name>.expected/ (the reference:
bsdtar's own output, or the files packed where bsdtar reads the archive wrong), and
<output>/corpus.tsv with one line per archive:
    <name> TAB same                      extracted byte-identical to the reference
    <name> TAB <result> TAB <cause>      refused with that page result, the cause in the log
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.abspath(sys.argv[1])
shutil.rmtree(out, ignore_errors=True)
os.makedirs(out)
product = os.path.join(out, "product")
lines = []


def make_product():
    rng = random.Random(26)
    files = {
        "Setup.exe": bytes(rng.getrandbits(8) for _ in range(150_000)),
        "readme.txt": b"".join(b"line %d of the readme\n" % i for i in range(20_000)),
        "empty.dat": b"",
        "bin/sub/deep.cfg": b"[settings]\nkey=value\n" * 100,
        "donn\u00e9es/\u96ea.txt": "snow \u96ea".encode() * 50,
    }
    for name, data in files.items():
        path = os.path.join(product, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(product, "emptydir"))
    os.chmod(os.path.join(product, "Setup.exe"), 0o755)


def run(*args, cwd=None, stdout=None):
    subprocess.run(args, cwd=cwd, check=True, stdout=stdout or subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def same(name):
    """bsdtar's extraction is the reference."""
    expected = os.path.join(out, name + ".expected")
    os.makedirs(expected)
    run("bsdtar", "-xf", os.path.join(out, name + ".zip"), "-C", expected)
    lines.append(f"{name}\tsame")


def same_as_packed(name, items):
    """The files packed are the reference, where bsdtar reads the archive wrong."""
    expected = os.path.join(out, name + ".expected")
    for entry_name, data in items:
        path = os.path.join(expected, entry_name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    lines.append(f"{name}\tsame")


def refused(name, result, cause):
    lines.append(f"{name}\t{result}\t{cause}")


def archive(name):
    return os.path.join(out, name + ".zip")


def with_zip(name, *options):
    run("zip", "-q", "-r", *options, archive(name), ".", cwd=product)


def with_7z(name, method):
    run("7z", "a", "-tzip", f"-mm={method}", archive(name), ".", cwd=product)


def with_python(name, method, zip64=False):
    with zipfile.ZipFile(archive(name), "w", method) as z:
        for root, dirs, files in sorted(os.walk(product)):
            for d in sorted(dirs):
                z.write(os.path.join(root, d), os.path.relpath(os.path.join(root, d), product))
            for f in sorted(files):
                path = os.path.join(root, f)
                info = zipfile.ZipInfo.from_file(path, os.path.relpath(path, product))
                info.compress_type = method
                with open(path, "rb") as src, z.open(info, "w", force_zip64=zip64) as dst:
                    shutil.copyfileobj(src, dst)


def entries():
    """The product's files as (name, data), for the hand-made archives."""
    found = []
    for root, _, files in sorted(os.walk(product)):
        for f in sorted(files):
            path = os.path.join(root, f)
            with open(path, "rb") as h:
                found.append((os.path.relpath(path, product).replace(os.sep, "/"), h.read()))
    return found


def by_hand(name, items, compress, method, prefix=b"", padding=b""):
    """Writes a ZIP with the codec given, the way a writer of that method would.

    items: (name, data, local name or None)."""
    body = bytearray(prefix)
    central = bytearray()
    base = len(prefix)
    for entry_name, data, local_name in items:
        body += padding
        packed = compress(data)
        crc = zlib.crc32(data)
        flags = 0x0800
        raw, local = entry_name.encode(), (local_name or entry_name).encode()
        offset = len(body) - base
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 63, flags, method, 0, 0x5A21, crc,
                            len(packed), len(data), len(local), 0) + local + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x033F, 63, flags, method, 0,
                               0x5A21, crc, len(packed), len(data), len(raw), 0, 0, 0, 0,
                               0o100644 << 16, offset) + raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(items), len(items), len(central),
                      len(body) - base, 0)
    with open(archive(name), "wb") as f:
        f.write(bytes(body + central + end))


def cli(*tool):
    return lambda data: subprocess.run(tool, input=data, check=True, capture_output=True).stdout


make_product()

# Info-ZIP zip: deflate (its extra fields differ between local and central headers), stored,
# bzip2, streamed to a pipe (data descriptors), and behind a self-extracting program, with the
# offsets moved (zip -A) and as a plain concatenation.
with_zip("infozip-deflate")
same("infozip-deflate")
with_zip("infozip-store", "-0")
same("infozip-store")
with_zip("infozip-bzip2", "-Z", "bzip2")
same("infozip-bzip2")
with open(archive("infozip-stream"), "wb") as f:
    run("zip", "-q", "-r", "-", ".", cwd=product, stdout=f)
same("infozip-stream")
stub = b"MZ" + bytes(random.Random(1).getrandbits(8) for _ in range(70_000))
with open(archive("infozip-sfx"), "wb") as f:
    f.write(stub + open(archive("infozip-deflate"), "rb").read())
same("infozip-sfx")
shutil.copy(archive("infozip-sfx"), archive("infozip-sfx-adjusted"))
run("zip", "-q", "-A", archive("infozip-sfx-adjusted"))
same("infozip-sfx-adjusted")

# 7-Zip: its methods for ZIP; PPMd is the one the program does not read.
for method in ("Deflate", "Deflate64", "BZip2", "LZMA", "xz", "PPMd"):
    with_7z("7z-" + method.lower(), method)
same("7z-deflate")
same("7z-bzip2")
same("7z-lzma")
same("7z-xz")
# The first failed entry stops the rest, and the run ends with its failure.
refused("7z-deflate64", 1632, "unsupported compression method 9 (deflate64)")
refused("7z-ppmd", 1632, "unsupported compression method 98 (PPMd)")

# libarchive's writer (it records the packed folder itself as "./").
run("bsdtar", "--format", "zip", "-cf", archive("bsdtar-deflate"), "-C", product, ".")
same("bsdtar-deflate")
run("bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf",
    archive("bsdtar-store"), "-C", product, ".")
same("bsdtar-store")

# Python's zipfile.
with_python("python-deflate", zipfile.ZIP_DEFLATED)
same("python-deflate")
with_python("python-bzip2", zipfile.ZIP_BZIP2)
same("python-bzip2")
with_python("python-lzma", zipfile.ZIP_LZMA)
same("python-lzma")
with_python("python-zip64", zipfile.ZIP_STORED, zip64=True)
same("python-zip64")

# The .NET runtime's writer (the dotnet command is on every build machine: scripts/install-deps),
# to a file and streamed with data descriptors.
os.environ.update(DOTNET_NOLOGO="1", DOTNET_CLI_TELEMETRY_OPTOUT="1")
with open(archive("dotnet-stream"), "wb") as f:
    run("dotnet", "fsi", os.path.join(here, "zip_corpus_dotnet.fsx"), product,
        archive("dotnet-file"), stdout=f)
same("dotnet-file")
same("dotnet-stream")

# zstd and xz entries as a pack tool writes them, from the codecs' own command-line tools.
by_hand("zstd", [(n, d, None) for n, d in entries()], cli("zstd", "-q", "-19", "-c"), 93)
same("zstd")
by_hand("xz", [(n, d, None) for n, d in entries()], cli("xz", "-c"), 95)
same("xz")

# Data of several streams: a parallel bzip2 writer's (one stream per 100 kB), and zstd frames
# and xz streams one after another (with stream padding), as streaming writers append them.
# bsdtar 3.6.2 and 7-Zip stop after the first bzip2 stream (wrong size, CRC error).
by_hand("pbzip2", [(n, d, None) for n, d in entries()], cli("pbzip2", "-1", "-b1", "-c"), 12)
same_as_packed("pbzip2", entries())


def halves(*tool):
    return lambda data: cli(*tool)(data[:len(data) // 2]) + cli(*tool)(data[len(data) // 2:])


by_hand("zstd-frames", [(n, d, None) for n, d in entries()], halves("zstd", "-q", "-c"), 93)
same("zstd-frames")
# bsdtar 3.6.2 stops after the first xz stream; the xz tool itself reads them all.
by_hand("xz-streams", [(n, d, None) for n, d in entries()],
        lambda d: halves("xz", "-c")(d) + bytes(4), 95)
same_as_packed("xz-streams", entries())

# The vendor's own pack tool, both methods.
pack = os.path.join(here, "..", "..", "scripts", "pack-release")
run(pack, product, archive("pack-release-zstd"))
same("pack-release-zstd")
run(pack, product, archive("pack-release-deflate"), "--method", "deflate")
same("pack-release-deflate")

# Hostile and odd ones: padding between entries behind a prefix whose offsets were not moved
# (accepted), a local header naming another file, and a name that leaves the folder.
by_hand("prefix-padding", [(n, d, None) for n, d in entries()], lambda d: d, 0,
        prefix=b"#!/bin/sh\nexit 0\n", padding=b"\0" * 16)
same("prefix-padding")
by_hand("local-name-differs", [("readme.txt", b"text", "Setup.exe")], lambda d: d, 0)
refused("local-name-differs", 2, "the local header of readme.txt names another file")
by_hand("escape", [("../escaped.txt", b"out", None)], lambda d: d, 0)
refused("escape", 1632, "the name leaves the extraction folder")

with open(os.path.join(out, "corpus.tsv"), "w") as f:
    f.write("\n".join(lines) + "\n")

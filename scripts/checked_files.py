"""Reads the files of a folder that a tool packs or signs, each through the descriptor that was
checked: whatever the folder's other writers do meanwhile, what is packed or signed is a regular
file that was in the folder, never a link's target or a file swapped in after the check.

    python3 scripts/checked_files.py FOLDER [SKIP]
        prints "<SHA-256>  <path below FOLDER>" for every file, sorted by path, leaving out the
        file SKIP at the top; links and special files are refused (exit 1)

The check is made twice: lstat says the name is a regular file, then the name is opened without
following a link (O_NOFOLLOW, and O_NONBLOCK so that a FIFO swapped in does not block) and
fstat of the descriptor must show the same file. Only that descriptor is read.
"""
import hashlib
import os
import stat
import sys

BLOCK = 1 << 20


class Refused(Exception):
    pass


def open_checked(path):
    """(descriptor, its fstat) of the regular file at `path`; Refused for anything else."""
    before = os.lstat(path)
    if not stat.S_ISREG(before.st_mode):
        raise Refused(f"{path}: only files and folders are taken (not a link or special file)")
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as error:
        raise Refused(f"{path} was replaced while it was read ({error.strerror})") from None
    after = os.fstat(fd)
    if not stat.S_ISREG(after.st_mode) or (after.st_dev, after.st_ino) != (before.st_dev,
                                                                          before.st_ino):
        os.close(fd)
        raise Refused(f"{path} was replaced while it was read")
    return fd, after


def blocks(fd):
    """The descriptor's bytes from where it stands, block by block."""
    while block := os.read(fd, BLOCK):
        yield block


def walk(folder):
    """(path, name below `folder` with "/", is a folder) of every file and folder, sorted by
    name; Refused for a link or a special file."""
    found = []
    for root, dirs, files in os.walk(folder, followlinks=False):
        for name in dirs + files:
            path = os.path.join(root, name)
            mode = os.lstat(path).st_mode
            if not (stat.S_ISDIR(mode) or stat.S_ISREG(mode)):
                raise Refused(f"{path}: only files and folders are taken (not a link or special file)")
            found.append((path, os.path.relpath(path, folder).replace(os.sep, "/"),
                          stat.S_ISDIR(mode)))
    return sorted(found, key=lambda item: item[1].encode("utf-8", "surrogateescape"))


def sha256_lines(folder, skip=None):
    """The "<SHA-256>  <path>" lines of every file below `folder` but `skip`."""
    lines = []
    for path, name, is_dir in walk(folder):
        if name == skip or is_dir:
            continue
        if "\n" in name or "\\" in name:
            raise Refused(f"a file name holds a line break or a backslash: {name}")
        fd, _ = open_checked(path)
        try:
            digest = hashlib.sha256()
            for block in blocks(fd):
                digest.update(block)
        finally:
            os.close(fd)
        lines.append(f"{digest.hexdigest()}  {name}")
    return lines


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    try:
        for line in sha256_lines(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None):
            print(line)
    except Refused as refusal:
        print(f"{os.path.basename(sys.argv[0])}: {refusal}", file=sys.stderr)
        sys.exit(1)

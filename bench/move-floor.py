#!/usr/bin/env python3
"""The floor of a job that moves its images: the same files moved by a plain loop.

    move-floor.py rename|copy INDEX IMAGE-FOLDER TARGET-FOLDER [SUFFIX]
    move-floor.py make INDEX IMAGE-FOLDER BYTES

The image path of each line of INDEX (the first column, "\\" or "/" between its parts) names
a file below IMAGE-FOLDER; it goes to the same path below TARGET-FOLDER, with SUFFIX put
before its extension when given (the numbered name "-0001" a job gives an image whose name is
taken). Target folders are made as they are needed.

rename: each file is renamed; at the end every target and source folder is synced.
copy (IMAGE-FOLDER on another file system): each file is copied under a temporary name beside
its target, synced and renamed; then the target folders are synced, the sources removed and
their folders synced. That is the least a move across file systems does to keep every image
whole at one place at least, with the syncs of the folders gathered at the end.

Prints the seconds taken. make writes the images the lines of INDEX name, BYTES each (a
few bytes of a TIFF header, then the line's number, then zeros); it is not timed.
"""

import os
import sys
import time


def image_paths(index):
    with open(index, "r", encoding="latin-1", newline="") as lines:
        for line in lines:
            line = line.rstrip("\r\n")
            if line.strip(" "):
                yield line.split(",", 1)[0].replace("\\", "/").lstrip("/")


def numbered(path, suffix):
    if not suffix:
        return path
    stem, dot, extension = path.rpartition(".")
    return f"{stem}{suffix}.{extension}" if dot else path + suffix


def sync_folder(folder):
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def copy(source, target):
    temporary = target + ".floor"
    with open(source, "rb") as f:
        content = f.read()
    fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        view = memoryview(content)
        while view:
            view = view[os.write(fd, view):]
        os.fsync(fd)
    finally:
        os.close(fd)
    os.rename(temporary, target)


def make(index, image_folder, size):
    made = set()
    for number, path in enumerate(image_paths(index), 1):
        target = os.path.join(image_folder, path)
        folder = os.path.dirname(target)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        head = b"II*\0" + str(number).encode()
        with open(target, "wb") as f:
            f.write(head + bytes(max(0, size - len(head))))


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3], int(sys.argv[4]))
        return
    mode, index, image_folder, target_folder = sys.argv[1:5]
    suffix = sys.argv[5] if len(sys.argv) > 5 else ""
    if mode not in ("rename", "copy"):
        sys.exit(f"unknown mode {mode}")
    paths = list(image_paths(index))

    start = time.perf_counter()
    made = set()
    sources = set()
    targets = set()
    for path in paths:
        source = os.path.join(image_folder, path)
        target = os.path.join(target_folder, numbered(path, suffix))
        folder = os.path.dirname(target)
        if folder not in made:
            os.makedirs(folder, exist_ok=True)
            made.add(folder)
        if mode == "rename":
            os.rename(source, target)
        else:
            copy(source, target)
        sources.add(os.path.dirname(source))
        targets.add(folder)
    targets.add(target_folder)
    for folder in targets:
        sync_folder(folder)
    if mode == "copy":
        for path in paths:
            os.unlink(os.path.join(image_folder, path))
    for folder in sources:
        sync_folder(folder)
    seconds = time.perf_counter() - start
    print(f"{seconds:.3f}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The durable floor of a job that turns many index files into many BIF files.

    durable-floor.py INDEX-FOLDER BIF-FOLDER COPY-FOLDER

For each index file of INDEX-FOLDER (*.csv, by name) and the BIF file of BIF-FOLDER at the same
place in name order, does what the job cannot do without: reads the index file, writes the BIF
file's bytes under a temporary name in COPY-FOLDER, syncs the file, renames it and syncs the
folder. The BIF bytes are read into memory before the clock starts. Prints the seconds taken.
"""

import os
import sys
import time


def main():
    index_folder, bif_folder, copy_folder = sys.argv[1:4]
    indexes = sorted(n for n in os.listdir(index_folder) if n.endswith(".csv"))
    bifs = sorted(n for n in os.listdir(bif_folder) if n.endswith(".bif"))
    if len(indexes) != len(bifs):
        sys.exit(f"{len(indexes)} index files but {len(bifs)} BIF files")
    contents = []
    for name in bifs:
        with open(os.path.join(bif_folder, name), "rb") as f:
            contents.append(f.read())
    os.makedirs(copy_folder, exist_ok=True)
    folder_fd = os.open(copy_folder, os.O_RDONLY | os.O_DIRECTORY)

    start = time.perf_counter()
    for i, name in enumerate(indexes):
        with open(os.path.join(index_folder, name), "rb") as f:
            while f.read(1 << 18):
                pass
        final = os.path.join(copy_folder, f"copy{i}.bif")
        temporary = final + "X"
        fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o666)
        try:
            view = memoryview(contents[i])
            while view:
                view = view[os.write(fd, view):]
            os.fsync(fd)
        finally:
            os.close(fd)
        os.rename(temporary, final)
        os.fsync(folder_fd)
    seconds = time.perf_counter() - start

    os.close(folder_fd)
    print(f"{seconds:.3f}")


if __name__ == "__main__":
    main()

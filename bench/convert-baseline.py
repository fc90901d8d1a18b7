#!/usr/bin/env python3
"""The baseline for the benchmark: the conversion the benchmark's jobs ask for, as a plain
streaming Python script (standard library only).

    convert-baseline.py INDEX BIF IMAGE-FOLDER DOC-TYPE FOLDER FIELD-NAMES DELIMITER

Reads the index file line by line and writes the BIF file the job writes for it, byte for
byte, by the job's rules: a delimiter inside double quotes does not split, values past the
last name and an empty last value are ignored, each value is trimmed and unwrapped from its
quotes (doubled quotes become one), each block is filled by one pass per placeholder word.
What the benchmark's jobs do not use is left out: image moves (off), absolute image paths,
the special columns other than IMAGEPATH, and the options (create_location, append and
delete_images False). Like the job, it writes BIFX beside BIF, syncs it and renames it.
"""

import os
import sys


def split(line, delimiter, columns):
    """The line's values, joined again where a delimiter stood inside quotes."""
    values = []
    pending = None
    for piece in line.split(delimiter):
        pending = piece if pending is None else pending + delimiter + piece
        if pending.count('"') % 2 == 0:
            values.append(pending)
            pending = None
            if len(values) == columns:
                return values
    if pending is not None:
        values.append(pending)
    if values and values[-1] == "":
        values.pop()
    return values


def strip_quotes(value):
    value = value.strip(" ")
    if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
        return value[1:-1].replace('""', '"')
    return value


def main():
    index, bif, image_folder, doc_type, folder, field_names, delimiter = sys.argv[1:8]
    names = field_names.split("|")
    image_column = len(names) - 1 - names[::-1].index("IMAGEPATH")
    field_list = "|".join(n for i, n in enumerate(names) if i != image_column)
    template = f'documentNNNNN={doc_type}\t"PPPPP"\r\ndocNNNNN.fields={field_list}\r\n'
    location = (
        f"docNNNNN.location={folder}/LLLLL\r\n" if folder.count("/") < 3 else
        f"docNNNNN.location={folder.removesuffix('/')}\r\n"
    ) + ("docNNNNN.create_location=False\r\ndocNNNNN.append=False\r\n"
         "docNNNNN.delete_images=False\r\n")

    temporary = bif + "X"
    image = ""
    current_folder = ""
    with open(index, "r", encoding="latin-1", newline="") as source, open(
        temporary, "w", encoding="latin-1", newline="", buffering=1 << 20
    ) as out:
        out.write("[Documents File]\r\n[documents]\r\n")
        number = 0
        for line in source:
            line = line.rstrip("\r\n")
            if not line.strip(" "):
                continue
            number += 1
            fields = []
            k = 1
            for column, value in enumerate(split(line, delimiter, len(names))):
                if column == image_column:
                    image = strip_quotes(value)
                else:
                    fields.append(f"docNNNNN.field{k}={strip_quotes(value)}\r\n")
                    k += 1
            current_folder = image.replace("\\", "/").rpartition("/")[0].strip("/")
            reference = image_folder + ("" if image.startswith("\\") else "\\") + image
            block = template + "".join(fields) + location
            block = block.replace("NNNNN", str(number)).replace("PPPPP", reference)
            block = block.replace("DDDDD", doc_type)
            out.write(block.replace("LLLLL", current_folder.removesuffix("/")))
        out.flush()
        os.fsync(out.fileno())
    os.rename(temporary, bif)
    folder_fd = os.open(os.path.dirname(os.path.abspath(bif)), os.O_RDONLY)
    try:
        os.fsync(folder_fd)
    finally:
        os.close(folder_fd)


if __name__ == "__main__":
    main()

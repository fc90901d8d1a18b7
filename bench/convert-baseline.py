#!/usr/bin/env python3
"""The baseline for the benchmark: the conversion the benchmark's jobs ask for, written as a
plain streaming Python script (standard library only).

    convert-baseline.py INDEX BIF IMAGE-FOLDER DOC-TYPE FOLDER FIELD-NAMES DELIMITER

Reads the index file line by line and writes the BIF file the job writes for it, byte for
byte: image moves off, the document type and destination folder from the job (a folder with
fewer than three "/" gets the image's folder appended), create_location, append and
delete_images False. Like the job, it writes BIFX beside BIF, syncs it and renames it. Values
are split by the csv module, which unwraps quotes the way the job does for the benchmark's
values (quoted values with delimiters and doubled quotes inside).
"""

import csv
import os
import sys


def main():
    index, bif, image_folder, doc_type, folder, field_names, delimiter = sys.argv[1:8]
    names = field_names.split("|")
    image_column = len(names) - 1 - names[::-1].index("IMAGEPATH")
    ordinary = [i for i, name in enumerate(names) if name != "IMAGEPATH"]
    field_list = "|".join(names[i] for i in ordinary)
    append_image_folder = folder.count("/") < 3
    tail = "\r\ndoc{0}.create_location=False\r\ndoc{0}.append=False\r\ndoc{0}.delete_images=False\r\n"

    temporary = bif + "X"
    with open(index, "r", encoding="latin-1", newline="") as source, open(
        temporary, "w", encoding="latin-1", newline="", buffering=1 << 20
    ) as out:
        out.write("[Documents File]\r\n[documents]\r\n")
        number = 0
        for values in csv.reader(source, delimiter=delimiter):
            if not values or not "".join(values).strip(" "):
                continue
            number += 1
            image = values[image_column].strip(" ")
            parts = [
                f"document{number}={doc_type}\t\"{image_folder}\\{image}\"\r\n"
                f"doc{number}.fields={field_list}\r\n"
            ]
            for k, column in enumerate(ordinary, start=1):
                value = values[column].strip(" ") if column < len(values) else ""
                parts.append(f"doc{number}.field{k}={value}\r\n")
            location = folder
            if append_image_folder:
                image_dir = image.replace("\\", "/").rpartition("/")[0].strip("/")
                location = f"{folder}/{image_dir}"
            parts.append(f"doc{number}.location={location}")
            parts.append(tail.format(number))
            out.write("".join(parts))
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

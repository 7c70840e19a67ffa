#!/usr/bin/env python3
"""A plain Python converter of AMIDE dumps to VKF files, as a user would write
it, following the same rules as qorvexw: the yardstick of the benchmark.

    py_converter.py DUMP VKF
"""
import os
import sys

# The vocabulary comes from the test suite's reference model, the one copy
# the Python side keeps.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cli"))
from reference_converter import FIELDS as FIELD_ROWS, SECTIONS  # noqa: E402

FIELDS = {code: (section_type, bool(strip_h), key) for code, section_type, strip_h, key in FIELD_ROWS}


def lines_of(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\xff\xfe":
        data = data[2::2]  # The low byte of every UTF-16LE character.
    for line in data.split(b"\n"):
        while len(line) > 255:
            yield line[:255]
            line = line[255:]
        yield line


def convert(dump, vkf):
    last_type = None
    with open(vkf, "wb") as out:
        for line in lines_of(dump):
            line = line.strip(b" \t")
            if len(line) < 10 or not line.startswith(b"(/"):
                continue
            close = line.find(b")")
            if close <= 2 or close > 7:
                continue
            first, last = line.find(b'"'), line.rfind(b'"')
            if first < 0 or last <= first:
                continue
            field = FIELDS.get(line[2:close].upper())
            if field is None:
                continue
            kind, strip_h, key = field
            value = line[first + 1:last]
            if strip_h and value.endswith(b"h"):
                value = value[:-1]
            if kind != last_type:
                out.write(b"[" + SECTIONS[kind] + b"]\r\n")
                last_type = kind
            out.write(key + b" = " + value + b"\r\n")


if __name__ == "__main__":
    convert(sys.argv[1], sys.argv[2])

#!/usr/bin/env python3
"""Writes a large, realistic dump for timing qorvexw.

Field lines of every code are mixed with section headings, blank lines and
comment lines, in 8-bit text or UTF-16LE with its byte-order mark.

    gen_dump.py OUTPUT --lines N [--utf16] [--seed S]
    gen_dump.py OUTPUT --bytes B [--utf16] [--seed S]
"""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cli"))
from reference_converter import FIELDS as FIELD_ROWS, SECTIONS  # noqa: E402

# Every field code, with a label as the editor writes one before the value.
FIELDS = [(code.decode(), "%s %s" % (SECTIONS[section_type].decode(), key.decode()))
          for code, section_type, _, key in FIELD_ROWS]
WORDS = ["Northwind", "Systems", "Rev.", "B2", "Tower", "Board", "0x1F", "Serial", "Slot", "A7"]


def field_line(rng):
    code, label = rng.choice(FIELDS)
    value = " ".join(rng.choice(WORDS) for _ in range(rng.randint(0, 6)))
    if rng.random() < 0.3:
        value += "%08Xh" % rng.getrandbits(32)
    return "%s(/%s)%-30s \"%s\"" % (" " * rng.randint(0, 2), code, label, value)


def other_line(rng):
    return rng.choice(["", "  System Information (Type 1)", "; edited by hand", "Chassis"])


def generate(rng, field_lines=None, max_chars=None):
    lines, fields, chars = [], 0, 0
    while True:
        if field_lines is not None and fields >= field_lines:
            break
        if max_chars is not None and chars >= max_chars:
            break
        line = other_line(rng) if rng.random() < 0.15 else field_line(rng)
        fields += line.lstrip().startswith("(/")
        lines.append(line)
        chars += len(line) + 2
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--lines", type=int, help="number of field lines")
    parser.add_argument("--bytes", type=int, help="approximate size of the 8-bit text")
    parser.add_argument("--utf16", action="store_true")
    parser.add_argument("--seed", type=int, default=4200)
    args = parser.parse_args()
    text = generate(random.Random(args.seed), args.lines, args.bytes)
    data = b"\xff\xfe" + text.encode("utf-16-le") if args.utf16 else text.encode("latin-1")
    with open(args.output, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()

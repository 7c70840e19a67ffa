#!/usr/bin/env python3
"""A plain Python converter of AMIDE dumps to VKF files, as a user would write
it, following the same rules as qorvexw: the yardstick of the benchmark.

    py_converter.py DUMP VKF
"""
import sys

SECTIONS = {0: b"BIOS", 1: b"System", 2: b"BaseBoard", 3: b"Chassis", 11: b"OemString"}
FIELDS = {
    b"IVN": (0, False, b"Name"), b"IV": (0, False, b"Version"), b"ID": (0, False, b"Date"),
    b"SM": (1, False, b"Manufacturer"), b"SP": (1, False, b"Product"),
    b"SV": (1, False, b"Version"), b"SS": (1, True, b"SerialNum"), b"SU": (1, True, b"UUID"),
    b"SK": (1, True, b"SKUNum"), b"SF": (1, False, b"Family"),
    b"BM": (2, False, b"Manufacturer"), b"BP": (2, False, b"Product"),
    b"BV": (2, False, b"Version"), b"BS": (2, True, b"SerialNum"),
    b"BT": (2, False, b"AssetTag"), b"BLC": (2, False, b"LocInChassis"),
    b"CM": (3, False, b"Manufacturer"), b"CT": (3, False, b"ChassisType"),
    b"CV": (3, False, b"Version"), b"CS": (3, True, b"SerialNum"), b"CA": (3, True, b"TagNum"),
    b"CO": (3, True, b"ChassisOEM"), b"CSK": (3, False, b"ChassisSKU"),
    b"OS": (11, False, b"String"),
}


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

#!/usr/bin/env python3
"""An independent model of qorvexw's conversion, written from the rules of
the dump and VKF formats, to compare the program against on generated dumps.

It follows the reading rules to the byte: requests of at most 80
characters, the line-feed search that stops at a NUL character, 255
characters per line, the low byte of every UTF-16LE character.
"""

# The model keeps its own copy of the vocabulary on purpose: a table read
# from the program under test would check the program against itself. The
# benchmark's scripts take their field list from here.
SECTIONS = {0: b"BIOS", 1: b"System", 2: b"BaseBoard", 3: b"Chassis", 11: b"OemString"}

# code: (type, strip-h, key), in search order.
FIELDS = [
    (b"IVN", 0, 0, b"Name"), (b"IV", 0, 0, b"Version"), (b"ID", 0, 0, b"Date"),
    (b"SM", 1, 0, b"Manufacturer"), (b"SP", 1, 0, b"Product"), (b"SV", 1, 0, b"Version"),
    (b"SS", 1, 1, b"SerialNum"), (b"SU", 1, 1, b"UUID"), (b"SK", 1, 1, b"SKUNum"),
    (b"SF", 1, 0, b"Family"), (b"BM", 2, 0, b"Manufacturer"), (b"BP", 2, 0, b"Product"),
    (b"BV", 2, 0, b"Version"), (b"BS", 2, 1, b"SerialNum"), (b"BT", 2, 0, b"AssetTag"),
    (b"BLC", 2, 0, b"LocInChassis"), (b"CM", 3, 0, b"Manufacturer"),
    (b"CT", 3, 0, b"ChassisType"), (b"CV", 3, 0, b"Version"), (b"CS", 3, 1, b"SerialNum"),
    (b"CA", 3, 1, b"TagNum"), (b"CO", 3, 1, b"ChassisOEM"), (b"CSK", 3, 0, b"ChassisSKU"),
    (b"OS", 11, 0, b"String"),
]

LINE_LIMIT = 255
REQUEST = 80


def upper_ascii(data):
    return bytes(c - 32 if 97 <= c <= 122 else c for c in data)


def read_line(data, pos, width):
    """Returns (line bytes up to the stored count, new position)."""
    start, out, found = pos, bytearray(), False
    while not found and len(out) < LINE_LIMIT:
        n = min(REQUEST, LINE_LIMIT - len(out))
        chunk = data[pos:pos + n * width]
        pos += len(chunk)
        if not chunk:
            break
        units = len(chunk) // width
        consumed = len(chunk)
        for i in range(units):
            unit = chunk[i] if width == 1 else chunk[2 * i] | (chunk[2 * i + 1] << 8)
            if unit == 0:
                break
            if unit == 10:
                found = True
                consumed = (i + 1) * width
                pos = start + len(out) * width + consumed
                break
        out += bytes(chunk[i * width] for i in range(consumed // width))
    return bytes(out), pos


def parse_line(line):
    """Returns (type, code, key, value) or None; `line` is the C string."""
    line = line.lstrip(b" \t").rstrip(b" \t")
    if len(line) < 10 or line[0:2] != b"(/":
        return None
    close = line.find(b")")
    if close <= 2 or close - 2 > 5:
        return None
    open_quote, close_quote = line.find(b'"'), line.rfind(b'"')
    if open_quote < 0 or close_quote <= open_quote:
        return None
    code = line[2:close]
    row = next((r for r in FIELDS if r[0] == upper_ascii(code)), None)
    if row is None:
        return None
    value = line[open_quote + 1:close_quote]
    if row[2] and value.endswith(b"h"):
        value = value[:-1]
    return row[1], code, row[3], value


def convert(data):
    """Returns (completed, console bytes, VKF bytes) for a dump, not quiet.

    A dump without a field line (one of fewer than 2 bytes included) is not
    converted: no VKF file, and the console ends before the done message,
    where the program names the dump in its error message."""
    if len(data) < 2:
        return False, b"", b""
    width, pos = (2, 2) if data[:2] == b"\xff\xfe" else (1, 0)
    console = [b"Converting dump file of AMIDE to VKF file...\r\n"]
    vkf, last_type = [], 255
    while True:
        line, pos = read_line(data, pos, width)
        if not line:
            break
        record = parse_line(line.split(b"\0", 1)[0])
        if record is None:
            continue
        kind, code, key, value = record
        console.append(b"Type: (%d)%s, Field: (%s)%s, Value: %s\r\n"
                       % (kind, SECTIONS[kind], code, key, value))
        if kind != last_type:
            vkf.append(b"[%s]\r\n" % SECTIONS[kind])
            last_type = kind
        vkf.append(b"%s = %s\r\n" % (key, value))
    if not vkf:
        return False, b"".join(console), b""
    console.append(b"Done!\r\n")
    return True, b"".join(console), b"".join(vkf)

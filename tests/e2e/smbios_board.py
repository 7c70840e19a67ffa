"""The board that QEMU plays in the end-to-end runs of the SMBIOS backup and
verify: the strings given to QEMU's -smbios options, and the VKF file a
backup of that board must give (the fields in the order qorvex writes them).
"""

UUID = "4C4C4544-0031-3410-8052-B4C04F333532"

# (QEMU's structure type, its option, the VKF section and key, the value).
FIELDS = [
    (0, "vendor", "BIOS", "Name", "Northwind Firmware Inc."),
    (0, "version", "BIOS", "Version", "4.20.1107"),
    (0, "date", "BIOS", "Date", "11/07/2023"),
    (1, "manufacturer", "System", "Manufacturer", "Northwind Systems"),
    (1, "product", "System", "Product", "NW-4200 Workstation"),
    (1, "version", "System", "Version", "Rev. B"),
    (1, "serial", "System", "SerialNum", "NW42B0012345"),
    (1, "uuid", "System", "UUID", UUID),
    (1, "sku", "System", "SKUNum", "SKU-4200-EU"),
    (1, "family", "System", "Family", "Workstations"),
    (2, "manufacturer", "BaseBoard", "Manufacturer", "Northwind Boards"),
    (2, "product", "BaseBoard", "Product", "NW-MB42"),
    (2, "version", "BaseBoard", "Version", "1.02"),
    (2, "serial", "BaseBoard", "SerialNum", "MB42-77810A"),
    (2, "asset", "BaseBoard", "AssetTag", "MB-TAG-1"),
    (2, "location", "BaseBoard", "LocInChassis", 'Slot "A" (front)'),
    (3, "manufacturer", "Chassis", "Manufacturer", "Northwind Cases"),
    (None, None, "Chassis", "ChassisType", "01h"),  # QEMU's chassis is of type Other
    (3, "version", "Chassis", "Version", "Tower v2"),
    (3, "serial", "Chassis", "SerialNum", "CH-0099812H"),
    (3, "asset", "Chassis", "TagNum", "IT-000427"),
    (None, None, "Chassis", "ChassisOEM", "00000000"),
    (3, "sku", "Chassis", "ChassisSKU", "TWR-42"),
    (11, "value", "OemString", "String", "Assembled in Ireland"),
    (11, "value", "OemString", "String", "Service tag: 7Q2-NW"),
]


def qemu_args(entry_point_bits=None):
    """The -smbios options of the board (and the entry point type when given)."""
    args = []
    for kind in (0, 1, 2, 3, 11):
        options = ["type=%d" % kind] + ["%s=%s" % (option, value.replace(",", ",,"))
                                         for t, option, _, _, value in FIELDS if t == kind]
        args += ["-smbios", ",".join(options)]
    return args


# The field codes of FIELDS, in its order, for the trace lines.
CODES = ["IVN", "IV", "ID", "SM", "SP", "SV", "SS", "SU", "SK", "SF", "BM", "BP", "BV", "BS", "BT", "BLC",
         "CM", "CT", "CV", "CS", "CA", "CO", "CSK", "OS", "OS"]
SECTION_TYPES = {"BIOS": 0, "System": 1, "BaseBoard": 2, "Chassis": 3, "OemString": 11}


def expected_trace():
    """The trace lines of a backup of the board, as both programs print them."""
    return "".join("Type: (%d)%s, Field: (%s)%s, Value: %s\r\n" % (SECTION_TYPES[section], section, code, key, value)
                   for code, (_, _, section, key, value) in zip(CODES, FIELDS))


def expected_vkf(fields=FIELDS):
    text, section = b"", None
    for _, _, name, key, value in fields:
        if name != section:
            text += b"[%s]\r\n" % name.encode()
            section = name
        text += b"%s = %s\r\n" % (key.encode(), value.encode())
    return text

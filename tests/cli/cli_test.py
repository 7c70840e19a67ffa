#!/usr/bin/env python3
"""Runs qorvexw (native, or a Windows build under Wine) on every command-line
case and on generated dumps, in temporary folders, and compares the console
bytes, the VKF bytes (or their absence) and the exit code.

    cli_test.py --program build/bin/qorvexw
    cli_test.py --program qorvexw.exe --wine /usr/lib/wine/wine64
"""
import argparse
import os
import random
import resource
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_converter  # noqa: E402

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
# The program's version, handed over by the build (ctest sets it from the
# project's version).
BANNER = b"QORVEX ver %s\r\n" % os.environ["QORVEX_VERSION"].encode()
SPECIFY = b"Error, Please specify the name of SMBIOS file and VKF file!\r\n"
ABSENT = None  # Expected content of a file that must not exist.


def open_error(name):
    return b"Error, Can not open the file [%s]!\r\n" % name.encode()


def write_error(name):
    return b"Error, Can not write the file [%s]!\r\n" % name.encode()


def read_error(name):
    return b"Error, Can not read the file [%s]!\r\n" % name.encode()


def no_field(name):
    return b"Error, No field found in the file [%s]!\r\n" % name.encode()


USAGE = (b"Usage: qorvexw <dump file> <VKF file> [/q]\r\n"
         b"       qorvexw /smbios[:<table file>] <VKF file> [/q]\r\n"
         b"       qorvexw /verify[:<table file>] <VKF file> [/q]\r\n"
         b"Converts the DMI editor's dump file into a VKF setting file; /smbios backs up\r\n"
         b"this machine's SMBIOS table (or a dmidecode --dump-bin file) into one, /verify\r\n"
         b"compares this machine with one.\r\n"
         b"  /q   print nothing but error messages\r\n"
         b"Exit code: 0 when the VKF file was written or verify found it equal, 1 on any\r\n"
         b"error, 2 when verify found a difference.\r\n"
         b"Example: qorvexw board.txt board.vkf\r\n")
PROGRESS = b"Converting dump file of AMIDE to VKF file...\r\n"
WINDOWS_NAMES = "the spelling is a Windows one"
LINKS_REPLACED = "the Windows program replaces a link itself"
OLD_VKF = b"[System]\r\nSerialNum = old\r\n"


def example(name):
    with open(os.path.join(EXAMPLES, name), "rb") as f:
        return f.read()


SAMPLE = example("sample-dump.txt")
SAMPLE16 = example("sample-dump-utf16.txt")
SAMPLE_VKF = example("sample.vkf")
SAMPLE_CONSOLE = reference_converter.convert(SAMPLE)[1]
# A dump whose VKF file is 20 times the sample's, 13 KiB.
BIG = SAMPLE * 20
BIG_VKF = reference_converter.convert(BIG)[2]


class Case:
    """One run: files before, arguments, expected console, exit code and files after."""

    def __init__(self, name, args, stdout, code, files=None, after=None, links=None,
                 symlinks=None, native_only=None, wine_only=None, file_limit=None, modes=None):
        # An argument may hold {folder}: the run's folder as Windows names it.
        self.name, self.args, self.stdout, self.code = name, args, stdout, code
        self.files = files or {}
        self.after = after or {}
        self.links = links or {}  # new name -> existing name (hard links)
        self.symlinks = symlinks or {}  # new name -> target as stored in the link
        self.native_only = native_only  # reason the case cannot exist under Wine
        self.wine_only = wine_only  # reason the case cannot exist natively
        self.file_limit = file_limit  # KiB a file may grow to; beyond, writes fail (EFBIG)
        self.modes = modes or {}  # name -> permission bits before the run, kept after it


def longest_record_dump():
    value = b"v" * 247
    line = b'(/BLC)"' + value + b'"'
    assert len(line) == 255
    return line + b'\r\n(/BT)tag "T"\r\n', (b"[BaseBoard]\r\nLocInChassis = " + value
                                           + b"\r\nAssetTag = T\r\n")


LONG_DUMP, LONG_VKF = longest_record_dump()

# SMBIOS tables that dmidecode --dump-bin saved on QEMU (32- and 64-bit entry
# points) for the board of tests/e2e/smbios_board.py, and the backup of it.
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def data(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


TABLE2, TABLE3, BOARD_VKF = data("qemu-smbios2.bin"), data("qemu-smbios3.bin"), data("qemu-board.vkf")


def backup_console(vkf):
    """The trace lines of a backup that wrote `vkf`, and Done!."""
    types = {name: number for number, name in reference_converter.SECTIONS.items()}
    lines, section = b"", None
    for line in vkf.split(b"\r\n")[:-1]:
        if line.startswith(b"["):
            section = line[1:-1]
            continue
        key, value = line.split(b" = ", 1)
        code = next(f[0] for f in reference_converter.FIELDS if f[1] == types[section] and f[3] == key)
        lines += b"Type: (%d)%s, Field: (%s)%s, Value: %s\r\n" % (types[section], section, code, key, value)
    return lines + b"Done!\r\n"


BOARD_CONSOLE = backup_console(BOARD_VKF)
# The 64-bit table cut inside the chassis structure, which starts at byte 265.
CUT_TABLE = TABLE3[:32 + 300]
CUT_VKF = BOARD_VKF[:BOARD_VKF.index(b"[Chassis]")]
CUT_WARNING = b"Warning, The SMBIOS table is damaged at byte 265: the fields from there on are missing\r\n"
EDITED_VKF = BOARD_VKF.replace(b"SerialNum = MB42-77810A", b"SerialNum = MB42-77810B")


def table_file(structures):
    """A table file as dmidecode writes it: a 3.0 entry point, the table at 32."""
    table = b"".join(structures) + b"\x7f\x04\0\0\0\0"
    entry = bytearray(b"_SM3_\0\x18\x03\0\0\x01\0") + len(table).to_bytes(4, "little") + (32).to_bytes(8, "little")
    entry[5] = -sum(entry) & 0xFF
    return bytes(entry).ljust(32, b"\0") + table


LINE_BREAK_TABLE = table_file([b"\x01\x08\0\0\0\0\0\x01two\r\nlines\0\0"])
# The whole 64-bit table file, its entry point stating the length that CUT_TABLE holds.
LONG_FILE = bytearray(TABLE3)
LONG_FILE[0x0C:0x10], LONG_FILE[5] = (300).to_bytes(4, "little"), 0
LONG_FILE[5] = -sum(LONG_FILE[:0x18]) & 0xFF


def verified(compared, different):
    return b"Compared %d fields, %d different\r\n" % (compared, different)


SPECIFY_VKF = b"Error, Please specify the name of VKF file!\r\n"

# Temporary files left by cut runs: of a process id above any Linux one
# (2^22) that no Windows process has either, of this test's running process,
# and names of other patterns, which a run never touches.
GONE = 4194308
LEFT, KEEP = b"cut off", b"keep"
OTHER_PATTERNS = ["qorvexw-%d-0.tmp" % GONE, ".qorvexw-%d-0.tmp~" % GONE, ".qorvexw-0%d-0.tmp" % GONE,
                  ".qorvexw-%d-5.TMP" % GONE, ".qorvexw-%d.tmp" % GONE, ".qorvexw-0-0.tmp",
                  ".qorvexw-%d-0.tmp" % (GONE + 2 ** 32)]

CASES = [
    Case("no arguments", [], BANNER + SPECIFY, 1),
    Case("one argument", ["d.txt"], BANNER + SPECIFY, 1, files={"d.txt": SAMPLE},
         after={"d.txt": SAMPLE}),
    Case("only /q", ["/q"], BANNER + SPECIFY, 1),
    Case("sample dump", ["d.txt", "o.vkf"], BANNER + SAMPLE_CONSOLE, 0,
         files={"d.txt": SAMPLE}, after={"o.vkf": SAMPLE_VKF, "d.txt": SAMPLE}),
    Case("UTF-16LE sample dump", ["d.txt", "o.vkf"], BANNER + SAMPLE_CONSOLE, 0,
         files={"d.txt": SAMPLE16}, after={"o.vkf": SAMPLE_VKF}),
    Case("quiet /q", ["d.txt", "o.vkf", "/q"], b"", 0, files={"d.txt": SAMPLE},
         after={"o.vkf": SAMPLE_VKF}),
    Case("quiet /Q ignores case", ["d.txt", "o.vkf", "/Q"], b"", 0, files={"d.txt": SAMPLE16},
         after={"o.vkf": SAMPLE_VKF}),
    Case("unknown switch is ignored", ["d.txt", "o.vkf", "/x"], BANNER + SAMPLE_CONSOLE, 0,
         files={"d.txt": SAMPLE}, after={"o.vkf": SAMPLE_VKF}),
    Case("/q after a fourth argument is ignored", ["d.txt", "o.vkf", "c", "/q"],
         BANNER + SAMPLE_CONSOLE, 0, files={"d.txt": SAMPLE}, after={"o.vkf": SAMPLE_VKF}),
    Case("/q as the third of four arguments is ignored", ["d.txt", "o.vkf", "/q", "c"],
         BANNER + SAMPLE_CONSOLE, 0, files={"d.txt": SAMPLE}, after={"o.vkf": SAMPLE_VKF}),
    Case("/q first is the dump name", ["/q", "d.txt", "o.vkf"], BANNER + open_error("/q"), 1,
         files={"d.txt": SAMPLE}, after={"d.txt": SAMPLE, "o.vkf": ABSENT}),
    Case("missing dump", ["missing.txt", "o.vkf"], BANNER + open_error("missing.txt"), 1,
         after={"o.vkf": ABSENT}),
    Case("missing dump, quiet", ["missing.txt", "o.vkf", "/q"], open_error("missing.txt"), 1,
         after={"o.vkf": ABSENT}),
    Case("VKF in a missing folder", ["d.txt", "nodir/o.vkf"], BANNER + open_error("nodir/o.vkf"),
         1, files={"d.txt": SAMPLE}),
    Case("existing VKF is replaced", ["d.txt", "o.vkf", "/q"], b"", 0,
         files={"d.txt": SAMPLE, "o.vkf": b"x" * 5000}, after={"o.vkf": SAMPLE_VKF}),
    Case("empty dump", ["d.txt", "o.vkf"], BANNER + no_field("d.txt"), 1, files={"d.txt": b""},
         after={"o.vkf": ABSENT}),
    Case("one-byte dump keeps the old VKF", ["d.txt", "o.vkf"], BANNER + no_field("d.txt"), 1,
         files={"d.txt": b"(", "o.vkf": OLD_VKF}, after={"o.vkf": OLD_VKF}),
    Case("byte-order mark only", ["d.txt", "o.vkf"], BANNER + PROGRESS + no_field("d.txt"), 1,
         files={"d.txt": b"\xff\xfe"}, after={"o.vkf": ABSENT}),
    Case("no field lines keep the old VKF", ["d.txt", "o.vkf", "/q"], no_field("d.txt"), 1,
         files={"d.txt": b"heading\r\n\r\n(/XX)unknown \"v\"\r\n", "o.vkf": OLD_VKF},
         after={"o.vkf": OLD_VKF}),
    Case("a VKF file as dump has no field", ["old.vkf", "o.vkf"],
         BANNER + PROGRESS + no_field("old.vkf"), 1, files={"old.vkf": SAMPLE_VKF},
         after={"o.vkf": ABSENT}),
    Case("help /?", ["/?"], BANNER + USAGE, 0),
    Case("help -h", ["-h"], BANNER + USAGE, 0),
    Case("help --help", ["--help"], BANNER + USAGE, 0),
    Case("version", ["--version"], BANNER, 0),
    Case("help switch with a name is the dump name", ["-h", "o.vkf"], BANNER + open_error("-h"), 1,
         after={"o.vkf": ABSENT}),
    # The test build's mode switch is a plain dump name in the shipped program.
    Case("test-mode switch is the dump name", ["--check-stream-switch", "o.vkf"],
         BANNER + open_error("--check-stream-switch"), 1, after={"o.vkf": ABSENT}),
    Case("VKF name forgotten: /q", ["d.txt", "/q"], BANNER + SPECIFY, 1, files={"d.txt": SAMPLE}),
    Case("VKF name forgotten, quiet: /Q /q", ["d.txt", "/Q", "/q"], SPECIFY, 1,
         files={"d.txt": SAMPLE}),
    Case("VKF name is a help switch", ["d.txt", "--help"], BANNER + SPECIFY, 1,
         files={"d.txt": SAMPLE}),
    Case("VKF name is a mode switch", ["d.txt", "/SMBIOS"], BANNER + SPECIFY, 1,
         files={"d.txt": SAMPLE}),
    Case("a file named like a switch is reached by its path", ["d.txt", "./-h", "/q"], b"", 0,
         files={"d.txt": SAMPLE}, after={"-h": SAMPLE_VKF}),
    Case("VKF name too long for the system", ["d.txt", "x" * 300 + ".vkf"],
         BANNER + open_error("x" * 300 + ".vkf"), 1, files={"d.txt": SAMPLE}),
    Case("folder as dump", ["sub", "o.vkf"], BANNER + open_error("sub"), 1,
         files={"sub/keep": b"", "o.vkf": OLD_VKF}, after={"o.vkf": OLD_VKF}),
    Case("folder as VKF", ["d.txt", "sub", "/q"], open_error("sub"), 1,
         files={"d.txt": SAMPLE, "sub/keep": b""}),
    Case("read error in the dump keeps the old VKF", ["/proc/self/mem", "o.vkf"],
         BANNER + read_error("/proc/self/mem"), 1, files={"o.vkf": OLD_VKF},
         after={"o.vkf": OLD_VKF}, native_only="/proc does not exist for Windows programs"),
    Case("full disk keeps the old VKF", ["d.txt", "o.vkf"],
         BANNER + reference_converter.convert(BIG)[1].replace(b"Done!\r\n", b"")
         + write_error("o.vkf"), 1, files={"d.txt": BIG, "o.vkf": OLD_VKF},
         after={"o.vkf": OLD_VKF}, file_limit=8),
    Case("a VKF that just fits is written", ["d.txt", "o.vkf", "/q"], b"", 0,
         files={"d.txt": BIG, "o.vkf": OLD_VKF}, after={"o.vkf": BIG_VKF},
         file_limit=(len(BIG_VKF) + 1023) // 1024),
    Case("replaced VKF keeps its permission bits", ["d.txt", "o.vkf", "/q"], b"", 0,
         files={"d.txt": SAMPLE, "o.vkf": OLD_VKF}, after={"o.vkf": SAMPLE_VKF},
         modes={"o.vkf": 0o640}, native_only="Windows files have no permission bits"),
    Case("VKF into a pipe", ["d.txt", "/dev/stdout", "/q"], SAMPLE_VKF, 0, files={"d.txt": SAMPLE},
         native_only="/dev/stdout does not exist for Windows programs"),
    Case("longest record is not cut", ["d.txt", "o.vkf", "/q"], b"", 0,
         files={"d.txt": LONG_DUMP}, after={"o.vkf": LONG_VKF}),
    Case("full disk", ["d.txt", "/dev/full"],
         BANNER + SAMPLE_CONSOLE.replace(b"Done!\r\n", b"") + write_error("/dev/full"), 1,
         files={"d.txt": SAMPLE},
         native_only="/dev/full does not exist for Windows programs"),
    Case("full disk, quiet", ["d.txt", "/dev/full", "/q"], write_error("/dev/full"), 1,
         files={"d.txt": SAMPLE}, native_only="/dev/full does not exist for Windows programs"),
    Case("VKF is the dump", ["d.txt", "d.txt"], BANNER + open_error("d.txt"), 1,
         files={"d.txt": SAMPLE}, after={"d.txt": SAMPLE}),
    Case("VKF is the dump, quiet", ["d.txt", "d.txt", "/q"], open_error("d.txt"), 1,
         files={"d.txt": SAMPLE}, after={"d.txt": SAMPLE}),
    Case("VKF is the dump spelled ./", ["d.txt", "./d.txt"], BANNER + open_error("./d.txt"), 1,
         files={"d.txt": SAMPLE}, after={"d.txt": SAMPLE}),
    Case("VKF is the dump spelled through ..", ["d.txt", "sub/../d.txt"],
         BANNER + open_error("sub/../d.txt"), 1, files={"d.txt": SAMPLE, "sub/keep": b""},
         after={"d.txt": SAMPLE}),
    Case("VKF is a hard link to the dump", ["d.txt", "link.txt"], BANNER + open_error("link.txt"),
         1, files={"d.txt": SAMPLE}, links={"link.txt": "d.txt"},
         after={"d.txt": SAMPLE, "link.txt": SAMPLE}),
    Case("VKF is a symbolic link to the dump", ["d.txt", "sub/link.txt"],
         BANNER + open_error("sub/link.txt"), 1, files={"d.txt": SAMPLE, "sub/keep": b""},
         symlinks={"sub/link.txt": "../d.txt"}, after={"d.txt": SAMPLE}),
    Case("VKF is a symbolic link: its file is replaced, the link stays", ["d.txt", "o.vkf", "/q"],
         b"", 0, files={"d.txt": SAMPLE, "real/o.vkf": OLD_VKF}, symlinks={"o.vkf": "real/o.vkf"},
         after={"real/o.vkf": SAMPLE_VKF}, native_only=LINKS_REPLACED),
    Case("VKF is a symbolic link that leads nowhere", ["d.txt", "o.vkf", "/q"], open_error("o.vkf"),
         1, files={"d.txt": SAMPLE}, symlinks={"o.vkf": "nowhere/o.vkf"},
         native_only=LINKS_REPLACED),
    Case("VKF is a link to a link to the dump", ["d.txt", "second.txt"],
         BANNER + open_error("second.txt"), 1, files={"d.txt": SAMPLE},
         symlinks={"first.txt": "d.txt", "second.txt": "first.txt"}, after={"d.txt": SAMPLE}),
    Case("VKF is the dump in other letter case", ["d.txt", "D.TXT"], BANNER + open_error("D.TXT"),
         1, files={"d.txt": SAMPLE}, after={"d.txt": SAMPLE},
         wine_only="names differing in letter case are distinct here"),
    Case("VKF is the dump in more than 260 characters", ["d.txt", ".\\" * 128 + "d.txt"],
         BANNER + open_error(".\\" * 128 + "d.txt"), 1, files={"d.txt": SAMPLE},
         after={"d.txt": SAMPLE}, wine_only=WINDOWS_NAMES),
    Case("VKF is the dump in the \\\\?\\ form", ["d.txt", "\\\\?\\{folder}\\d.txt"],
         BANNER + open_error("\\\\?\\{folder}\\d.txt"), 1, files={"d.txt": SAMPLE},
         after={"d.txt": SAMPLE}, wine_only=WINDOWS_NAMES),
    Case("VKF into the NUL device", ["d.txt", "NUL"], BANNER + SAMPLE_CONSOLE, 0,
         files={"d.txt": SAMPLE}, wine_only=WINDOWS_NAMES),
    Case("full-width VKF name does not reach another file", ["d.txt", "\uff4f.vkf"],
         BANNER + open_error("o.vkf"), 1, files={"d.txt": SAMPLE, "o.vkf": OLD_VKF},
         after={"o.vkf": OLD_VKF}, wine_only=WINDOWS_NAMES),
    Case("backup of a table file, 64-bit entry point", ["/smbios:t.bin", "o.vkf"], BANNER + BOARD_CONSOLE, 0,
         files={"t.bin": TABLE3}, after={"o.vkf": BOARD_VKF, "t.bin": TABLE3}),
    Case("backup of a table file, 32-bit entry point, quiet /Q", ["/SMBIOS:t.bin", "o.vkf", "/Q"], b"", 0,
         files={"t.bin": TABLE2, "o.vkf": b"x" * 3000}, after={"o.vkf": BOARD_VKF}),
    Case("backup without a VKF name", ["/smbios"], BANNER + SPECIFY_VKF, 1),
    Case("backup of a missing table file", ["/smbios:no.bin", "o.vkf"], BANNER + open_error("no.bin"), 1,
         after={"o.vkf": ABSENT}),
    Case("backup of a file without an entry point", ["/smbios:d.txt", "o.vkf", "/q"],
         b"Error, No valid SMBIOS entry point in [d.txt]!\r\n", 1, files={"d.txt": SAMPLE},
         after={"o.vkf": ABSENT}),
    Case("backup into the table file itself", ["/smbios:t.bin", "./t.bin", "/q"], open_error("./t.bin"), 1,
         files={"t.bin": TABLE3}, after={"t.bin": TABLE3}),
    Case("backup of a table cut short", ["/smbios:t.bin", "o.vkf", "/q"], CUT_WARNING, 0,
         files={"t.bin": CUT_TABLE}, after={"o.vkf": CUT_VKF}),
    Case("backup of a table file longer than its entry point states", ["/smbios:t.bin", "o.vkf", "/q"],
         CUT_WARNING, 0, files={"t.bin": bytes(LONG_FILE)}, after={"o.vkf": CUT_VKF}),
    Case("backup of a string with a line break", ["/smbios:t.bin", "o.vkf", "/q"],
         b"Warning, [System] SerialNum holds a line break: a blank stands in its place\r\n", 0,
         files={"t.bin": LINE_BREAK_TABLE},
         after={"o.vkf": b"[System]\r\nManufacturer = \r\nProduct = \r\nVersion = \r\nSerialNum = two  lines\r\n"}),
    Case("temporary files of gone processes in the VKF's folder are removed, no other file",
         ["d.txt", "sub/o.vkf", "/q"], b"", 0,
         files=dict({"d.txt": SAMPLE, "sub/o.vkf": OLD_VKF, ".qorvexw-%d-0.tmp" % GONE: KEEP,
                     "sub/.qorvexw-%d-0.tmp" % GONE: LEFT, "sub/.qorvexw-%d-99.tmp" % GONE: LEFT},
                    **{"sub/" + name: KEEP for name in OTHER_PATTERNS}),
         after=dict({"sub/o.vkf": SAMPLE_VKF, ".qorvexw-%d-0.tmp" % GONE: KEEP,
                     "sub/.qorvexw-%d-0.tmp" % GONE: ABSENT, "sub/.qorvexw-%d-99.tmp" % GONE: ABSENT},
                    **{"sub/" + name: KEEP for name in OTHER_PATTERNS})),
    Case("temporary file of a running process is kept", ["d.txt", "o.vkf", "/q"], b"", 0,
         files={"d.txt": SAMPLE, ".qorvexw-%d-0.tmp" % os.getpid(): LEFT},
         after={"o.vkf": SAMPLE_VKF, ".qorvexw-%d-0.tmp" % os.getpid(): LEFT},
         native_only="the test's process id is no Windows process id"),
    Case("verify equal, quiet", ["/verify:t.bin", "o.vkf", "/q"], verified(25, 0), 0,
         files={"t.bin": TABLE2, "o.vkf": BOARD_VKF}, after={"o.vkf": BOARD_VKF}),
    Case("verify different, quiet", ["/Verify:t.bin", "o.vkf", "/q"],
         b'[BaseBoard] SerialNum: file "MB42-77810B", machine "MB42-77810A"\r\n' + verified(25, 1), 2,
         files={"t.bin": TABLE3, "o.vkf": EDITED_VKF}, after={"o.vkf": EDITED_VKF}),
    Case("verify of fields the machine lacks", ["/verify:t.bin", "o.vkf"],
         BANNER + b'[OemString] String: file "third", machine has none\r\n' + verified(3, 1), 2,
         files={"t.bin": TABLE3, "o.vkf": b"[OemString]\nString = Assembled in Ireland\nString = Service tag: "
                                            b"7Q2-NW\nString = third\n"}),
    Case("verify of a file that is no VKF file", ["/verify:t.bin", "d.txt", "/q"],
         b"Error, Line 1 of [d.txt] is not a VKF line!\r\n", 1, files={"t.bin": TABLE3, "d.txt": SAMPLE}),
    Case("verify of a file naming no field, quiet /Q", ["/verify:t.bin", "o.vkf", "/Q"],
         no_field("o.vkf"), 1, files={"t.bin": TABLE3, "o.vkf": b"[BIOS]\r\n"}),
    Case("verify of a missing VKF file", ["/verify:t.bin", "no.vkf"], BANNER + open_error("no.vkf"), 1,
         files={"t.bin": TABLE3}),
]


class Runner:
    def __init__(self, program, wine):
        self.program, self.wine = os.path.abspath(program), wine

    def run(self, folder, args, file_limit=None):
        command = ([self.wine] if self.wine else []) + [self.program] + args

        def limit_files():
            # A full disk without one: writes past the limit fail with EFBIG.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit * 1024, file_limit * 1024))

        done = subprocess.run(command, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=120, preexec_fn=limit_files if file_limit else None)
        return done.stdout, done.returncode

    def console(self, text):
        # A Windows console stream is in text mode: every LF gains a CR.
        return text.replace(b"\n", b"\r\n") if self.wine else text


def prepare(folder, case):
    for name, data in case.files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for new, existing in case.links.items():
        os.link(os.path.join(folder, existing), os.path.join(folder, new))
    for new, target in case.symlinks.items():
        os.symlink(target, os.path.join(folder, new))
    for name, mode in case.modes.items():
        os.chmod(os.path.join(folder, name), mode)


def listing(folder):
    names = set()
    for top, folders, files in os.walk(folder):
        for name in files + folders:
            names.add(os.path.relpath(os.path.join(top, name), folder))
    return names


def expected_listing(case):
    """Every name the run may leave: no temporary or stray file beyond these."""
    names = set(case.files) | set(case.links) | set(case.symlinks)
    names |= {name for name, data in case.after.items() if data is not ABSENT}
    return names | {os.path.dirname(name) for name in names if os.path.dirname(name)}


def differences(runner, folder, case, stdout, code):
    problems = []
    if code != case.code:
        problems.append("exit code %d, expected %d" % (code, case.code))
    if stdout != runner.console(case.stdout):
        problems.append("console %r, expected %r" % (stdout[:400], runner.console(case.stdout)[:400]))
    for name, data in case.after.items():
        path = os.path.join(folder, name)
        if data is ABSENT:
            if os.path.exists(path):
                problems.append("%s exists, expected none" % name)
            continue
        if not os.path.exists(path):
            problems.append("%s is missing" % name)
            continue
        with open(path, "rb") as f:
            actual = f.read()
        if actual != data:
            problems.append("%s holds %r, expected %r" % (name, actual[:300], data[:300]))
    for name, mode in case.modes.items():
        actual = os.stat(os.path.join(folder, name)).st_mode & 0o7777
        if actual != mode:
            problems.append("%s has mode %o, expected %o" % (name, actual, mode))
    extra = listing(folder) - expected_listing(case)
    if extra:
        problems.append("left behind: %s" % ", ".join(sorted(extra)))
    return problems


def in_folder(case, folder):
    """The case with {folder} in its arguments and messages filled in."""
    if not any("{folder}" in arg for arg in case.args):
        return case
    name = "Z:" + folder.replace("/", "\\")
    return Case(case.name, [arg.replace("{folder}", name) for arg in case.args],
                case.stdout.replace(b"{folder}", name.encode()), case.code, case.files,
                case.after, case.links, case.symlinks, case.native_only, case.wine_only,
                case.file_limit, case.modes)


def run_case(runner, case):
    with tempfile.TemporaryDirectory(prefix="qorvexw-") as folder:
        prepare(folder, case)
        case = in_folder(case, folder)
        stdout, code = runner.run(folder, case.args, case.file_limit)
        return differences(runner, folder, case, stdout, code)


# Generated dumps: fields mixed with everything the reading rules treat
# specially, in both encodings.
CODES = [r[0].decode() for r in reference_converter.FIELDS] + ["XX", "OS 1", "", "ABCDEF"]


def random_value(rng):
    pieces = ["Maker", "Rev.\t2", ' "inner" ', "h", "H", "\xe9t\xe9", "(/SM)", "'", "0Ah"]
    value = "".join(rng.choice(pieces) for _ in range(rng.randint(0, 5)))
    return value + rng.choice(["", "", "h", "H", "h h"])


def random_line(rng):
    kind = rng.random()
    if kind < 0.55:
        code = rng.choice(CODES)
        code = code.lower() if rng.random() < 0.2 else code
        return "%s(/%s)%s \"%s\"%s" % (rng.choice(["", " ", "\t ", ""]), code,
                                      "x" * rng.randint(0, 30), random_value(rng),
                                      rng.choice(["", " ", "\t", " tail", "\r"]))
    if kind < 0.65:
        return "(/%s)%s\"%s\"" % (rng.choice(CODES), "y" * rng.randint(0, 40),
                                  "z" * rng.randint(150, 400))
    if kind < 0.72:
        return "(/SS)\"%s\"" % ("a" * rng.randint(0, 4))
    if kind < 0.78:
        return "(/SM)x \"a\0b\"" if rng.random() < 0.5 else "\0(/SM)x \"v\""
    return rng.choice(["", "  System Information", "\ufeff(/SM)x \"bom\"", "\t", "(/SM)x v"])


def random_dump(seed):
    rng = random.Random(seed)
    text = "".join(random_line(rng) + rng.choice(["\r\n", "\n"]) for _ in range(rng.randint(0, 40)))
    if rng.random() < 0.3:
        text += random_line(rng)  # Last line without line feed.
    if rng.random() < 0.5:
        return text.encode("latin-1", "replace")
    wide = text.replace("\xe9", rng.choice(["\u0141", "\u010a", "\u0100", "\xe9"]))
    data = b"\xff\xfe" + wide.encode("utf-16-le")
    return data + (b"q" if rng.random() < 0.2 else b"")


def run_generated(runner, seed, quiet):
    data = random_dump(seed)
    completed, console, vkf = reference_converter.convert(data)
    args = ["d.txt", "o.vkf"] + (["/q"] if quiet else [])
    expected_console = b"" if quiet else BANNER + console
    if not completed:
        expected_console += no_field("d.txt")
    case = Case("generated %d" % seed, args, expected_console, 0 if completed else 1,
                files={"d.txt": data}, after={"o.vkf": vkf if completed else ABSENT, "d.txt": data})
    return run_case(runner, case)


# Exit code that ctest reports as a skipped test (SKIP_RETURN_CODE).
SKIPPED = 77


def can_run(loader):
    try:
        return subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", help="Wine loader that runs the Windows program")
    parser.add_argument("--generated", type=int, default=0, help="number of generated dumps")
    parser.add_argument("--no-cases", action="store_true", help="run generated dumps only")
    parser.add_argument("--stream-switch", action="store_true",
                        help="run the program's check of reading and writing one file in turn "
                             "(a mode of the Windows test build)")
    args = parser.parse_args()
    runner = Runner(args.program, args.wine)
    if args.wine and not can_run(args.wine):
        print("SKIP every case: %s cannot run on this machine (it cannot execute "
              "programs of that architecture)" % args.wine)
        return SKIPPED

    results = {"ok": 0, "FAIL": 0, "SKIP": 0}

    def report(status, name, detail=""):
        results[status] += 1
        print("%-4s %s%s" % (status, name, (": " + detail) if detail else ""), flush=True)

    if not args.no_cases:
        for case in CASES:
            if args.wine and case.native_only:
                report("SKIP", case.name, case.native_only)
                continue
            if not args.wine and case.wine_only:
                report("SKIP", case.name, case.wine_only)
                continue
            problems = run_case(runner, case)
            report("FAIL" if problems else "ok", case.name, "; ".join(problems))
    if args.stream_switch:
        with tempfile.TemporaryDirectory(prefix="qorvexw-") as folder:
            stdout, code = runner.run(folder, ["--check-stream-switch", "s.bin"])
            problems = differences(runner, folder, Case("", [], b"ok\n", 0), stdout, code)
        report("FAIL" if problems else "ok", "stream switch check", "; ".join(problems))
    for seed in range(args.generated):
        problems = run_generated(runner, seed, quiet=seed % 5 == 4)
        report("FAIL" if problems else "ok", "generated dump %d" % seed, "; ".join(problems))

    print("%d passed, %d failed, %d skipped" % (results["ok"], results["FAIL"], results["SKIP"]))
    return 1 if results["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())

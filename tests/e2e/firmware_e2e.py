#!/usr/bin/env python3
"""End-to-end run of qorvex.efi and shellbridge.efi on real UEFI firmware.

Builds a FAT disk image with the images, the test dumps and a startup.nsh
script, and a copy of it without the script, boots OVMF in QEMU (q35,
software emulation) once, lets OVMF's built-in UEFI shell run every case with
its output redirected to files and its status recorded, and reads the files
back with mtools. Each case is then judged by this script alone: the captured
standard output and standard error text, the status (%lasterror%, the
bridge's %bridgestatus% and qorvex's %qorvexstatus%), and the bytes and
attributes of the files it touched. It prints one line per case and a
closing "N passed, N failed" line.

The table of qorvex.efi cases runs twice in the boot: on FS0: through
shellbridge.efi, which gives qorvex.efi the EFI 1.x shell interface and
environment, and on FS1:, the copy of the disk, typed directly as "qorvex",
where qorvex.efi binds itself to the UEFI 2.x shell. Both runs must give the
same output, status and files. Then the other machine's qorvex is typed at
the prompt (TYPED). --machine aa64 runs the same rows, renamed by on_machine,
on AAVMF with qorvexaa64.efi and the AArch64 test images (see MACHINES).

How the UEFI shell of OVMF behaves here (EDK II UEFI Shell 2.2), which the
script relies on:
  - The 5-second "Press ESC ... to skip startup.nsh" countdown ends at once on
    any other key: the harness sends a blank on the serial console when the
    prompt appears.
  - "cmd > f" writes UCS-2 with a byte-order mark (also when nothing is
    printed), "2> f" does the same for standard error, ">>a f" appends 8-bit
    text. Only one redirection per stream is allowed; a script line that the
    shell cannot parse ends the whole script ("Script Error Status").
  - %lasterror% shows an application's status without its error bit
    (0x8000000000000002 shows as 0x2); shellbridge.efi therefore stores the
    full status in %bridgestatus%, qorvex.efi in %qorvexstatus%.
  - setvar NAME -guid G -bs -rt -nv =HEX sets a variable from hex bytes;
    "=" with no bytes deletes it. attrib +r sets the FAT read-only attribute.
  - "reset -s" powers the machine off, which ends QEMU (-no-reboot).

Exit status: 0 when every case passed, 1 when one failed, 77 (skipped) when
the firmware platform (QEMU, OVMF, mtools, dosfstools) or an image is missing
and the options do not require it: --require-all requires the platform,
shellbridge.efi and the test images argecho.efi, fatprobe.efi and
libprobe.efi, --require-qorvex requires qorvex.efi. Either way it says what
is missing.
"""

import argparse
import dataclasses
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

import smbios_board
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
EXPECTED = os.path.join(HERE, "expected")
SKIP = 77

ERROR_BIT = 1 << 63
EFI_SUCCESS = 0
EFI_LOAD_ERROR = ERROR_BIT | 1
EFI_INVALID_PARAMETER = ERROR_BIT | 2
EFI_UNSUPPORTED = ERROR_BIT | 3
EFI_WRITE_PROTECTED = ERROR_BIT | 8
EFI_VOLUME_FULL = ERROR_BIT | 11
EFI_NOT_FOUND = ERROR_BIT | 14
EFI_ACCESS_DENIED = ERROR_BIT | 15
EFI_ABORTED = ERROR_BIT | 21
EFI_COMPROMISED_DATA = ERROR_BIT | 33

GLOBAL_VARIABLE = "8BE4DF61-93CA-11D2-AA0D-00E098032B8C"
DEBUG_MASK_VARIABLE = "59D1C24F-50F1-401A-B101-F33E0DAED443"

# Marks in a case's file table.
ABSENT = "absent"
DIRECTORY = "directory"


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def crlf(text):
    return text.replace("\n", "\r\n")


# The program's version, handed over by the build (ctest sets it from the
# project's version); expected console texts carry @VERSION@ in its place.
VERSION = os.environ["QORVEX_VERSION"]


def expected_text(name):
    return crlf(read(os.path.join(EXPECTED, name), "r")).replace("@VERSION@", VERSION)


DUMP8 = read(os.path.join(DATA, "d8.txt"))
DUMP16 = read(os.path.join(DATA, "d16.txt"))
VKF8 = read(os.path.join(EXPECTED, "d8.vkf"))
VKF16 = read(os.path.join(EXPECTED, "d16.vkf"))
RUN8 = expected_text("d8.out")
RUN16 = expected_text("d16.out")
OLD_VKF = b"".join(b"OldKey%04d = a line of the earlier, longer VKF file\r\n" % i for i in range(60))
READ_ONLY_VKF = b"[BIOS]\r\nName = kept because the file is read-only\r\n"
# A dump whose VKF file (about 1.5 KB) does not fit the one free cluster of
# the nearly full disk, and a text without a single field line.
BIG_DUMP = DUMP8 * 3
NO_FIELD_DUMP = b"[BIOS]\r\nName = a VKF file taken for a dump\r\n"

# The name table that fatprobe.efi puts to OVMF's FAT driver, the files it
# works on (laid out in \fatnames) and OVMF's recorded answers; the host
# tests put the same table to the fake FAT (fake_fat_names_test.cpp).
FAT_LAYOUT = read(os.path.join(DATA, "fat_layout.txt")).decode("latin-1").splitlines()
FAT_CASES = read(os.path.join(DATA, "fat_cases.txt"))
FAT_ANSWERS_PATH = os.path.join(EXPECTED, "fat_names.out")
FAT_ANSWERS = crlf(read(FAT_ANSWERS_PATH, "r")) if os.path.exists(FAT_ANSWERS_PATH) else ""

BANNER = "QORVEX ver %s\r\n" % VERSION
MISSING_NAMES = "Error: Please specify the name of SMBIOS file and VKF file!\r\n"
NO_HANDLE = "LibLocateProtocol: Handle not found\r\n"
USAGE = "Usage: shellbridge.efi [-bare] APP.efi [arguments...]\r\n"
NOT_STARTED = "InitShellApp: Application not started from Shell\r\n"


def unknown_flag(arg):
    return "Error: Unknown flag - '%s'\r\n" % arg


def duplicated_flag(arg):
    return "Error: Duplicated flag - '%s'\r\n" % arg


def open_failed(name):
    return "Error: Can not open the file [%s](Exist?Readonly?Directory?)!\r\n" % name


def write_failed(name):
    return "Error: Can not write the file [%s]!\r\n" % name


def no_field(name):
    return "Error: No field found in the file [%s]!\r\n" % name


PROGRESS = "Converting dump file of AMIDE to VKF file...\r\n"
USAGE_QORVEX = ("Usage: qorvex <dump file> <VKF file> [/q]\r\n"
                "       qorvex /smbios[:<table file>] <VKF file> [/q]\r\n"
                "       qorvex /verify[:<table file>] <VKF file> [/q]\r\n"
                "Converts the DMI editor's dump file into a VKF setting file.\r\n"
                "  /smbios  back up the firmware's SMBIOS table (or a dmidecode --dump-bin file) into it\r\n"
                "  /verify  compare the firmware's SMBIOS table with it\r\n"
                "  /q   print nothing but error messages\r\n"
                "Status: EFI_SUCCESS when the VKF file was written, an error status otherwise"
                " (echo %lasterror%).\r\n"
                "EFI_COMPROMISED_DATA when verify found a difference.\r\n"
                "Example: qorvex board.txt board.vkf\r\n")


def status_text(status):
    """The shell's way of showing a status: 0x and upper-case digits."""
    return "0x%X" % status


@dataclasses.dataclass
class Case:
    name: str
    command: str
    out: str = ""
    err: str = ""
    status: int = EFI_SUCCESS
    bridged: bool = True  # started through shellbridge.efi, which sets %bridgestatus%
    disk: int = 0  # runs on FS0:, or on FS1:, the copy of the disk
    files: dict = dataclasses.field(default_factory=dict)
    read_only: tuple = ()  # files that must still carry the read-only attribute
    before: tuple = ()  # shell lines run before the case
    after: tuple = ()  # shell lines run after its status has been recorded
    needs: str = "qorvex.efi"
    reaches_qorvex: bool = True  # False where the shell answers the line itself


BRIDGED = "shellbridge.efi qorvex.efi "


def qorvex(args):
    return BRIDGED + args


QORVEX_CASES = [
    Case("utf16", qorvex("d16.txt c16.vkf"), out=RUN16, files={"c16.vkf": VKF16}),
    Case("ansi", qorvex("d8.txt c8.vkf"), out=RUN8, files={"c8.vkf": VKF8, "d8.txt": DUMP8}),
    Case("quiet_first", qorvex("/q d8.txt qf.vkf"), files={"qf.vkf": VKF8}),
    Case("quiet_middle", qorvex("d8.txt /Q qm.vkf"), files={"qm.vkf": VKF8}),
    Case("quiet_last", qorvex("d8.txt ql.vkf /q"), files={"ql.vkf": VKF8}),
    Case("quiet_twice", qorvex("d8.txt qd.vkf /q /Q"), out=duplicated_flag("/Q"),
         status=EFI_INVALID_PARAMETER, files={"qd.vkf": ABSENT}),
    Case("unknown_flag", qorvex("d8.txt uf.vkf -x"), out=unknown_flag("-x"),
         status=EFI_INVALID_PARAMETER, files={"uf.vkf": ABSENT}),
    Case("dash_name", qorvex("-dash.txt dn.vkf"), out=unknown_flag("-dash.txt"),
         status=EFI_INVALID_PARAMETER, files={"dn.vkf": ABSENT}),
    Case("dash_name_quoted", qorvex('"-dash.txt" dq.vkf'), out=RUN8, files={"dq.vkf": VKF8}),
    Case("dash_name_escaped", qorvex("^-dash.txt de.vkf"), out=RUN8, files={"de.vkf": VKF8}),
    Case("escaped_last_name", qorvex("d8.txt ^-el.vkf"), out=RUN8, files={"-el.vkf": VKF8}),
    Case("caret_ends_the_line", qorvex("d8.txt ce.vkf ^"), out=RUN8, files={"ce.vkf": VKF8}),
    Case("one_name", qorvex("d8.txt"), out=BANNER + MISSING_NAMES, status=EFI_INVALID_PARAMETER),
    Case("quiet_one_name", qorvex("/q d8.txt"), out=MISSING_NAMES, status=EFI_INVALID_PARAMETER),
    Case("extra_argument", qorvex("d8.txt ex.vkf extra"), out=RUN8,
         files={"ex.vkf": VKF8, "extra": ABSENT}),
    # A quoted /q is a file name: here the dump's, which FAT refuses as a name.
    Case("quoted_quiet", qorvex('"/q" d8.txt qq.vkf'), out=BANNER + open_failed("/q"),
         status=EFI_INVALID_PARAMETER, files={"qq.vkf": ABSENT, "d8.txt": DUMP8}),
    Case("empty_argument", qorvex('"" d8.txt "" ea.vkf'), out=RUN8, files={"ea.vkf": VKF8}),
    Case("missing_dump", qorvex("nosuch.txt md.vkf"), out=BANNER + open_failed("nosuch.txt"),
         status=EFI_NOT_FOUND, files={"md.vkf": ABSENT}),
    Case("directory_dump", qorvex("sub dd.vkf"), out=BANNER + open_failed("sub"),
         status=EFI_LOAD_ERROR, files={"dd.vkf": ABSENT}),
    Case("directory_vkf", qorvex("d8.txt sub"), out=BANNER + open_failed("sub"),
         status=EFI_ABORTED, files={"sub": DIRECTORY, "sub/keep.txt": b"keep\r\n"}),
    Case("replace_longer", qorvex("d8.txt old.vkf"), out=RUN8, files={"old.vkf": VKF8}),
    Case("read_only_vkf", qorvex("d8.txt ro.vkf"), out=BANNER + open_failed("ro.vkf"),
         status=EFI_ACCESS_DENIED, files={"ro.vkf": READ_ONLY_VKF}, read_only=("ro.vkf",),
         before=("attrib +r ro.vkf",)),
    Case("same_file", qorvex("same.txt same.txt"), out=BANNER + open_failed("same.txt"),
         status=EFI_ACCESS_DENIED, files={"same.txt": DUMP8}),
    Case("same_file_spelled_apart", qorvex("same.txt fs0:\\SAME.TXT"),
         out=BANNER + open_failed("fs0:\\SAME.TXT"), status=EFI_ACCESS_DENIED,
         files={"same.txt": DUMP8}),
    # Spellings that OVMF's FAT resolves to the dump: refused, dump untouched.
    *[Case("spelled_" + name, qorvex("%s %s" % (dump, vkf)), out=BANNER + open_failed(vkf.strip('"')),
           status=EFI_ACCESS_DENIED, files={dump_file: DUMP8})
      for name, dump, vkf, dump_file in [
          ("trailing_dot", "d1.txt", "d1.txt.", "d1.txt"),
          ("trailing_blank", "d2.txt", '"d2.txt "', "d2.txt"),
          ("two_dots", "d3.txt", "d3.txt..", "d3.txt"),
          ("case_and_dot", "d1.txt", "D1.TXT.", "d1.txt"),
          ("dot_of_the_file", "d1.txt", "d1.txt\\.", "d1.txt"),
          ("short_name", "longdumpname.txt", "LONGDU~1.TXT", "longdumpname.txt"),
          ("long_name", "LONGDU~1.TXT", "longdumpname.txt", "longdumpname.txt"),
          ("through_directories", "sub\\d6.txt", "sub\\..\\sub\\.\\d6.txt.", "sub/d6.txt"),
          ("dot_and_blanks", "d10.txt", '".\\d10.txt. ."', "d10.txt"),
          ("mapping_without_root", "d1.txt", "fs0:d1.txt", "d1.txt"),
          ("other_mapping_of_the_volume", "d1.txt", "BLK0:\\d1.txt", "d1.txt"),
      ]],
    # Names that look alike but are other files still convert.
    Case("lookalike_longer_name", qorvex("d4.txt d4.txt.vkf"), out=RUN8,
         files={"d4.txt": DUMP8, "d4.txt.vkf": VKF8}),
    Case("lookalike_next_short_name", qorvex("longdumpname.txt LONGDU~2.TXT"), out=RUN8,
         files={"longdumpname.txt": DUMP8, "longdumpnote.txt": ABSENT, "LONGDU~2.TXT": VKF8}),
    # A failed run leaves the VKF name as it was: no file, or the old one.
    Case("dump_of_0_bytes", qorvex("zero.dmp z0.vkf"), out=BANNER + no_field("zero.dmp"), status=EFI_ABORTED,
         files={"z0.vkf": ABSENT}),
    Case("dump_of_1_byte", qorvex("one.dmp z1.vkf"), out=BANNER + no_field("one.dmp"), status=EFI_ABORTED,
         files={"z1.vkf": ABSENT}),
    Case("no_field", qorvex("nofield.txt nf.vkf"), out=BANNER + PROGRESS + no_field("nofield.txt"),
         status=EFI_ABORTED, files={"nf.vkf": OLD_VKF}),
    # fs2: is a small disk with one free cluster; the old VKF file on it stays
    # whole, and nothing else is left there.
    Case("volume_full", qorvex("/q big.txt fs2:\\full.vkf"), out=write_failed("fs2:\\full.vkf"),
         status=EFI_VOLUME_FULL, files={"fs2:full.vkf": OLD_VKF, "fs2:": ["FILLER.BIN", "full.vkf"]}),
    # fs3: is a read-only virtio disk.
    Case("write_protected_old_vkf", qorvex("d8.txt fs3:\\kept.vkf"), out=BANNER + open_failed("fs3:\\kept.vkf"),
         status=EFI_WRITE_PROTECTED, files={"fs3:kept.vkf": OLD_VKF, "fs3:": ["kept.vkf"]}),
    Case("write_protected_new_vkf", qorvex("d8.txt fs3:\\new.vkf"), out=BANNER + open_failed("fs3:\\new.vkf"),
         status=EFI_WRITE_PROTECTED, files={"fs3:": ["kept.vkf"]}),
    Case("help", qorvex("/?"), out=BANNER + USAGE_QORVEX),
    # OVMF's shell takes "-?" on any command line as a request for its own
    # help, so under it qorvex is asked for help with "/?" only.
    Case("help_dash_taken_by_the_shell", qorvex("-? d8.txt hd.vkf"), out="help: Too many arguments\r\n",
         status=EFI_INVALID_PARAMETER, bridged=False, reaches_qorvex=False, files={"hd.vkf": ABSENT}),
    # OVMF has no message strings in French: the en-US retry prints English.
    Case("language_fr", qorvex("d8.txt"), out=BANNER + MISSING_NAMES, status=EFI_INVALID_PARAMETER,
         before=("setvar PlatformLang -guid %s -bs -rt -nv =66722D465200" % GLOBAL_VARIABLE,),
         after=("setvar PlatformLang -guid %s -bs -rt -nv =656E00" % GLOBAL_VARIABLE,)),
    # 0x80000040 enables information reports: OVMF has no debug-assert
    # protocol, so the start-up's lookup of it is reported.
    Case("debug_reports", qorvex("/q d8.txt dbg.vkf"), err=NO_HANDLE, files={"dbg.vkf": VKF8},
         before=("setvar EFIDebug -guid %s -bs -nv =4000008000000000" % DEBUG_MASK_VARIABLE,),
         after=("setvar EFIDebug -guid %s -bs -nv =" % DEBUG_MASK_VARIABLE,)),
    # Without the bridge qorvex.efi binds itself to the UEFI shell.
    Case("without_bridge", "qorvex.efi d8.txt nb.vkf", out=RUN8, bridged=False, files={"nb.vkf": VKF8}),
]

# Started with no shell interface at all (as by a boot manager), qorvex.efi
# ends at once through Exit with the shell interface's lookup status.
NO_SHELL_CASES = [
    Case("without_any_shell", "shellbridge.efi -bare qorvex.efi d8.txt ns.vkf", err=NOT_STARTED,
         status=EFI_UNSUPPORTED, files={"ns.vkf": ABSENT}),
]

# The mappings of FS0: and of its copy, FS1:, as OVMF's shell names them.
DISK_MAPPINGS = (("fs0:", "fs1:"), ("BLK0:", "BLK1:"))


def typed_directly(case):
    """The case typed as "qorvex ..." on the copy of the disk, with the same expectations."""
    def on_copy(text):
        for first, copy in DISK_MAPPINGS:
            text = text.replace(first, copy)
        return text
    command = "qorvex " + case.command[len(BRIDGED):] if case.command.startswith(BRIDGED) else case.command
    return dataclasses.replace(case, name="direct_" + case.name, command=on_copy(command), out=on_copy(case.out),
                               bridged=False, disk=1)


DIRECT_CASES = [typed_directly(case) for case in QORVEX_CASES]

# The backup and verify of the firmware's SMBIOS table, run in boots of their
# own in which QEMU plays the board of smbios_board.py, once with each entry
# point. The table file is the one dmidecode saved on QEMU with that board.
BOARD_VKF = smbios_board.expected_vkf()
EDITED_VKF = BOARD_VKF.replace(b"SerialNum = MB42-77810A", b"SerialNum = MB42-77810B")
BOARD_TABLE = read(os.path.join(HERE, "..", "cli", "data", "qemu-smbios3.bin"))
BOARD_DIFFERENCE = '[BaseBoard] SerialNum: file "MB42-77810B", machine "MB42-77810A"\r\n'


def compared(count, different):
    return "Compared %d fields, %d different\r\n" % (count, different)


SMBIOS_BRIDGED_CASES = [
    Case("smbios_backup", qorvex("/smbios m.vkf"), out=BANNER + smbios_board.expected_trace() + "Done!\r\n",
         files={"m.vkf": BOARD_VKF}),
    Case("smbios_backup_quiet_replaces", qorvex("/q /SMBIOS oldsm.vkf"), files={"oldsm.vkf": BOARD_VKF}),
    Case("smbios_verify_equal", qorvex("/verify m.vkf"), out=BANNER + compared(25, 0), files={"m.vkf": BOARD_VKF}),
    Case("smbios_verify_different", qorvex("/VERIFY /q edited.vkf"), out=BOARD_DIFFERENCE + compared(25, 1),
         status=EFI_COMPROMISED_DATA, files={"edited.vkf": EDITED_VKF}),
    Case("smbios_table_file", qorvex("/smbios:table.bin tf.vkf /q"), files={"tf.vkf": BOARD_VKF}),
    Case("smbios_verify_table_file", qorvex("/q /verify:table.bin edited.vkf"),
         out=BOARD_DIFFERENCE + compared(25, 1), status=EFI_COMPROMISED_DATA),
    Case("smbios_without_vkf_name", qorvex("/smbios"), out=BANNER + "Error: Please specify the name of VKF file!\r\n",
         status=EFI_INVALID_PARAMETER),
    Case("smbios_and_verify", qorvex("/smbios /verify x.vkf"), out="Error: Conflict parameter - '/verify'\r\n",
         status=EFI_INVALID_PARAMETER, files={"x.vkf": ABSENT}),
    Case("smbios_into_the_table_file", qorvex("/smbios:table.bin /q TABLE.BIN"), out=open_failed("TABLE.BIN"),
         status=EFI_ACCESS_DENIED, files={"table.bin": BOARD_TABLE}),
    Case("smbios_table_file_without_entry_point", qorvex("/q /smbios:d8.txt x.vkf"),
         out="Error: No valid SMBIOS entry point in [d8.txt]!\r\n", status=ERROR_BIT | 27, files={"x.vkf": ABSENT}),
    Case("smbios_verify_no_vkf_file", qorvex("/q /verify d8.txt"), out="Error: Line 1 of [d8.txt] is not a VKF line!\r\n",
         status=EFI_LOAD_ERROR),
    # Quoted, the flag is a file name and the command a conversion.
    Case("smbios_quoted_is_a_name", qorvex('"/smbios" x.vkf'), out=BANNER + open_failed("/smbios"),
         status=EFI_INVALID_PARAMETER, files={"x.vkf": ABSENT}),
]
SMBIOS_CASES = SMBIOS_BRIDGED_CASES + [typed_directly(case) for case in SMBIOS_BRIDGED_CASES]


# libprobe.efi checks the library against the firmware's own services
# (collation, pool type, handle search) and starts it as an application.
PROBE_LINES = ["boot services saved", "pool type taken from the loaded image", "firmware collation selected",
               "case-insensitive comparison", "pattern match", "pool allocate, resize, release"]
PROBE_OUT = "".join("probe ok   %s\r\n" % line for line in PROBE_LINES) + (
    "probe text output handles: 7\r\nprobe ok   handle search and protocol lookup\r\n"
    "probe PlatformLang: en\r\nprobe checks passed\r\nprobe InitShellApp\r\n")
LIBRARY_CASES = [
    Case("library_probe", "shellbridge.efi libprobe.efi", out=PROBE_OUT + "probe InitShellApp returned 0\r\n",
         needs="libprobe.efi"),
    Case("library_probe_typed_directly", "libprobe.efi", out=PROBE_OUT + "probe InitShellApp returned 0\r\n",
         bridged=False, needs="libprobe.efi"),
]

# fatprobe.efi answers the name table from the directory \fatnames.
FAT_CASES_RUN = [Case("fat_names", "fatprobe.efi", out=FAT_ANSWERS, bridged=False, needs="fatprobe.efi")]


def echo_lines(args, environment="env v2 filter 0x7>0x5 prot ShellInt/null"):
    """argecho.efi's report for (info word, text) pairs."""
    lines = ["args %s" % status_text(len(args))]
    lines += ["arg %s %s [%s]" % (status_text(i), status_text(info), text)
              for i, (info, text) in enumerate(args)]
    return "\r\n".join(lines + [environment]) + "\r\n"


BRIDGE_CASES = [
    Case("bridge_usage", "shellbridge.efi", err=USAGE, status=EFI_INVALID_PARAMETER, needs="argecho.efi"),
    # Started by the bridge instead of the shell, the inner bridge has no
    # UEFI shell parameters: it prints its usage and refuses.
    Case("bridge_not_started_by_shell", "shellbridge.efi shellbridge.efi argecho.efi", err=USAGE,
         status=EFI_INVALID_PARAMETER, needs="argecho.efi"),
    Case("bridge_plain", "shellbridge.efi argecho.efi", out=echo_lines([(0, "argecho.efi")]),
         needs="argecho.efi"),
    Case("bridge_split",
         'shellbridge.efi argecho.efi "/q" d.txt "" ^-x a"b c"d "a^"b" "/q"x "a b"^"c ret:8000000000000015',
         out=echo_lines([(0, "argecho.efi"), (1, "/q"), (0, "d.txt"), (1, ""), (8, "-x"), (3, "ab cd"),
                         (1, 'a"b'), (7, "/qx"), (7, 'a b"c'), (0, "ret:8000000000000015")]),
         status=EFI_ABORTED, needs="argecho.efi"),
    Case("bridge_paths_and_exit",
         "shellbridge.efi fs0:\\argecho.efi path:d8.txt path:sub\\keep.txt path:fsx:\\a swap exit:8000000000000003",
         out=echo_lines([(0, "fs0:\\argecho.efi"), (0, "path:d8.txt"), (0, "path:sub\\keep.txt"),
                         (0, "path:fsx:\\a"), (0, "swap"), (0, "exit:8000000000000003")])
         + "path d8.txt \\d8.txt\r\npath sub\\keep.txt \\sub\\keep.txt\r\npath fsx:\\a null\r\n",
         status=EFI_UNSUPPORTED, needs="argecho.efi"),
    # Like the shell, the bridge finds an application named without ".efi".
    Case("bridge_app_without_extension", "shellbridge argecho", out=echo_lines([(0, "argecho")]),
         needs="argecho.efi"),
    Case("bridge_missing_app", "shellbridge.efi nosuch.efi a b",
         err="shellbridge: cannot load 'nosuch.efi': 0x800000000000000E\r\n", status=EFI_NOT_FOUND,
         needs="argecho.efi"),
    Case("bridge_app_not_an_image", "shellbridge.efi d8.txt x.vkf",
         err="shellbridge: cannot load 'd8.txt': 0x8000000000000003\r\n", status=EFI_UNSUPPORTED,
         files={"x.vkf": ABSENT}, needs="argecho.efi"),
    Case("argecho_without_bridge", "argecho.efi a", out="argecho: no shell interface\r\n",
         status=EFI_UNSUPPORTED, bridged=False, needs="argecho.efi"),
]


# Lines typed at FS0:'s prompt after the script, as a technician types them,
# and the shell's answers: the other machine's qorvex, which the shell refuses
# to load (in a script that would end the script). Written for x86-64, like
# the rows (see machine_command).
TYPED = [
    ("other_machine_image", "qorvexaa64 d8.txt om.vkf", "Command Error Status: Unsupported\r\n"),
    ("other_machine_status", "echo %lasterror%", "0x3\r\n"),
]


def check_typed(answers, out):
    """(name, problems) of each typed line; nothing may have been written."""
    answers += [None] * len(TYPED)
    left = ["om.vkf exists"] if os.path.exists(extracted(out, "om.vkf")) else []
    return [(name, ([] if got == want else ["%r answered %s" % (command, difference(got, want))]) + left)
            for (name, command, want), got in zip(TYPED, answers)]


# Files laid on the disk before the boot (name -> bytes; None makes a directory).
DISK_FILES = {
    "d8.txt": DUMP8,
    "d16.txt": DUMP16,
    "-dash.txt": DUMP8,
    "same.txt": DUMP8,
    "zero.dmp": b"",
    "one.dmp": b"(",
    "old.vkf": OLD_VKF,
    "oldsm.vkf": OLD_VKF,
    "big.txt": BIG_DUMP,
    "nofield.txt": NO_FIELD_DUMP,
    "nf.vkf": OLD_VKF,
    "ro.vkf": READ_ONLY_VKF,
    "sub": None,
    "sub/keep.txt": b"keep\r\n",
    "d1.txt": DUMP8,
    "d2.txt": DUMP8,
    "d3.txt": DUMP8,
    "d4.txt": DUMP8,
    "d4.txt.vkf": OLD_VKF,
    "d10.txt": DUMP8,
    "longdumpname.txt": DUMP8,
    "longdumpnote.txt": OLD_VKF,
    "sub/d6.txt": DUMP8,
    "fatcases.txt": FAT_CASES,
    "edited.vkf": EDITED_VKF,
    "table.bin": BOARD_TABLE,
    "fatnames": None,
}
for entry in FAT_LAYOUT:
    if entry:
        path, _, content = entry.partition("=")
        DISK_FILES["fatnames/" + path.rstrip("\\").replace("\\", "/")] = (
            None if path.endswith("\\") else content.encode("latin-1"))


@dataclasses.dataclass(frozen=True)
class Machine:
    """QEMU (program, package), firmware ((code, variables) pairs; package), -machine and more
    arguments, the FAT disks' interface, the images' suffix (qorvex<suffix>.efi), the -machine
    option of the main boot's SMBIOS entry point and the entry points that get a boot of their
    own for the SMBIOS cases, and (OVMF's text, this
    firmware's) where the test images report the firmware otherwise."""
    qemu: tuple
    firmware: tuple
    firmware_package: str
    machine: tuple
    disks: str
    suffix: str
    # The SMBIOS entry point of the main boot, which runs the SMBIOS cases too,
    # and those that need a boot of their own.
    entry_point: str
    other_entry_points: tuple
    answers: tuple = ()


MACHINES = {
    # The read-only disk is a virtio one: IDE does not take read-only drives.
    "x64": Machine(("qemu-system-x86_64", "qemu-system-x86"),
                   (("/usr/share/OVMF/OVMF_CODE_4M.fd", "/usr/share/OVMF/OVMF_VARS_4M.fd"),
                    ("/usr/share/OVMF/OVMF_CODE.fd", "/usr/share/OVMF/OVMF_VARS.fd")), "ovmf",
                   ("q35",), "ide", "", ",smbios-entry-point-type=64", (32,)),
    # virt has no IDE and no graphics console (one text output handle less), and publishes only
    # an SMBIOS 3 entry point.
    "aa64": Machine(("qemu-system-aarch64", "qemu-system-arm"),
                    (("/usr/share/AAVMF/AAVMF_CODE.fd", "/usr/share/AAVMF/AAVMF_VARS.fd"),), "qemu-efi-aarch64",
                    ("virt", "-cpu", "cortex-a57"), "virtio", "aa64", "", (),
                    (("probe text output handles: 7\r\n", "probe text output handles: 6\r\n"),)),
}


def image_file(name, machine):
    """The file of an image for the machine: qorvex.efi, qorvexaa64.efi."""
    stem, extension = os.path.splitext(name)
    return stem + machine.suffix + extension


def disk_name(image, machine):
    """qorvex lies on the disk under its shipped name; the test images under one name on every machine."""
    return image_file(image, machine) if image == "qorvex.efi" else image


def machine_command(command, machine):
    """A command line written for x86-64 with qorvex's images named as on the machine.

    The rows name qorvex.efi (typed qorvex) and the other machine's qorvexaa64.efi;
    on AArch64 the two swap."""
    if not machine.suffix:
        return command
    own = image_file("qorvex.efi", machine)
    names = {"qorvex.efi": own, own: "qorvex.efi", "qorvex": own[:-4], own[:-4]: "qorvex"}
    words = command.split(" ")
    return " ".join(names.get(w, w) if i == 0 or w.endswith(".efi") else w for i, w in enumerate(words))


def on_machine(case, machine):
    """The case as it runs on the machine: its images' names, the firmware's own answers."""
    out = case.out
    for ovmf, here in machine.answers:
        out = out.replace(ovmf, here)
    return dataclasses.replace(case, command=machine_command(case.command, machine), out=out)


class Platform:
    """Where QEMU, the firmware and the FAT tools are; None for anything missing."""

    def __init__(self, machine):
        self.machine = machine
        self.qemu = shutil.which(machine.qemu[0])
        self.mkfs = shutil.which("mkfs.vfat") or shutil.which("mkfs.fat") or _sbin("mkfs.vfat")
        self.mcopy = shutil.which("mcopy")
        self.mmd = shutil.which("mmd")
        self.mattrib = shutil.which("mattrib")
        self.mdir = shutil.which("mdir")
        self.mtype = shutil.which("mtype")
        self.code = self.vars = None
        for code, variables in machine.firmware:
            if os.path.exists(code) and os.path.exists(variables):
                self.code, self.vars = code, variables
                break

    def missing(self):
        firmware = "%s (%s)" % (os.path.basename(self.machine.firmware[0][0]), self.machine.firmware_package)
        names = {"%s (%s)" % self.machine.qemu: self.qemu, "mkfs.vfat (dosfstools)": self.mkfs,
                 "mcopy (mtools)": self.mcopy, "mmd (mtools)": self.mmd, "mattrib (mtools)": self.mattrib,
                 "mdir (mtools)": self.mdir, "mtype (mtools)": self.mtype, firmware: self.code}
        return [name for name, path in names.items() if not path]


def _sbin(name):
    path = os.path.join("/usr/sbin", name)
    return path if os.path.exists(path) else None


def run_tool(args, **kwargs):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    return subprocess.run(args, check=True, capture_output=True, env=env, **kwargs)


def startup_script(cases, then_typed=False):
    """The script that runs the cases; with then_typed it ends at FS0:'s prompt instead of powering off."""
    lines = ["@echo -off"]
    disk = None
    for case in cases:
        if case.disk != disk:
            lines += ["fs%d:" % case.disk, "cd \\"]
            disk = case.disk
        lines += ["set -v bridgestatus none", "set -v qorvexstatus none"]
        lines.extend(case.before)
        lines.append("%s > %s.out 2> %s.err" % (case.command, case.name, case.name))
        lines.append("echo %s %%lasterror%% %%bridgestatus%% %%qorvexstatus%% >>a fs0:\\status.txt" % case.name)
        lines.extend(case.after)
    lines += ["fs0:", "cd \\"] if then_typed else ["reset -s"]
    return "".join(line + "\r\n" for line in lines)


def build_disk(platform, work, images, cases, name="disk.img", then_typed=False, others=()):
    """A disk with the test files and images (and the files others), with the startup.nsh
    that runs cases, unless cases is None."""
    disk = os.path.join(work, name)
    # Room in the root folder for the long names of every case's output files.
    run_tool([platform.mkfs, "-C", "-F", "16", "-r", "1024", "-n", "QORVEX", disk, "16384"])
    staging = os.path.join(work, "staging-" + name)
    os.makedirs(staging)
    files = dict(DISK_FILES)
    for image, path in images.items():
        files[disk_name(image, platform.machine)] = read(path)
    if cases is not None:
        files["startup.nsh"] = startup_script(cases, then_typed).encode("ascii")
    for path in others:
        files[os.path.basename(path)] = read(path)
    for name, data in files.items():
        if data is None:
            run_tool([platform.mmd, "-i", disk, "::/" + name])
            continue
        local = os.path.join(staging, name.replace("/", "_"))
        with open(local, "wb") as f:
            f.write(data)
        run_tool([platform.mcopy, "-i", disk, local, "::/" + name])
    return disk


# The shell's prompt at FS0:, once the escape sequences are taken out.
ESCAPE = re.compile(rb"\x1b\[[0-9;=?]*[A-Za-z]")
PROMPT = b"FS0:\\> "


def typed_answer(text):
    """What the shell printed for a typed line: the text between its echo and the next prompt."""
    plain = ESCAPE.sub(b"", text)
    return plain.partition(b"\n")[2].rpartition(PROMPT)[0].decode("latin-1")


def boot(platform, disk, work, limit, disks_before=(), disks_after=(), drives_after=(), machine=None, extra=(),
         typed=(), answers=None):
    """Boots the firmware once; returns (seconds, problem or None, console text).

    disks_before are attached ahead of disk, which then maps to a later FSn:;
    disks_after behind it. drives_after are QEMU -drive values attached last;
    extra are more QEMU arguments. The lines typed are typed at the prompt
    once startup.nsh has ended there (then_typed), the shell's answers to them
    appended to answers, and then "reset -s" is typed."""
    variables = os.path.join(work, "vars.fd")
    shutil.copyfile(platform.vars, variables)
    args = [platform.qemu, "-machine", machine or platform.machine.machine[0], *platform.machine.machine[1:],
            "-accel", "tcg", "-m", "256", "-smp", "1", *extra,
            "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + platform.code,
            "-drive", "if=pflash,format=raw,unit=1,file=" + variables]
    for drive in (*disks_before, disk, *disks_after):
        args += ["-drive", "format=raw,file=%s,if=%s" % (drive, platform.machine.disks)]
    for drive in drives_after:
        args += ["-drive", drive]
    args += ["-nographic", "-no-reboot", "-net", "none", "-serial", "stdio", "-monitor", "none"]
    start = time.monotonic()
    proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    console = b""
    key_sent = False
    to_type = list(typed) + ["reset -s"] if typed else []
    typed_at = None
    problem = "the firmware run did not power off within %.0f s" % limit
    while True:
        left = limit - (time.monotonic() - start)
        if left <= 0:
            break
        ready, _, _ = select.select([proc.stdout], [], [], min(left, 0.5))
        if ready:
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                problem = None
                break
            console += chunk
        # Any key but ESC ends the shell's countdown before startup.nsh.
        if not key_sent and b"to skip" in console:
            proc.stdin.write(b" ")
            proc.stdin.flush()
            key_sent = True
        # The prompt again, after the echo of the line typed last (which ends with its line end).
        at_prompt = ESCAPE.sub(b"", console[-80:]).endswith(PROMPT)
        if to_type and key_sent and at_prompt and (typed_at is None or b"\n" in console[typed_at:]):
            if typed_at is not None:
                answers.append(typed_answer(console[typed_at:]))
            typed_at = len(console)
            proc.stdin.write(to_type.pop(0).encode("ascii") + b"\r")
            proc.stdin.flush()
        # A line the shell cannot parse ends the script; nothing more will come.
        if b"Script Error" in console:
            time.sleep(0.5)
            problem = "the shell stopped startup.nsh at a line it could not run"
            break
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    if problem is None and proc.returncode != 0:
        problem = "QEMU ended with status %d" % proc.returncode
    seconds = time.monotonic() - start
    return seconds, problem, console.decode("latin-1")


def extract(platform, disk, work, name="out"):
    out = os.path.join(work, name)
    os.makedirs(out)
    run_tool([platform.mcopy, "-s", "-n", "-i", disk, "::/", out])
    return out


def free_bytes(platform, image):
    """The free bytes of a FAT image, as mdir reports them."""
    listing = run_tool([platform.mdir, "-i", image, "::/"]).stdout.decode("latin-1")
    line = next(line for line in listing.splitlines() if line.strip().endswith("bytes free"))
    return int(line.split("bytes")[0].replace(" ", ""))


# The disks behind the main one and its copy: fs2: a nearly full FAT12 volume
# of 512-byte clusters holding an old VKF file, one cluster left free; fs3: a
# read-only virtio disk holding an old VKF file (IDE does not take read-only
# drives).
def build_other_disks(platform, work):
    full = os.path.join(work, "full.img")
    run_tool([platform.mkfs, "-C", "-s", "1", "-n", "FULL", full, "256"])
    protected = os.path.join(work, "protected.img")
    run_tool([platform.mkfs, "-C", "-n", "PROTECTED", protected, "256"])
    for image, name in ((full, "full.vkf"), (protected, "kept.vkf")):
        local = os.path.join(work, "other-" + name)
        with open(local, "wb") as f:
            f.write(OLD_VKF)
        run_tool([platform.mcopy, "-i", image, local, "::/" + name])
    free = free_bytes(platform, full)
    filler = os.path.join(work, "filler.bin")
    with open(filler, "wb") as f:
        f.write(b"\0" * (free - 512))
    run_tool([platform.mcopy, "-i", full, filler, "::/FILLER.BIN"])
    return {"fs2": full, "fs3": protected}, ["format=raw,file=%s,if=%s" % (full, platform.machine.disks),
                                            "format=raw,file=%s,if=virtio,readonly=on" % protected]


def attributes(platform, disk, name):
    result = run_tool([platform.mattrib, "-i", disk, "::/" + name])
    line = result.stdout.decode("latin-1")
    return line.split("::")[0]


def redirected_text(path):
    """Text of a file that the shell's '>' or '2>' wrote (UCS-2, byte-order mark)."""
    if not os.path.exists(path):
        return None
    data = read(path)
    if data.startswith(b"\xff\xfe"):
        data = data[2:]
    return data.decode("utf-16-le", errors="replace")


def read_statuses(out):
    """Each case's %lasterror%, %bridgestatus% and %qorvexstatus%."""
    path = os.path.join(out, "status.txt")
    statuses = {}
    if os.path.exists(path):
        for line in read(path).decode("latin-1").splitlines():
            words = line.split()
            if len(words) == 4:
                statuses[words[0]] = tuple(words[1:])
    return statuses


def shorten(value, limit=300):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


def difference(got, want):
    """Where two texts or byte strings part, with a little of both from there."""
    if got is None:
        return "nothing, expected %s" % shorten(want)
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    start = max(0, at - 20)
    return "%s (length %d), expected %s (length %d), from offset %d" % (
        shorten(got[start:at + 60]), len(got), shorten(want[start:at + 60]), len(want), start)


def extracted(out, name):
    """The extracted file of a FAT name, found ignoring letter case as FAT does.

    A name "fsN:file" is on the disk behind the main one that maps to fsN:."""
    volume, colon, name = name.rpartition(":")
    path = os.path.join(os.path.dirname(out), "out_" + volume) if colon else out
    for part in name.split("/"):
        entries = os.listdir(path) if os.path.isdir(path) else []
        match = next((e for e in entries if e.lower() == part.lower()), part)
        path = os.path.join(path, match)
    return path


def check_files(case, out, platform, disk):
    problems = []
    for name, want in case.files.items():
        path = extracted(out, name)
        if isinstance(want, list):  # "fsN:": exactly these files in the root
            listed = sorted(os.listdir(path), key=str.lower)
            if listed != want:
                problems.append("%s holds %s, expected %s" % (name, listed, want))
        elif want is ABSENT:
            if os.path.exists(path):
                problems.append("%s exists" % name)
        elif want is DIRECTORY:
            if not os.path.isdir(path):
                problems.append("%s is no longer a directory" % name)
        elif not os.path.isfile(path):
            problems.append("%s is missing" % name)
        elif read(path) != want:
            problems.append("%s holds %s" % (name, difference(read(path), want)))
    for name in case.read_only:
        if "R" not in attributes(platform, disk, name):
            problems.append("%s lost its read-only attribute" % name)
    return problems


def check_case(case, out, statuses, platform, disk):
    if case.name not in statuses:
        return ["no status recorded: the firmware run did not reach or finish this case"]
    problems = []
    last_error, bridge_status, qorvex_status = statuses[case.name]
    want_last = status_text(case.status & ~ERROR_BIT)
    if last_error != want_last:
        problems.append("%%lasterror%% %s, expected %s" % (last_error, want_last))
    want_bridge = status_text(case.status) if case.bridged else "none"
    if bridge_status != want_bridge:
        problems.append("%%bridgestatus%% %s, expected %s" % (bridge_status, want_bridge))
    # qorvex.efi keeps its status once past start-up, which ends an image no shell started.
    kept = case.needs == "qorvex.efi" and case.err != NOT_STARTED and case.reaches_qorvex
    want_qorvex = status_text(case.status) if kept else "none"
    if qorvex_status != want_qorvex:
        problems.append("%%qorvexstatus%% %s, expected %s" % (qorvex_status, want_qorvex))
    for stream, want in (("out", case.out), ("err", case.err)):
        got = redirected_text(os.path.join(out, "%s.%s" % (case.name, stream)))
        if got != want:
            problems.append("std%s %s" % (stream, difference(got, want)))
    return problems + check_files(case, out, platform, disk)


def check_qorvexw(qorvexw, work):
    """The reference converter must write the same VKF bytes from the same dumps."""
    problems = []
    for dump, want in (("d8.txt", VKF8), ("d16.txt", VKF16)):
        target = os.path.join(work, "qorvexw-" + dump + ".vkf")
        subprocess.run([qorvexw, os.path.join(DATA, dump), target, "/q"], capture_output=True)
        got = read(target) if os.path.exists(target) else None
        if got != want:
            problems.append("qorvexw wrote from %s %s" % (dump, difference(got, want)))
    return problems


def check_fake_fat(bin_dir, answers, work):
    """The host tests' fake FAT must give OVMF's answers of this run."""
    tests = os.path.join(bin_dir, "qorvex_efi_tests")
    if answers is None:
        return ["fatprobe.efi printed nothing"]
    if not os.path.exists(tests):
        return ["%s is missing, so the fake FAT could not be compared" % tests]
    live = os.path.join(work, "fat_names.live")
    with open(live, "w", encoding="utf-8", newline="\n") as f:
        f.write(answers.replace("\r\n", "\n"))
    done = subprocess.run([tests, "--gtest_filter=FakeFatNamesTest.*", "--gtest_brief=1"],
                          env=dict(os.environ, QORVEX_FAT_ANSWERS=live), capture_output=True, text=True)
    if done.returncode == 0:
        return []
    failures = [line for line in done.stdout.splitlines() if "line" in line or "Which is" in line]
    return ["the fake FAT answers otherwise than OVMF:"] + failures[:40]


def temporary_files_left(work):
    """qorvex's temporary files ("<leaf>.qvx-new", "<leaf>.qvx-old") that some case left on a disk."""
    left = []
    for top in sorted(os.listdir(work)):
        if top.startswith("out"):
            for folder, _, names in os.walk(os.path.join(work, top)):
                left += [os.path.join(folder, n) for n in names if n.lower().endswith((".qvx-new", ".qvx-old"))]
    return ["left behind: %s" % path for path in left]


def report(name, problems, counts):
    if problems:
        counts["failed"] += 1
        print("FAIL %s" % name)
        for problem in problems:
            print("     %s" % problem)
    else:
        counts["passed"] += 1
        print("PASS %s" % name)


def report_boot(run_problem, seconds, case_count, limit, console, counts):
    """Reports the boot itself, and the end of its console after any failure."""
    report("firmware_run", [run_problem] if run_problem else [], counts)
    print("firmware run: %.1f s wall time for %d cases in one boot (limit %.0f s)" % (seconds, case_count, limit))
    if run_problem or counts["failed"]:
        print("console tail:\n" + console[-1500:])


def run_smbios_boots(platform, images, args, counts):
    """Boots the board once with each further SMBIOS entry point and judges the SMBIOS cases."""
    bits_list = platform.machine.other_entry_points
    if "qorvex.efi" not in images or "shellbridge.efi" not in images:
        counts["skipped"] += len(bits_list) * len(SMBIOS_CASES)
        return
    for bits in bits_list:
        work = tempfile.mkdtemp(prefix="qorvex-smbios-")
        try:
            disks = [build_disk(platform, work, images, SMBIOS_CASES), build_disk(platform, work, images, None, "copy.img")]
            seconds, problem, console = boot(platform, disks[0], work, args.time_limit, disks_after=disks[1:],
                                             machine=platform.machine.machine[0] + ",smbios-entry-point-type=%d" % bits,
                                             extra=smbios_board.qemu_args())
            outs = [extract(platform, disk, work, "out%d" % i) for i, disk in enumerate(disks)]
            statuses = read_statuses(outs[0])
            for case in SMBIOS_CASES:
                report("%s_%d" % (case.name, bits),
                       check_case(case, outs[case.disk], statuses, platform, disks[case.disk]), counts)
            report("smbios_firmware_run_%d" % bits, [problem] if problem else [], counts)
            print("SMBIOS firmware run (%d-bit entry point): %.1f s" % (bits, seconds))
            if problem:
                print("console tail:\n" + console[-1500:])
        finally:
            shutil.rmtree(work, ignore_errors=True)


def closing(counts):
    """Prints the closing "N passed, N failed" line; returns the exit status."""
    line = "%d passed, %d failed" % (counts["passed"], counts["failed"])
    if counts.get("skipped"):
        line += ", %d skipped" % counts["skipped"]
    print(line)
    if counts["failed"]:
        return 1
    # Cases left out for a missing image show as a skipped test, not a pass.
    return SKIP if counts.get("skipped") else 0


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="directory with the built .efi images and qorvexw")
    parser.add_argument("--machine", choices=sorted(MACHINES), default="x64",
                        help="run the table on OVMF (x64) or on AAVMF with the AArch64 images (aa64)")
    parser.add_argument("--require-all", action="store_true",
                        help="fail instead of skipping when the platform, shellbridge.efi or argecho.efi is missing")
    parser.add_argument("--require-qorvex", action="store_true",
                        help="fail instead of skipping the qorvex.efi cases when qorvex.efi is missing")
    parser.add_argument("--time-limit", type=float, default=150.0, help="seconds the firmware run may take")
    parser.add_argument("--keep", help="keep the disk image, console log and extracted files in this directory")
    parser.add_argument("--record-fat-answers", action="store_true",
                        help="store OVMF's answers to the name table in tests/e2e/expected/fat_names.out")
    return parser.parse_args()


def main():
    args = parse_args()
    machine = MACHINES[args.machine]
    platform = Platform(machine)
    names = ("shellbridge.efi", "argecho.efi", "fatprobe.efi", "libprobe.efi", "qorvex.efi")
    images = {name: os.path.join(args.bin_dir, image_file(name, machine)) for name in names}
    images = {name: path for name, path in images.items() if os.path.exists(path)}
    required = ["shellbridge.efi", "argecho.efi", "fatprobe.efi", "libprobe.efi"] if args.require_all else []
    required += ["qorvex.efi"] if args.require_qorvex else []
    missing = platform.missing() + ["%s in %s" % (name, args.bin_dir) for name in names if name not in images]
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    all_cases = QORVEX_CASES + NO_SHELL_CASES + BRIDGE_CASES + FAT_CASES_RUN + LIBRARY_CASES + DIRECT_CASES
    all_cases += SMBIOS_CASES
    all_cases = [on_machine(case, machine) for case in all_cases]
    cases = [case for case in all_cases if case.needs in images and "shellbridge.efi" in images]
    counts["skipped"] = len(all_cases) - len(cases)
    required_missing = (platform.missing() if args.require_all else []) + [
        "%s in %s" % (name, args.bin_dir) for name in required if name not in images]
    if required_missing:
        print("FAILED: nothing was run, since required pieces are missing: %s" % ", ".join(required_missing))
        return 1
    if platform.missing() or not cases:
        print("SKIPPED: nothing was run, since these are missing: %s" % ", ".join(missing))
        return SKIP
    if missing:
        print("missing, so their cases are skipped: %s" % ", ".join(missing))

    work = args.keep or tempfile.mkdtemp(prefix="qorvex-e2e-")
    os.makedirs(work, exist_ok=True)
    try:
        others = [path for path in (os.path.join(args.bin_dir, image_file("qorvex.efi", m)) for m in MACHINES.values()
                                    if m is not machine) if os.path.exists(path)]
        typed = [machine_command(command, machine) for _, command, _ in TYPED] if others else []
        counts["skipped"] += 0 if typed else len(TYPED)
        disks = [build_disk(platform, work, images, cases, then_typed=bool(typed), others=others),
                 build_disk(platform, work, images, None, "copy.img")]
        other_disks, drives = build_other_disks(platform, work)
        answers = []
        seconds, run_problem, console = boot(platform, disks[0], work, args.time_limit, disks_after=disks[1:],
                                             drives_after=drives, machine=machine.machine[0] + machine.entry_point,
                                             extra=smbios_board.qemu_args(),
                                             typed=typed, answers=answers)
        with open(os.path.join(work, "console.log"), "w", encoding="latin-1") as f:
            f.write(console)
        outs = [extract(platform, disk, work, "out%d" % i) for i, disk in enumerate(disks)]
        out = outs[0]
        for volume, image in other_disks.items():
            extract(platform, image, work, "out_" + volume)
        statuses = read_statuses(out)
        for case in cases:
            report(case.name, check_case(case, outs[case.disk], statuses, platform, disks[case.disk]), counts)
        for name, problems in check_typed(answers, out) if typed else []:
            report(name, problems, counts)
        if any(case.name == "fat_names" for case in cases):
            answers = redirected_text(os.path.join(out, "fat_names.out"))
            if args.record_fat_answers and answers:
                with open(FAT_ANSWERS_PATH, "w", newline="\n") as f:
                    f.write(answers.replace("\r\n", "\n"))
                print("recorded OVMF's answers in %s" % FAT_ANSWERS_PATH)
            report("fake_fat_answers_as_ovmf", check_fake_fat(args.bin_dir, answers, work), counts)
        report("no_temporary_file_left", temporary_files_left(work), counts)
        qorvexw = os.path.join(args.bin_dir, "qorvexw")
        if os.path.exists(qorvexw):
            report("qorvexw_same_vkf", check_qorvexw(qorvexw, work), counts)
        report_boot(run_problem, seconds, len(cases), args.time_limit, console, counts)
        run_smbios_boots(platform, images, args, counts)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    return closing(counts)


if __name__ == "__main__":
    sys.exit(main())

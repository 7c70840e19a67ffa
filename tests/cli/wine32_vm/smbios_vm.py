#!/usr/bin/env python3
"""Runs qorvexw's SMBIOS backup and verify on a real Linux machine: boots the
kernel of wine32_vm.py in QEMU as the board of tests/e2e/smbios_board.py, lets
smbios_guest.sh run qorvexw on the kernel's sysfs copy of the table (as root
and as a user who is not) with dmidecode beside it, then judges the results:
the backup holds the strings given to QEMU and those dmidecode reads, verify
answers equal and, after an edit, different, and qorvexw on the host reads
the table dmidecode saved (--dump-bin) to the very same file. With a Windows
build and its Wine loader it also backs the table up through Wine's
GetSystemFirmwareTable (about five minutes more under software emulation, so
the test command leaves it out).

    smbios_vm.py --work DIR --program build/bin/qorvexw [--entry-point 32|64] [--save-table FILE]
                 [--windows-program build/bin/qorvexw64.exe --wine /usr/lib/wine/wine64]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "e2e"))
import smbios_board  # noqa: E402
from wine32_vm import SKIPPED, boot, find_kernel, prepare_machine  # noqa: E402
from cli_test import BANNER  # noqa: E402

NOT_ROOT = b"Error, Can not read the SMBIOS table [/sys/firmware/dmi/tables/smbios_entry_point]: " \
           b"only root may read it!\r\n"


def read(out, name):
    with open(os.path.join(out, name), "rb") as f:
        return f.read()


def dmidecode_values(out):
    """The values dmidecode printed, in the board's field order."""
    strings = dict(line.split("=", 1) for line in read(out, "dmidecode-strings").decode().splitlines())
    types = read(out, "dmidecode-types").decode()
    keywords = {("BIOS", "Name"): "bios-vendor", ("BIOS", "Version"): "bios-version",
                ("BIOS", "Date"): "bios-release-date", ("System", "Manufacturer"): "system-manufacturer",
                ("System", "Product"): "system-product-name", ("System", "Version"): "system-version",
                ("System", "SerialNum"): "system-serial-number", ("System", "UUID"): "system-uuid",
                ("System", "SKUNum"): "system-sku-number", ("System", "Family"): "system-family",
                ("BaseBoard", "Manufacturer"): "baseboard-manufacturer",
                ("BaseBoard", "Product"): "baseboard-product-name", ("BaseBoard", "Version"): "baseboard-version",
                ("BaseBoard", "SerialNum"): "baseboard-serial-number",
                ("BaseBoard", "AssetTag"): "baseboard-asset-tag",
                ("Chassis", "Manufacturer"): "chassis-manufacturer", ("Chassis", "Version"): "chassis-version",
                ("Chassis", "SerialNum"): "chassis-serial-number", ("Chassis", "TagNum"): "chassis-asset-tag"}
    chassis_hex = read(out, "dmidecode-chassis-hex").decode().split("Header and Data:")[1].split()
    oem = re.search(r"OEM Information: 0x([0-9A-F]{8})", types).group(1)
    location = re.search(r"Location In Chassis: (.*)", types).group(1)
    chassis_sku = re.search(r"SKU Number: (.*)", types.split("Chassis Information")[1]).group(1)
    oem_strings = re.findall(r"String \d+: (.*)", types)
    values = []
    for _, _, section, key, _ in smbios_board.FIELDS:
        if key == "UUID":  # dmidecode prints its hex digits in lower case
            values.append(strings[keywords[(section, key)]].upper())
        elif (section, key) in keywords:
            values.append(strings[keywords[(section, key)]])
        elif key == "LocInChassis":
            values.append(location)
        elif key == "ChassisType":
            values.append(chassis_hex[5].upper() + "h")
        elif key == "ChassisOEM":
            values.append(oem)
        elif key == "ChassisSKU":
            values.append(chassis_sku)
        else:
            values.append(oem_strings.pop(0))
    return values


def judge_windows(out):
    """Wine builds its firmware table from the kernel's DMI attributes and
    leaves some fields out (and makes up the UUID): every field it does fill
    must hold the board's value."""
    problems = []
    if read(out, "backup-windows.rc").strip() != b"0" or read(out, "backup-windows.out") != b"":
        problems.append("backup through Wine: %r" % read(out, "backup-windows.out"))
        return problems
    board = {(f[2], f[3]): f[4].encode() for f in smbios_board.FIELDS}
    section, filled = None, 0
    for line in read(out, "windows.vkf").split(b"\r\n")[:-1]:
        if line.startswith(b"["):
            section = line[1:-1].decode()
            continue
        key, value = line.split(b" = ", 1)
        if value and key != b"UUID":
            filled += 1
            if board.get((section, key.decode())) != value:
                problems.append("backup through Wine: [%s] %s = %r" % (section, key.decode(), value))
    if filled < 15:
        problems.append("backup through Wine: only %d fields filled" % filled)
    return problems


def judge(args, out):
    fields = smbios_board.FIELDS
    expected = smbios_board.expected_vkf()
    problems = []

    def check(what, actual, wanted):
        if actual != wanted:
            problems.append("%s: %r, expected %r" % (what, actual[:600], wanted[:600]))

    check("backup exit code", read(out, "backup.rc").strip(), b"0")
    check("backup console", read(out, "backup.out"), BANNER + smbios_board.expected_trace().encode() + b"Done!\r\n")
    check("backup file", read(out, "machine.vkf"), expected)
    reference = dmidecode_values(out)
    check("the board's values as dmidecode read them", reference, [f[4] for f in fields])
    check("verify exit code", read(out, "verify.rc").strip(), b"0")
    check("verify console", read(out, "verify.out"), b"Compared 25 fields, 0 different\r\n")
    check("verify of an edited file, exit code", read(out, "verify-edited.rc").strip(), b"2")
    check("verify of an edited file, console", read(out, "verify-edited.out"),
          BANNER + b'[System] SerialNum: file "NW42B0012345X", machine "NW42B0012345"\r\n'
          b'[BaseBoard] SerialNum: file "MB42-77810AX", machine "MB42-77810A"\r\n'
          b'[Chassis] SerialNum: file "CH-0099812HX", machine "CH-0099812H"\r\n'
          b"Compared 25 fields, 3 different\r\n")
    check("backup by a user who is not root, exit code", read(out, "backup-not-root.rc").strip(), b"1")
    check("backup by a user who is not root, console", read(out, "backup-not-root.out"), BANNER + NOT_ROOT)
    with tempfile.TemporaryDirectory(prefix="qorvexw-") as folder:
        done = subprocess.run([args.program, "/smbios:" + os.path.join(out, "table.bin"), "t.vkf", "/q"],
                              cwd=folder, stdout=subprocess.PIPE, timeout=60)
        check("backup of dmidecode's table file on the host", (done.returncode, done.stdout), (0, b""))
        check("the file of that backup", read(folder, "t.vkf"), expected)
    if os.path.exists(os.path.join(out, "backup-windows.rc")):
        problems += judge_windows(out)
    if args.save_table:
        shutil.copyfile(os.path.join(out, "table.bin"), args.save_table)
    for problem in problems:
        print("FAIL " + problem)
    print("%d problems" % len(problems))
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the initramfs and the output")
    parser.add_argument("--program", required=True, help="the native qorvexw")
    parser.add_argument("--entry-point", type=int, default=64, choices=(32, 64))
    parser.add_argument("--save-table", help="keep the table dmidecode saved in this file")
    parser.add_argument("--windows-program", help="a Windows build of qorvexw to run under Wine as well")
    parser.add_argument("--wine", help="the Wine loader for it")
    parser.add_argument("--timeout", type=int, default=300, help="seconds the machine may run")
    args = parser.parse_args()
    args.program, args.work = os.path.abspath(args.program), os.path.abspath(args.work)
    found = find_kernel()
    missing = [tool for tool in ("qemu-system-x86_64", "dmidecode", "setpriv") if not shutil.which(tool)
               and not os.path.exists("/usr/sbin/" + tool)]
    if not found or missing:
        print("SKIP: no amd64 kernel (linux-image-amd64) or missing %s" % " ".join(missing))
        return SKIPPED
    kernel, modules_dir = found
    initrd, out = prepare_machine(args.work, modules_dir)
    os.chmod(out, 0o777)
    shutil.copyfile(args.program, os.path.join(out, "qorvexw"))
    os.chmod(os.path.join(out, "qorvexw"), 0o755)
    shutil.copyfile(os.path.join(HERE, "smbios_guest.sh"), os.path.join(out, "smbios_guest.sh"))
    job = ["/tmp/out/smbios_guest.sh", "/tmp/out/qorvexw"]
    if args.windows_program and args.wine:
        shutil.copyfile(args.windows_program, os.path.join(out, "qorvexw.exe"))
        job += ["/tmp/out/qorvexw.exe", args.wine]
    with open(os.path.join(out, "job.sh"), "w") as f:
        f.write("PATH=/usr/sbin:/usr/bin:/sbin:/bin exec /bin/sh %s\n" % " ".join(job))
    machine = ["-machine", "q35,smbios-entry-point-type=%d" % args.entry_point]
    log = boot(args, kernel, initrd, out, machine + smbios_board.qemu_args())
    if not os.path.exists(os.path.join(out, "rc")):
        print("the job did not finish in the virtual machine; its console:")
        with open(log, errors="replace") as f:
            sys.stdout.write(f.read())
        return 1
    return judge(args, out)


if __name__ == "__main__":
    sys.exit(main())

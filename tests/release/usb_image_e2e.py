#!/usr/bin/env python3
"""Boots OVMF with the USB stick image that dist made and types "qorvex ...".

A copy of the image gets this test's startup.nsh and dumps. A blank FAT disk
is attached ahead of it, so the stick maps to FS1: and the shell must find
qorvex.efi on the stick rather than on fs0:. Every case is typed the way a
user types it at OVMF's UEFI shell, which starts qorvex.efi directly. Each
case is judged like the cases of tests/e2e/firmware_e2e.py (whose harness
this reuses): standard output and error, %lasterror%, %bridgestatus% (never
set) and %qorvexstatus%, and the files written. The conversion runs with the
caller's echo on, which must stay on. "vol" must show the stick's label,
which README.txt tells a technician to look for.

Exit status: 0 when every case passed, 1 when one failed, 77 (skipped) when
the firmware platform or the image is missing and --require-all is not given.
"""

import argparse
import dataclasses
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import firmware_e2e as fe  # noqa: E402

Case = fe.Case
STICK = "fs1:"
SAMPLE_VKF = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "sample.vkf")

CASES = [dataclasses.replace(case, bridged=False) for case in [
    Case("convert", "qorvex dumps\\d8.txt dumps\\c8.vkf", out=fe.RUN8,
         files={"dumps/c8.vkf": fe.VKF8, "dumps/d8.txt": fe.DUMP8},
         before=("echo -on",), after=("echo -off",)),
    Case("quiet", "qorvex /q dumps\\d16.txt dumps\\q16.vkf", files={"dumps/q16.vkf": fe.VKF16}),
    Case("missing_dump", "qorvex dumps\\nosuch.txt dumps\\md.vkf",
         out=fe.BANNER + fe.open_failed("dumps\\nosuch.txt"), status=fe.EFI_NOT_FOUND,
         files={"dumps/md.vkf": fe.ABSENT}),
    # The script hands the quotes on: quoted, "-dash.txt" is a file name.
    Case("dash_quoted", 'qorvex "-dash.txt" dumps\\dq.vkf', out=fe.RUN8, files={"dumps/dq.vkf": fe.VKF8}),
    Case("dash_unquoted", "qorvex -dash.txt dumps\\du.vkf", out=fe.unknown_flag("-dash.txt"),
         status=fe.EFI_INVALID_PARAMETER, files={"dumps/du.vkf": fe.ABSENT}),
    Case("one_name", "qorvex /q dumps\\d8.txt", out=fe.MISSING_NAMES, status=fe.EFI_INVALID_PARAMETER),
    # The images are found next to the script from a subfolder and from
    # another file system as well.
    Case("from_subfolder", "\\qorvex d8.txt sf.vkf", out=fe.RUN8, files={"dumps/sf.vkf": fe.VKF8},
         before=("cd dumps",), after=("cd \\",)),
    Case("from_other_drive", "fs1:\\qorvex fs1:\\dumps\\d8.txt fs1:\\dumps\\od.vkf", out=fe.RUN8,
         files={"dumps/od.vkf": fe.VKF8}, before=("fs0:",), after=(STICK,)),
    # Typed directly, a caret reaches qorvex as typed.
    Case("dash_escaped", "qorvex ^-dash.txt dumps\\de.vkf", out=fe.RUN8, files={"dumps/de.vkf": fe.VKF8}),
    Case("shipped_sample", "qorvex /q dumps\\sample.txt dumps\\sample.vkf",
         files={"dumps/sample.vkf": fe.read(SAMPLE_VKF)}),
]]
LABEL_CASE = "volume_label"

# Files the test adds to the copy of the image (None makes nothing: dumps\ is there).
ADDED_FILES = {
    "dumps/d8.txt": fe.DUMP8,
    "dumps/d16.txt": fe.DUMP16,
    "-dash.txt": fe.DUMP8,
}


def startup_script(cases):
    """Runs each case from the stick with its output and status on the stick."""
    lines = ["@echo -off", STICK, "cd \\"]
    for case in cases:
        lines += ["set -v bridgestatus none", "set -v qorvexstatus none"]
        lines.extend(case.before)
        lines.append("%s > %s\\%s.out 2> %s\\%s.err" % (case.command, STICK, case.name, STICK, case.name))
        lines.append("echo %s %%lasterror%% %%bridgestatus%% %%qorvexstatus%% >>a %s\\status.txt" % (case.name, STICK))
        lines.extend(case.after)
    lines.append("vol > %s\\%s.out" % (STICK, LABEL_CASE))
    lines.append("reset -s")
    return "".join(line + "\r\n" for line in lines)


def prepare_disks(platform, image, work):
    """A copy of the image with the test's files, and a blank disk to go ahead of it."""
    stick = os.path.join(work, "stick.img")
    shutil.copyfile(image, stick)
    listing = fe.run_tool([platform.mdir, "-b", "-i", stick, "::/"]).stdout.decode("latin-1").lower()
    if "startup.nsh" in listing:
        return None, None, "the image from dist holds a startup.nsh"
    files = dict(ADDED_FILES, **{"startup.nsh": startup_script(CASES).encode("ascii")})
    for name, data in files.items():
        local = os.path.join(work, "added-" + name.replace("/", "_"))
        with open(local, "wb") as f:
            f.write(data)
        fe.run_tool([platform.mcopy, "-i", stick, local, "::/" + name])
    other = os.path.join(work, "other.img")
    fe.run_tool([platform.mkfs, "-C", "-n", "OTHER", other, "1024"])
    return stick, other, None


def check_echo(console):
    """The caller's echo was on around the conversion case."""
    if "echo convert " not in console:
        return ["the caller's echo was off after qorvex ran (its status line was not echoed)"]
    return []


def check_label(out):
    """"vol" on the stick names the label that README.txt tells a technician to look for."""
    text = fe.redirected_text(os.path.join(out, LABEL_CASE + ".out")) or ""
    return [] if "QORVEX" in text else ["vol printed %r, without the label QORVEX" % text[:200]]


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--image", required=True, help="the USB stick image that dist wrote")
    parser.add_argument("--require-all", action="store_true", help="fail instead of skipping when something is missing")
    parser.add_argument("--time-limit", type=float, default=90.0, help="seconds the firmware run may take")
    parser.add_argument("--keep", help="keep the disks, console log and extracted files in this directory")
    return parser.parse_args()


def main():
    args = parse_args()
    platform = fe.Platform(fe.MACHINES["x64"])
    platform.mdir = shutil.which("mdir")
    missing = platform.missing() + ([] if platform.mdir else ["mdir (mtools)"])
    if not os.path.exists(args.image):
        missing.append(args.image + " (cmake --build build --target dist)")
    if missing:
        print("missing: %s" % ", ".join(missing))
        print("0 passed, %d failed" % (1 if args.require_all else 0))
        return 1 if args.require_all else fe.SKIP

    counts = {"passed": 0, "failed": 0}
    work = args.keep or tempfile.mkdtemp(prefix="qorvex-usb-")
    os.makedirs(work, exist_ok=True)
    try:
        stick, other, problem = prepare_disks(platform, args.image, work)
        if problem:
            fe.report("image", [problem], counts)
        else:
            seconds, run_problem, console = fe.boot(platform, stick, work, args.time_limit, disks_before=[other])
            with open(os.path.join(work, "console.log"), "w", encoding="latin-1") as f:
                f.write(console)
            out = fe.extract(platform, stick, work)
            statuses = fe.read_statuses(out)
            for case in CASES:
                fe.report(case.name, fe.check_case(case, out, statuses, platform, stick), counts)
            fe.report("caller_echo", check_echo(console), counts)
            fe.report(LABEL_CASE, check_label(out), counts)
            fe.report_boot(run_problem, seconds, len(CASES), args.time_limit, console, counts)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    return fe.closing(counts)


if __name__ == "__main__":
    sys.exit(main())

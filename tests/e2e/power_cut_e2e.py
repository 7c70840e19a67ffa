#!/usr/bin/env python3
"""Power cuts during qorvex.efi's replacement of a VKF file, on OVMF.

One boot runs three scenarios, each on a small FAT12 disk of its own that
QEMU's blklogwrites driver attaches: it logs every write and flush that
reaches the disk, in the format of Linux's dm-log-writes. The disks are IDE
ones, whose Block I/O flush OVMF's ATA driver drops, so that the log shows
only the flushes qorvex itself gets to the device (OVMF's FAT driver flushes
through Block I/O); --bus virtio attaches virtio-blk disks instead, which
pass those flushes on. From each disk's
image before the boot and its log the harness rebuilds the states a power
cut can leave, in two models:
  - in order: the first k writes, for every k (a disk that keeps its order);
  - barrier: every write before a flush plus any subset of the writes after
    it (a disk with a write cache): every subset of up to 10 writes, a
    fixed-seed sample of larger ones.
It judges each state with mtools: the dump intact byte for byte, and a
complete VKF file, old or new, somewhere on the volume. The states whose VKF
name holds no complete VKF, or whose folder holds more than the dump and the
VKF file, are grouped by what the volume holds; one state of each group is
attached to a second boot, which runs the same command again on it. After
that the VKF name must hold the new VKF file, next to nothing but the dump.

Exit status as firmware_e2e.py's: 0 passed, 1 failed, 77 skipped when the
platform or qorvex.efi is missing (and --require-all is not given).
"""

import argparse
import dataclasses
import hashlib
import itertools
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

os.environ.setdefault("QORVEX_VERSION", "")  # no text judged here carries the version
import firmware_e2e as e2e  # noqa: E402
import smbios_board  # noqa: E402
from firmware_e2e import Case, read, run_tool  # noqa: E402

FOLDER, DUMP = "dumps", "d8.txt"
LOG_FLUSH, LOG_DISCARD = 1, 4
EXHAUSTIVE_WRITES, SAMPLED_SUBSETS = 10, 1024
# The rerun's states are LUNs of virtio-scsi controllers in PCI slots 2 and
# up (OVMF finds the LUNs of target 0 only). OVMF's shell numbers its file
# systems in the order of their device paths' texts, so the boot disk (SATA
# port 0) is FS0: and these follow it in the order rerun_volumes() computes.
LUNS, MAX_RERUN_DISKS = 8, 64
SCSI_PATH = "PciRoot(0x0)/Pci(0x%X,0x0)/Scsi(0x0,0x%X)"


@dataclasses.dataclass
class Scenario:
    name: str
    args: str  # the command's arguments; {d} stands for the folder on the scenario's disk
    vkf: str
    old: bytes  # the VKF file in the folder before the run; None where there is none
    new: bytes


SCENARIOS = [
    Scenario("convert_over_old", "{d}\\d8.txt {d}\\d8.vkf", "d8.vkf", e2e.OLD_VKF, e2e.VKF8),
    Scenario("smbios_over_old", "/smbios {d}\\board.vkf", "board.vkf", e2e.OLD_VKF, e2e.BOARD_VKF),
    Scenario("convert_to_new_name", "{d}\\d8.txt {d}\\new.vkf", "new.vkf", None, e2e.VKF8),
]


def command_case(scenario, volume, name):
    """The scenario's command on FSvolume:, run from FS0: so that the shell writes no output there."""
    args = scenario.args.format(d="fs%d:\\%s" % (volume, FOLDER))
    return Case(name, "qorvex.efi " + args, bridged=False)


def data_disk(platform, work, scenario):
    """A FAT12 disk of 1 MiB holding the folder with the dump and the old VKF file."""
    image = os.path.join(work, scenario.name + ".img")
    run_tool([platform.mkfs, "-C", "-F", "12", "-n", "DATA", image, "1024"])
    run_tool([platform.mmd, "-i", image, "::/" + FOLDER])
    files = {DUMP: e2e.DUMP8, scenario.vkf: scenario.old}
    for name, data in files.items():
        if data is not None:
            local = os.path.join(work, "%s-%s" % (scenario.name, name))
            with open(local, "wb") as f:
                f.write(data)
            run_tool([platform.mcopy, "-i", image, local, "::/%s/%s" % (FOLDER, name)])
    return image


# How a logged disk is attached, by its index (1 up): it must follow the boot
# disk, FS0:, in the shell's order of device paths.
BUSES = {"virtio": "virtio-blk-pci,drive=%s,addr=0x%x", "ide": "ide-hd,drive=%s,bus=ide.%d"}


def logged(image, log, index, bus):
    """QEMU arguments that attach image through blklogwrites, logging into log."""
    node = os.path.basename(image).split(".")[0]
    return ["-blockdev", "driver=file,filename=%s,node-name=%s-d" % (image, node),
            "-blockdev", "driver=file,filename=%s,node-name=%s-l" % (log, node),
            "-blockdev", "driver=blklogwrites,file=%s-d,log=%s-l,log-sector-size=512,node-name=%s" % (node, node, node),
            "-device", BUSES[bus] % (node, index + (bus == "virtio"))]


def parse_log(path):
    """The log's entries as (is a flush, byte offset, data), in the order they reached the disk."""
    data = read(path)
    magic, _, count, size = struct.unpack_from("<QQQI", data)
    if magic != 0x6A736677736872:
        raise ValueError("%s is not a write log" % path)
    entries, at = [], size
    for _ in range(count):
        sector, sectors, flags, _ = struct.unpack_from("<4Q", data, at)
        if flags & LOG_DISCARD:
            raise ValueError("%s logs a discard, which this harness does not model" % path)
        payload = data[at + size:at + size * (1 + sectors)]
        entries.append((bool(flags & LOG_FLUSH), sector * size, payload))
        at += size * (1 + sectors)
    return entries


def states(entries):
    """The power-cut states of both models, each a list of (offset, data) writes."""
    writes = [(offset, data) for flush, offset, data in entries if not flush and data]
    in_order = [writes[:k] for k in range(len(writes) + 1)]
    barrier, durable, epoch = [], [], []
    for flush, offset, data in entries + [(True, 0, b"")]:
        if not flush:
            epoch.append((offset, data))
            continue
        if epoch or not barrier:  # past an empty epoch the state is the one before it
            barrier += [durable + [epoch[i] for i in chosen] for chosen in subsets(len(epoch))]
        durable, epoch = durable + epoch, []
    return {"in order": in_order, "barrier": barrier}


def subsets(n):
    if n <= EXHAUSTIVE_WRITES:
        return [c for k in range(n + 1) for c in itertools.combinations(range(n), k)]
    rng = random.Random(26)
    return [()] + [tuple(i for i in range(n) if rng.getrandbits(1)) for _ in range(SAMPLED_SUBSETS)] + [tuple(range(n))]


def rebuild(base, writes):
    image = bytearray(base)
    for offset, data in writes:
        image[offset:offset + len(data)] = data
    return bytes(image)


def volume_files(platform, image):
    """Every file on a FAT image: {lower-case path: bytes}, each read on its own, so that a file
    whose cluster chain a cut left broken reads short without hiding the others."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    listing = subprocess.run([platform.mdir, "-/", "-b", "-i", image, "::/"], capture_output=True, env=env)
    paths = [p for p in listing.stdout.decode("latin-1").splitlines() if p.startswith("::/") and p[-1] != "/"]
    return {p[3:].lower(): subprocess.run([platform.mtype, "-i", image, p], capture_output=True, env=env).stdout
            for p in paths}


def judge(scenario, files):
    """(dump lost, no complete VKF anywhere, rerun needed) for a volume's files."""
    name = "%s/%s" % (FOLDER, scenario.vkf)
    folder = {path for path in files if path.startswith(FOLDER + "/")}
    dump_lost = files.get("%s/%s" % (FOLDER, DUMP)) != e2e.DUMP8
    if scenario.old is None:  # before the run no VKF file existed: no file under the name is the old state
        incomplete = name in files and scenario.new not in files.values()
    else:
        incomplete = scenario.old not in files.values() and scenario.new not in files.values()
    rerun = files.get(name) not in (scenario.old, scenario.new) or folder - {name, "%s/%s" % (FOLDER, DUMP)}
    return dump_lost, incomplete, bool(rerun)


def content_key(files):
    return tuple(sorted((path, hashlib.sha1(data).hexdigest()) for path, data in files.items()))


def judge_states(platform, scenario, base, entries, work, counts):
    """Judges every state of both models; returns {volume content: (state image, models)} for the rerun."""
    judged, rerun = {}, {}
    scratch = os.path.join(work, "state.img")
    for model, model_states in states(entries).items():
        lost = incomplete = needing = 0
        for writes in model_states:
            image = rebuild(base, writes)
            digest = hashlib.sha1(image).digest()
            if digest not in judged:
                with open(scratch, "wb") as f:
                    f.write(image)
                files = volume_files(platform, scratch)
                judged[digest] = judge(scenario, files) + (content_key(files),)
            dump_lost, no_vkf, again, key = judged[digest]
            if again:
                rerun.setdefault(key, (image, set()))[1].add(model)
            lost, incomplete, needing = lost + dump_lost, incomplete + no_vkf, needing + again
        print("%s, %s: %d states (%d writes, %d flushes), %d lose the dump, %d without a complete VKF, "
              "%d need a rerun" % (scenario.name, model, len(model_states), sum(not f for f, _, _ in entries),
                                   sum(f for f, _, _ in entries), lost, incomplete, needing))
        e2e.report("%s_%s" % (scenario.name, model.replace(" ", "_")),
                   ["%d states lose the dump" % lost] * bool(lost) +
                   ["%d states hold no complete VKF" % incomplete] * bool(incomplete), counts)
    print("%s: %d distinct volumes judged, %d distinct ones need a rerun" % (scenario.name, len(judged), len(rerun)))
    return rerun


def first_boot(platform, args, work, counts):
    """Runs the three scenarios on logged disks; returns [(scenario, image before, log entries)]."""
    cases = [command_case(s, i + 1, s.name) for i, s in enumerate(SCENARIOS)]
    boot_disk = e2e.build_disk(platform, work, {"qorvex.efi": args.qorvex}, cases)
    extra, runs = smbios_board.qemu_args(), []
    for i, scenario in enumerate(SCENARIOS):
        image = data_disk(platform, work, scenario)
        log = os.path.join(work, scenario.name + ".log")
        open(log, "wb").close()
        runs.append((scenario, read(image), image, log))
        extra += logged(image, log, i + 1, args.bus)
    seconds, problem, console = e2e.boot(platform, boot_disk, work, args.time_limit, extra=extra)
    print("first boot: %.1f s" % seconds)
    statuses = e2e.read_statuses(e2e.extract(platform, boot_disk, work, "out-first"))
    result = []
    for (scenario, base, image, log), case in zip(runs, cases):
        entries = parse_log(log)
        problems = [problem] if problem else []
        if statuses.get(case.name, ("none",))[0] != "0x0":
            problems.append("status %s" % (statuses.get(case.name),))
        if rebuild(base, [(o, d) for f, o, d in entries if not f]) != read(image):
            problems.append("the log does not rebuild the disk after the run")
        if volume_files(platform, image).get("%s/%s" % (FOLDER, scenario.vkf)) != scenario.new:
            problems.append("the run did not leave the new VKF file")
        e2e.report(scenario.name + "_run", problems, counts)
        result.append((scenario, base, entries))
    if problem:
        print("console tail:\n" + console[-1500:])
    return result


def rerun_volumes(count, work):
    """FSn: of each rerun disk, its device path, and the QEMU arguments that attach them."""
    slots = [divmod(i, LUNS) for i in range(count)]
    paths = [SCSI_PATH % (2 + slot, lun) for slot, lun in slots]
    order = sorted(paths, key=str.upper)
    args = []
    for slot in range(slots[-1][0] + 1):
        args += ["-device", "virtio-scsi-pci,id=scsi%d,addr=0x%x" % (slot, 2 + slot)]
    for i, (slot, lun) in enumerate(slots):
        args += ["-drive", "if=none,format=raw,file=%s,id=r%d" % (rerun_disk(work, i), i),
                 "-device", "scsi-hd,drive=r%d,bus=scsi%d.0,scsi-id=0,lun=%d" % (i, slot, lun)]
    return [order.index(path) + 1 for path in paths], paths, args


def rerun_disk(work, index):
    return os.path.join(work, "rerun%02d.img" % index)


def rerun_boot(platform, args, work, reruns, counts):
    """Runs each scenario's command again on one state of each group; judges what it leaves."""
    jobs = [(scenario, image, models) for scenario, groups in reruns for image, models in groups.values()]
    if not jobs:
        return
    volumes, paths, qemu_args = rerun_volumes(min(len(jobs), MAX_RERUN_DISKS), work)
    cases = []
    for i, ((scenario, image, _), volume) in enumerate(zip(jobs, volumes)):
        with open(rerun_disk(work, i), "wb") as f:
            f.write(image)
        cases.append(command_case(scenario, volume, "rerun%02d_%s" % (i, scenario.name)))
    boot_disk = e2e.build_disk(platform, work, {"qorvex.efi": args.qorvex}, cases, "rerun-boot.img")
    seconds, problem, console = e2e.boot(platform, boot_disk, work, args.time_limit,
                                         extra=qemu_args + smbios_board.qemu_args())
    print("rerun boot: %.1f s for %d states%s" % (seconds, len(cases), ", %d more left out" % (len(jobs) - len(cases))
                                                 if len(jobs) > len(cases) else ""))
    console = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", console)
    with open(os.path.join(work, "rerun-console.log"), "w", encoding="latin-1") as f:
        f.write(console)
    statuses = e2e.read_statuses(e2e.extract(platform, boot_disk, work, "out-rerun"))
    runs, failures = {}, {}
    for i, (case, (scenario, _, models), volume) in enumerate(zip(cases, jobs, volumes)):
        files = volume_files(platform, rerun_disk(work, i))
        folder = sorted(p for p in files if p.startswith(FOLDER + "/"))
        status = statuses.get(case.name, ("no status",))[0]
        problems = [] if status == "0x0" else ["status %s" % status]
        if not re.search(r"FS%d: .*\n\s*%s\s" % (volume, re.escape(paths[i])), console):
            problems.append("FS%d: is not %s" % (volume, paths[i]))
        if files.get("%s/%s" % (FOLDER, scenario.vkf)) != scenario.new:
            problems.append("the VKF name does not hold the new VKF file")
        if folder != sorted("%s/%s" % (FOLDER, n) for n in (DUMP, scenario.vkf)) or \
                files.get("%s/%s" % (FOLDER, DUMP)) != e2e.DUMP8:
            problems.append("the folder holds %s" % folder)
        runs[scenario.name] = runs.get(scenario.name, 0) + 1
        failures[scenario.name] = failures.get(scenario.name, 0) + bool(problems)
        e2e.report("%s (%s)" % (case.name, ", ".join(sorted(models))), problems, counts)
    for name in runs:
        print("%s: %d reruns, %d failed" % (name, runs[name], failures[name]))
    if problem:
        e2e.report("rerun_boot", [problem], counts)
        print("console tail:\n" + console[-1500:])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="directory with the built qorvex.efi")
    parser.add_argument("--require-all", action="store_true", help="fail instead of skipping when anything is missing")
    parser.add_argument("--time-limit", type=float, default=150.0, help="seconds each boot may take")
    parser.add_argument("--bus", choices=BUSES, default="ide", help="how the logged disks are attached")
    parser.add_argument("--keep", help="keep the disks, logs and extracted files in this directory")
    args = parser.parse_args()
    platform = e2e.Platform(e2e.MACHINES["x64"])
    args.qorvex = os.path.join(args.bin_dir, "qorvex.efi")
    missing = platform.missing() + ([args.qorvex] if not os.path.exists(args.qorvex) else [])
    if missing:
        print("%s: missing %s" % ("FAILED" if args.require_all else "SKIPPED", ", ".join(missing)))
        return 1 if args.require_all else e2e.SKIP
    work = args.keep or tempfile.mkdtemp(prefix="qorvex-power-cut-")
    os.makedirs(work, exist_ok=True)
    counts = {"passed": 0, "failed": 0}
    try:
        runs = first_boot(platform, args, work, counts)
        reruns = [(scenario, judge_states(platform, scenario, base, entries, work, counts))
                  for scenario, base, entries in runs]
        rerun_boot(platform, args, work, reruns, counts)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    return e2e.closing(counts)


if __name__ == "__main__":
    sys.exit(main())

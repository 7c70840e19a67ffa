#!/usr/bin/env python3
"""Runs the CLI suite on a 32-bit Windows program under 32-bit Wine, also on
machines whose kernel cannot execute 32-bit x86 code.

Each way is a test of its own, so that the test run names the way taken:
--way direct runs the suite where the 32-bit Wine loader runs, --way vm
where it cannot; each skips (77) on the other kind of machine, saying why.
The virtual machine boots the host's Debian amd64 kernel (which can run 32-bit programs) in
qemu-system-x86_64 with the host's own root file system shared read-only over
virtio-9p, runs wine32_guest.sh there and reports the guest's output and
exit code as its own.

    wine32_vm.py --way vm --work DIR --program qorvexw.exe --wine /usr/lib/wine/wine --generated 40
"""
import argparse
import glob
import os
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.dirname(HERE)  # tests/cli, where the suite lives
sys.path.insert(0, CLI)
from cli_test import SKIPPED, can_run  # noqa: E402  the suite's own skip code and loader probe

CLI_TEST = os.path.join(CLI, "cli_test.py")
# What the guest runs, copied into the shared folder: this folder's guest
# script and the suite.
GUEST_FILES = (os.path.join(HERE, "wine32_guest.sh"), CLI_TEST, os.path.join(CLI, "reference_converter.py"))
# Kernel modules the guest needs to reach its root file system.
MODULES = ["virtio_pci", "9pnet_virtio", "9p"]


def find_kernel():
    """Newest installed kernel that can run 32-bit programs and has its modules."""
    kernels = []
    for image in glob.glob("/boot/vmlinuz-*"):
        version = image[len("/boot/vmlinuz-"):]
        config = "/boot/config-" + version
        modules = "/lib/modules/" + version
        if not os.path.isfile(modules + "/modules.dep") or not os.path.isfile(config) \
                or not os.access(image, os.R_OK):
            continue
        with open(config) as f:
            if "CONFIG_IA32_EMULATION=y\n" not in f.read():
                continue
        kernels.append((os.path.getmtime(image), image, modules))
    return max(kernels)[1:] if kernels else None


def module_files(modules_dir):
    """Module files of MODULES and their dependencies, dependencies first."""
    deps, builtin = {}, set()
    with open(os.path.join(modules_dir, "modules.dep")) as f:
        for line in f:
            path, _, rest = line.partition(":")
            deps[path] = rest.split()
    with open(os.path.join(modules_dir, "modules.builtin")) as f:
        builtin = {line.strip() for line in f}
    by_name = {os.path.basename(p)[:-3].replace("-", "_"): p for p in deps}
    ordered = []

    def visit(path):
        for dep in deps[path]:
            visit(dep)
        if path not in ordered:
            ordered.append(path)

    for name in MODULES:
        path = by_name.get(name)
        if path:
            visit(path)
        elif not any(os.path.basename(b)[:-3].replace("-", "_") == name for b in builtin):
            raise SystemExit("kernel module %s not found in %s" % (name, modules_dir))
    return [os.path.join(modules_dir, p) for p in ordered]


def cpio_entry(name, mode, data=b""):
    """One entry of a "newc" cpio archive, the format of an initramfs."""
    fields = [0, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
    header = b"070701" + b"".join(b"%08X" % v for v in fields)
    entry = header + name.encode() + b"\0"
    entry += b"\0" * (-len(entry) % 4) + data
    return entry + b"\0" * (-len(entry) % 4)


def write_initramfs(path, init, modules):
    parts = [cpio_entry(d, 0o40755) for d in ("dev", "root", "modules")]
    with open(init, "rb") as f:
        parts.append(cpio_entry("init", 0o100755, f.read()))
    for number, module in enumerate(modules):
        with open(module, "rb") as f:
            name = "modules/%02d-%s" % (number, os.path.basename(module))
            parts.append(cpio_entry(name, 0o100644, f.read()))
    parts.append(cpio_entry("TRAILER!!!", 0))
    with open(path, "wb") as f:
        f.write(b"".join(parts))


def build_init(work):
    source = os.path.join(HERE, "wine32_vm_init.c")
    init = os.path.join(work, "init")
    if not os.path.exists(init) or os.path.getmtime(init) < os.path.getmtime(source):
        compiler = os.environ.get("CC", "cc")
        subprocess.run([compiler, "-static", "-O2", "-o", init, source], check=True)
    return init


def boot(args, kernel, initrd, out, extra=()):
    """Boots the machine until it powers off; `extra` are more QEMU arguments."""
    log = os.path.join(args.work, "console.log")
    # Software emulation on every core: a /dev/kvm that a virtual machine offers
    # may not run a nested guest (seen here: QEMU hung with no console output).
    accel = "tcg,thread=multi"
    command = [
        "qemu-system-x86_64", "-nodefaults", "-display", "none", "-no-reboot",
        "-accel", accel, "-cpu", "qemu64", "-smp", str(os.cpu_count() or 1),
        "-m", "4096", "-serial", "file:" + log,
        "-kernel", kernel, "-initrd", initrd,
        "-append", "console=ttyS0 panic=-1 rdinit=/init quiet",
        "-virtfs", "local,path=/,mount_tag=host0,security_model=none,readonly=on,multidevs=remap",
        "-virtfs", "local,path=%s,mount_tag=out,security_model=none" % out,
    ] + list(extra)
    started = time.monotonic()
    try:
        subprocess.run(command, stdin=subprocess.DEVNULL, timeout=args.timeout, check=False)
        print("wine32 virtual machine: %.0f s from boot to power-off"
              % (time.monotonic() - started))
    except subprocess.TimeoutExpired:
        print("the virtual machine was stopped after %d s" % args.timeout)
    return log


def show(path):
    if os.path.exists(path):
        with open(path, errors="replace") as f:
            sys.stdout.write(f.read())


def prepare_machine(work, modules_dir):
    """Writes the initramfs into `work` and empties the shared folder; returns both paths."""
    os.makedirs(work, exist_ok=True)
    initrd = os.path.join(work, "initrd.cpio")
    write_initramfs(initrd, build_init(work), module_files(modules_dir))
    out = os.path.join(work, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    return initrd, out


def run_in_vm(args):
    found = find_kernel()
    if not found or not shutil.which("qemu-system-x86_64"):
        print("SKIP every case: %s cannot run here and there is no amd64 kernel with 32-bit "
              "support (linux-image-amd64) and qemu-system-x86_64 to run it in" % args.wine)
        return SKIPPED
    kernel, modules_dir = found
    initrd, out = prepare_machine(args.work, modules_dir)
    # The guest mounts its own /tmp over the host's, which would hide a source
    # or build tree under /tmp; so the program and the scripts travel in the
    # shared folder.
    program = os.path.basename(args.program)
    shutil.copyfile(args.program, os.path.join(out, program))
    # The suite finds the examples beside tests/cli/, so keep that layout.
    guest_cli = os.path.join(out, "tests", "cli")
    os.makedirs(guest_cli)
    for script in GUEST_FILES:
        shutil.copyfile(script, os.path.join(guest_cli, os.path.basename(script)))
    shutil.copytree(os.path.join(CLI, "data"), os.path.join(guest_cli, "data"))
    shutil.copytree(os.path.join(CLI, "..", "..", "examples"), os.path.join(out, "examples"))
    words = ["/tmp/out/tests/cli/wine32_guest.sh", "/tmp/out/tests/cli/cli_test.py",
             "/tmp/out/" + program, args.wine, str(args.generated)]
    with open(os.path.join(out, "job.sh"), "w") as f:
        # The suite inside needs the version the build handed over.
        f.write("export QORVEX_VERSION=%s\n" % shlex.quote(os.environ["QORVEX_VERSION"]))
        f.write("exec /bin/sh " + " ".join(shlex.quote(w) for w in words) + "\n")

    log = boot(args, kernel, initrd, out)
    show(os.path.join(out, "output"))
    try:
        with open(os.path.join(out, "rc")) as f:
            return int(f.read())
    except (OSError, ValueError):
        print("the suite did not finish in the virtual machine; its console:")
        show(log)
        show(os.path.join(out, "wine.log"))
        return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="folder for the initramfs and the output")
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", required=True, help="32-bit Wine loader")
    parser.add_argument("--generated", type=int, default=0)
    parser.add_argument("--timeout", type=int, default=600, help="seconds the machine may run")
    parser.add_argument("--way", choices=("direct", "vm"), required=True,
                        help="run the suite here under 32-bit Wine, or in the virtual machine")
    args = parser.parse_args()
    direct = can_run(args.wine)
    ways = {True: "directly on this machine", False: "in a virtual machine (this machine runs no 32-bit x86 code)"}
    if direct != (args.way == "direct"):
        print("SKIP every case: the 32-bit program is tested %s, since %s %s here"
              % (ways[direct], args.wine, "runs" if direct else "does not run"))
        return SKIPPED
    print("32-bit Windows program under 32-bit Wine, %s" % ways[direct])
    if direct:
        return subprocess.run([sys.executable, CLI_TEST, "--program", args.program,
                               "--wine", args.wine, "--generated", str(args.generated)]).returncode
    return run_in_vm(args)


if __name__ == "__main__":
    sys.exit(main())

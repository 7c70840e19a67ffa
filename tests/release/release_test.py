#!/usr/bin/env python3
"""Checks of what qorvex ships: the install layout, the files dist writes,
and the Debian package installed on this machine.

  release_test.py install --build-dir B --version V
      cmake --install of the build into a temporary prefix, and of a build
      configured without the cross toolchains (it installs what was built)
  release_test.py dist --build-dir B --version V --deb F --zip F --image F
      the package (fields, files, lintian), the zip and the USB stick image
  release_test.py deb-install --version V --deb F
      dpkg -i as root, the installed qorvexw on the sample dump, dpkg -r

Each check prints PASS/FAIL lines and "N passed, N failed". Exit status 0,
1 when a check failed, 77 (skipped) when a tool or root is missing and
--require-all is not given.
"""

import argparse
import collections
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import firmware_e2e as fe  # noqa: E402

SKIP = 77
SAMPLE_DUMP = os.path.join(SOURCE, "examples", "sample-dump.txt")
SAMPLE_VKF = fe.read(os.path.join(SOURCE, "examples", "sample.vkf"))
SCREEN_LINES, SCREEN_COLUMNS = 25, 80

# Every shipped file: its name in the zip and on the stick, where it is
# installed below the prefix (None: not installed), where the build keeps it
# ("build:" below the build tree, else below the source tree), and which
# archives for Windows and EFI users carry it.
Shipped = collections.namedtuple("Shipped", "name installed source archives")
SHIPPED = [
    Shipped("qorvexw", "bin/qorvexw", "build:bin/qorvexw", ()),
    Shipped("qorvexw.exe", "share/qorvex/windows/qorvexw.exe", "build:bin/qorvexw.exe", ("zip",)),
    Shipped("qorvexw64.exe", "share/qorvex/windows/qorvexw64.exe", "build:bin/qorvexw64.exe", ("zip",)),
    Shipped("qorvex.efi", "share/qorvex/efi/qorvex.efi", "build:bin/qorvex.efi", ("zip", "image")),
    Shipped("qorvexaa64.efi", "share/qorvex/efi/qorvexaa64.efi", "build:bin/qorvexaa64.efi", ("zip", "image")),
    Shipped("README.txt", None, "build:packaging/text/README.txt", ("zip", "image")),
    Shipped("LICENSE.txt", None, "build:packaging/text/LICENSE.txt", ("zip", "image")),
    Shipped("dumps/sample.txt", None, "examples/sample-dump.txt", ("zip", "image")),
    Shipped("README", "share/doc/qorvex/README", "build:packaging/text/README", ()),
    Shipped("copyright", "share/doc/qorvex/copyright", "build:packaging/text/copyright", ()),
    Shipped("changelog", "share/doc/qorvex/changelog", "packaging/changelog", ()),
    Shipped("qorvexw.1", "share/man/man1/qorvexw.1", "build:packaging/text/qorvexw.1", ()),
]
# Built only with a cross toolchain.
CROSS_BUILT = {name: (name,) for name in ("qorvexw.exe", "qorvexw64.exe", "qorvex.efi", "qorvexaa64.efi")}
# The Debian package compresses these; texts for Windows and the EFI shell end lines with CR LF.
GZIPPED_IN_DEB = ("qorvexw.1", "changelog")
CRLF_TEXTS = ("README.txt", "LICENSE.txt")
MAN_SECTIONS = ("NAME", "SYNOPSIS", "DESCRIPTION", "THE DUMP FORMAT", "EXIT STATUS", "EXAMPLES")


def source_path(item, build_dir):
    if item.source.startswith("build:"):
        return os.path.join(build_dir, item.source[len("build:"):])
    return os.path.join(SOURCE, item.source)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def files_below(root):
    """Relative paths of the regular files below root."""
    return {os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(root) for f in names}


def set_difference(got, want):
    problems = ["unexpected %s" % name for name in sorted(got - want)]
    return problems + ["missing %s" % name for name in sorted(want - got)]


def same_bytes(path, want_path, label):
    if fe.read(path) != fe.read(want_path):
        return ["%s differs from %s" % (label, want_path)]
    return []


def converts_sample(program, work, version):
    """Runs an installed qorvexw on the sample dump like a user would."""
    target = os.path.join(work, "sample.vkf")
    result = subprocess.run([program, SAMPLE_DUMP, target], capture_output=True)
    problems = []
    if result.returncode != 0:
        problems.append("%s exited with %d: %r" % (program, result.returncode, result.stdout[-300:]))
    if not result.stdout.startswith(b"QORVEX ver %s\r\n" % version.encode()):
        problems.append("%s printed %r, expected the banner of %s" % (program, result.stdout[:40], version))
    got = fe.read(target) if os.path.exists(target) else None
    if got != SAMPLE_VKF:
        problems.append("%s wrote %s" % (program, fe.difference(got, SAMPLE_VKF)))
    return problems


def man_page_problems(path):
    """Warnings of man, the way lintian runs it, and the sections a man page needs."""
    env = dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80")
    result = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", path], env=env)
    problems = ["man: %s" % line for line in result.stderr.splitlines()]
    text = run(["man", "-l", path], env=env).stdout
    headings = {line.strip() for line in text.splitlines() if line and not line[0].isspace()}
    return problems + ["no %s section" % name for name in MAN_SECTIONS if name not in headings]


# --- install -------------------------------------------------------------


def expected_install(build_dir, require_all):
    """Installed paths for what this build made; missing cross-built files are problems under --require-all."""
    bin_dir = os.path.join(build_dir, "bin")
    built = lambda item: all(os.path.exists(os.path.join(bin_dir, f)) for f in CROSS_BUILT.get(item.name, ()))
    want = {item.installed for item in SHIPPED if item.installed and built(item)}
    missing = sorted({f for item in SHIPPED if not built(item) for f in CROSS_BUILT[item.name]})
    return want, (["not built: %s" % ", ".join(missing)] if missing and require_all else [])


def install_into(build_dir, prefix):
    result = run(["cmake", "--install", build_dir, "--prefix", prefix])
    return [] if result.returncode == 0 else ["cmake --install failed: %s" % result.stderr[-500:]]


def check_full_install(args, work, report):
    prefix = os.path.join(work, "prefix")
    problems = install_into(args.build_dir, prefix)
    want, problems_built = expected_install(args.build_dir, args.require_all)
    problems += problems_built + set_difference(files_below(prefix), want)
    for item in SHIPPED:
        path = os.path.join(prefix, item.installed or "-")
        if item.name != "qorvexw" and os.path.exists(path):
            problems += same_bytes(path, source_path(item, args.build_dir), item.installed)
    report("install_layout", problems)
    report("install_runs_qorvexw", converts_sample(os.path.join(prefix, "bin", "qorvexw"), work, args.version))
    report("install_man_page", man_page_problems(os.path.join(prefix, "share", "man", "man1", "qorvexw.1")))


def check_partial_install(args, work, report):
    """A tree configured without the cross toolchains installs the native program and the texts."""
    tree = os.path.join(work, "partial")
    hidden = ["-DQORVEX_MINGW_CXX=", "-DQORVEX_MINGW64_CXX=", "-DQORVEX_EFI_CLANGXX=", "-DQORVEX_EFI_LLD_LINK="]
    problems = []
    for step in (["cmake", "-S", SOURCE, "-B", tree] + hidden,
                 ["cmake", "--build", tree, "--target", "qorvexw", "-j2"]):
        result = run(step)
        if result.returncode != 0:
            report("install_without_cross_toolchains", ["%s failed: %s" % (" ".join(step), result.stderr[-500:])])
            return
    prefix = os.path.join(work, "partial-prefix")
    problems += install_into(tree, prefix)
    want = {item.installed for item in SHIPPED if item.installed and item.name not in CROSS_BUILT}
    problems += set_difference(files_below(prefix), want)
    report("install_without_cross_toolchains", problems)


def check_install(args, report):
    work = tempfile.mkdtemp(prefix="qorvex-install-")
    try:
        check_full_install(args, work, report)
        check_partial_install(args, work, report)
    finally:
        shutil.rmtree(work, ignore_errors=True)


# --- dist ----------------------------------------------------------------


def deb_field_problems(deb, version):
    fields = {}
    for name in ("Package", "Version", "Architecture", "Section", "Depends", "Maintainer", "Description"):
        fields[name] = run(["dpkg-deb", "-f", deb, name]).stdout.strip()
    architecture = run(["dpkg", "--print-architecture"]).stdout.strip()
    want = {"Package": "qorvex", "Version": version, "Architecture": architecture}
    problems = ["%s is %r, expected %r" % (k, fields[k], v) for k, v in want.items() if fields[k] != v]
    problems += ["%s is empty" % name for name, value in fields.items() if not value]
    if "libc6" not in fields["Depends"]:
        problems.append("Depends %r does not name libc6, which qorvexw links to" % fields["Depends"])
    return problems


def deb_content_problems(deb, build_dir, version, work):
    """The files, their owners and modes, and their bytes against the build's."""
    problems = []
    want = {}
    for item in SHIPPED:
        if item.installed:
            path = "usr/" + item.installed + (".gz" if item.name in GZIPPED_IN_DEB else "")
            want[path] = item
    got = {}
    for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        path = path[2:] if path.startswith("./") else path
        if owner != "root/root":
            problems.append("%s is owned by %s" % (path, owner))
        if mode.startswith("-"):
            got[path] = mode
    problems += set_difference(set(got), set(want))
    for path, mode in got.items():
        want_mode = "-rwxr-xr-x" if path.startswith("usr/bin/") else "-rw-r--r--"
        if mode != want_mode:
            problems.append("%s has mode %s, expected %s" % (path, mode, want_mode))
    root = os.path.join(work, "deb")
    run(["dpkg-deb", "-x", deb, root])
    for path, item in want.items():
        extracted = os.path.join(root, path)
        if item.name == "qorvexw" or not os.path.exists(extracted):
            continue
        data = fe.read(extracted)
        if path.endswith(".gz"):
            data = gzip.decompress(data)
        if data != fe.read(source_path(item, build_dir)):
            problems.append("%s differs from %s" % (path, source_path(item, build_dir)))
    return problems, os.path.join(root, "usr", "bin", "qorvexw")


def lintian_problems(deb):
    result = run(["lintian", deb])
    for line in result.stdout.splitlines():
        print("     lintian: %s" % line)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    if result.returncode != 0 and not errors:
        errors.append("lintian failed (%d): %s" % (result.returncode, result.stderr[-300:]))
    return errors


def text_problems(name, data):
    problems = []
    if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
        problems.append("%s has line ends other than CR LF" % name)
    lines = data.decode("latin-1").split("\r\n")
    if name == "README.txt":
        if len(lines) - 1 > SCREEN_LINES or max(map(len, lines)) > SCREEN_COLUMNS:
            problems.append("README.txt does not fit a screen of %d lines of %d columns" % (SCREEN_LINES, SCREEN_COLUMNS))
        # The shell's answer to the other machine's image, as the firmware test saw it.
        refusal = '"%s"' % dict((n, a) for n, _, a in fe.TYPED)["other_machine_image"].strip()
        if refusal not in "".join(lines):
            problems.append("README.txt does not quote the shell's answer to the wrong image, %s" % refusal)
    return problems


def archive_problems(kind, names_to_bytes, build_dir):
    """The files of an archive against the shipped ones for it."""
    want = {item.name: item for item in SHIPPED if kind in item.archives}
    problems = set_difference(set(names_to_bytes), set(want))
    for name, data in names_to_bytes.items():
        if name in want and data != fe.read(source_path(want[name], build_dir)):
            problems.append("%s differs from the build's" % name)
        if name in CRLF_TEXTS:
            problems += text_problems(name, data)
    return problems


def zip_problems(path, build_dir):
    with zipfile.ZipFile(path) as archive:
        contents = {info.filename: archive.read(info) for info in archive.infolist() if not info.is_dir()}
    return archive_problems("zip", contents, build_dir)


def image_problems(path, build_dir, work):
    size = os.path.getsize(path)
    problems = [] if 1 << 20 <= size <= 16 << 20 else ["the image has %d bytes, not a few MiB" % size]
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    listing = run(["mdir", "-/", "-b", "-i", path, "::/"], env=env)
    if listing.returncode != 0:
        return problems + ["mdir cannot read the image: %s" % listing.stderr.strip()]
    entries = [line.strip()[len("::/"):] for line in listing.stdout.splitlines() if line.strip()]
    if any(entry.lower() == "startup.nsh" for entry in entries):
        problems.append("the image holds a startup.nsh, which would run by itself")
    if "dumps/" not in entries:
        problems.append("the image has no dumps folder")
    label = run(["mlabel", "-s", "-i", path, "::"], env=env).stdout
    if "QORVEX" not in label:
        problems.append("the image's volume label is not QORVEX: %r" % label)
    files = [entry for entry in entries if not entry.endswith("/")]
    out = os.path.join(work, "image")
    os.makedirs(out)
    contents = {}
    for name in files:
        local = os.path.join(out, name.replace("/", "_"))
        run(["mcopy", "-n", "-i", path, "::/" + name, local], env=env)
        contents[name] = fe.read(local)
    return problems + archive_problems("image", contents, build_dir)


def reproducible_problems(args, work):
    """dist run again gives the same zip and image, and no Windows program carries a link time stamp."""
    problems = []
    # The EFI images carry a hash of their bytes instead (/Brepro), which the second run checks.
    for name in ("qorvexw.exe", "qorvexw64.exe"):
        with open(os.path.join(args.build_dir, "bin", name), "rb") as f:
            header = f.read(4096)
        pe = int.from_bytes(header[0x3C:0x40], "little")
        if header[pe:pe + 4] != b"PE\0\0" or header[pe + 8:pe + 12] != b"\0\0\0\0":
            problems.append("%s carries a link time stamp" % name)
    first = {path: fe.read(path) for path in (args.zip, args.image)}
    again = run(["cmake", "--build", args.build_dir, "--target", "dist"])
    if again.returncode != 0:
        return problems + ["dist failed the second time: %s" % again.stderr[-300:]]
    return problems + ["%s differs from the first dist run" % path for path, data in first.items() if fe.read(path) != data]


def check_dist(args, report):
    work = tempfile.mkdtemp(prefix="qorvex-dist-")
    try:
        for path in (args.deb, args.zip, args.image):
            if not os.path.exists(path):
                report("dist_files", ["%s is missing (cmake --build build --target dist)" % path])
                return
        report("deb_fields", deb_field_problems(args.deb, args.version))
        problems, packaged_qorvexw = deb_content_problems(args.deb, args.build_dir, args.version, work)
        report("deb_files", problems)
        report("deb_runs_qorvexw", converts_sample(packaged_qorvexw, work, args.version))
        report("deb_lintian", lintian_problems(args.deb))
        report("zip", zip_problems(args.zip, args.build_dir))
        report("usb_image", image_problems(args.image, args.build_dir, work))
        report("dist_reproducible", reproducible_problems(args, work))
    finally:
        shutil.rmtree(work, ignore_errors=True)


# --- deb-install ---------------------------------------------------------


def package_installed():
    result = run(["dpkg-query", "-W", "-f=${Status}", "qorvex"])
    return "install ok installed" in result.stdout


def check_deb_install(args, report):
    was_installed = package_installed()
    work = tempfile.mkdtemp(prefix="qorvex-deb-")
    try:
        result = run(["dpkg", "-i", args.deb])
        if result.returncode != 0:
            report("deb_install", ["dpkg -i failed: %s" % (result.stdout + result.stderr)[-600:]])
            return
        report("deb_install", converts_sample("/usr/bin/qorvexw", work, args.version))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        # Leave the machine as it was found.
        if not was_installed and package_installed():
            run(["dpkg", "-r", "qorvex"])


# --- main ----------------------------------------------------------------

NEEDS = {
    "install": [("cmake", "cmake"), ("man", "man-db")],
    "dist": [("dpkg-deb", "dpkg"), ("lintian", "lintian"), ("mdir", "mtools"), ("mcopy", "mtools"),
             ("mlabel", "mtools")],
    "deb-install": [("dpkg", "dpkg")],
}
CHECKS = {"install": check_install, "dist": check_dist, "deb-install": check_deb_install}


def missing_pieces(check):
    missing = ["%s (package %s)" % (tool, package) for tool, package in NEEDS[check] if not shutil.which(tool)]
    if check == "deb-install" and os.geteuid() != 0:
        missing.append("root, to install the package")
    return missing


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--build-dir", help="the build tree")
    parser.add_argument("--version", required=True, help="the project's version")
    parser.add_argument("--deb")
    parser.add_argument("--zip")
    parser.add_argument("--image")
    parser.add_argument("--require-all", action="store_true", help="fail instead of skipping when a tool or root is missing")
    return parser.parse_args()


def main():
    args = parse_args()
    missing = missing_pieces(args.check)
    if missing:
        print("missing: %s" % ", ".join(missing))
        print("0 passed, %d failed" % (1 if args.require_all else 0))
        return 1 if args.require_all else SKIP
    counts = {"passed": 0, "failed": 0}
    CHECKS[args.check](args, lambda name, problems: fe.report(name, problems, counts))
    print("%d passed, %d failed" % (counts["passed"], counts["failed"]))
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())

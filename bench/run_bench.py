#!/usr/bin/env python3
"""Times qorvexw against cat (the I/O floor) and a plain Python converter on
generated dumps of 400,000 field lines, 8-bit and UTF-16LE, and reports its
peak memory on a 1 MB and a 50 MB dump. Prints figures; asserts nothing.

    run_bench.py --program build/bin/qorvexw
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(command):
    """Runs a command; returns its wall time in seconds."""
    start = time.perf_counter()
    if subprocess.run(command, stdout=subprocess.DEVNULL).returncode != 0:
        sys.exit("failed: %s" % " ".join(command))
    return time.perf_counter() - start


def peak_memory(command, folder):
    """Peak resident KiB of a command. Measured by GNU time: a child forked
    from this Python process would report Python's own size, which the
    kernel carries over into the child's peak across exec."""
    report = os.path.join(folder, "peak.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command, check=True,
                   stdout=subprocess.DEVNULL)
    with open(report) as f:
        return int(f.read().split()[-1])


def best(command, repeat):
    return min(run(command) for _ in range(repeat))


def generate(path, *options):
    subprocess.run([sys.executable, os.path.join(HERE, "gen_dump.py"), path] + list(options),
                   check=True)
    return os.path.getsize(path)


def same_file(left, right):
    with open(left, "rb") as a, open(right, "rb") as b:
        return a.read() == b.read()


def compare(program, folder, label, dump, repeat):
    vkf, py_vkf = os.path.join(folder, "q.vkf"), os.path.join(folder, "py.vkf")
    qorvexw = best([program, dump, vkf, "/q"], repeat)
    cat = best(["cat", dump], repeat)
    python = best([sys.executable, os.path.join(HERE, "py_converter.py"), dump, py_vkf], 2)
    agree = "same VKF" if same_file(vkf, py_vkf) else "VKF FILES DIFFER"
    print("%-9s %6.1f MB  qorvexw %6.3f s  cat %6.3f s  python %6.3f s  "
          "python/qorvexw %5.1fx  qorvexw/cat %5.1fx  (%s)"
          % (label, os.path.getsize(dump) / 1e6, qorvexw, cat, python, python / qorvexw,
             qorvexw / cat, agree))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    program = os.path.abspath(args.program)

    with tempfile.TemporaryDirectory(prefix="qorvex-bench-") as folder:
        eight = os.path.join(folder, "dump8.txt")
        wide = os.path.join(folder, "dump16.txt")
        generate(eight, "--lines", "400000")
        generate(wide, "--lines", "400000", "--utf16")
        print("400,000 field lines mixed with headings; best of %d runs" % args.repeat)
        compare(program, folder, "8-bit", eight, args.repeat)
        compare(program, folder, "UTF-16LE", wide, args.repeat)

        print("peak memory of qorvexw /q:")
        for label, size in (("1 MB", 1000000), ("50 MB", 50000000)):
            dump = os.path.join(folder, "size.txt")
            generate(dump, "--bytes", str(size))
            peak = peak_memory([program, dump, os.path.join(folder, "size.vkf"), "/q"], folder)
            print("  %-6s dump (%5.1f MB): %6d KiB peak resident"
                  % (label, os.path.getsize(dump) / 1e6, peak))


if __name__ == "__main__":
    main()

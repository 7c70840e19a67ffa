#!/usr/bin/env python3
"""Times qorvexw against cat (the I/O floor) and a plain Python converter on
generated dumps of 400,000 field lines, 8-bit and UTF-16LE, and reports its
peak memory on a 1 MB and a 50 MB dump. Prints figures and the goals they
are held to; asserts nothing.

The main figure is CPU time (user + system, from the kernel's resource
usage of each child), which other work on a shared machine disturbs far
less than wall time. The programs take turns run after run, so that a
change of load hits all of them alike, and the median of the runs counts.

    run_bench.py --program build/bin/qorvexw [--runs 5]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# The goals of the benchmark: qorvexw against the Python converter (CPU time,
# both encodings) and against cat (CPU time, 8-bit dump).
GOAL_OVER_PYTHON = 10.0
GOAL_OVER_CAT = 5.0
PEAK_TOLERANCE_KIB = 256


def run(command):
    """Runs a command with its output discarded; returns (CPU seconds, wall seconds)."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        start = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    finally:
        os.close(devnull)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: %s" % " ".join(command))
    return usage.ru_utime + usage.ru_stime, wall


def peak_memory(command, folder):
    """Peak resident KiB of a command. Measured by GNU time: a child forked
    from this Python process would report Python's own size, which the
    kernel carries over into the child's peak across exec."""
    report = os.path.join(folder, "peak.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command, check=True,
                   stdout=subprocess.DEVNULL)
    with open(report) as f:
        return int(f.read().split()[-1])


def generate(path, *options):
    subprocess.run([sys.executable, os.path.join(HERE, "gen_dump.py"), path] + list(options),
                   check=True)
    return os.path.getsize(path)


def same_file(left, right):
    with open(left, "rb") as a, open(right, "rb") as b:
        return a.read() == b.read()


def medians(commands, runs):
    """Runs every command `runs` times, taking turns; returns the median
    (CPU, wall) seconds of each, by name."""
    samples = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            samples[name].append(run(command))
    return {name: (statistics.median(cpu for cpu, _ in times),
                   statistics.median(wall for _, wall in times))
            for name, times in samples.items()}


def verdict(met):
    return "met" if met else "NOT MET"


def compare(program, folder, label, dump, runs):
    vkf, py_vkf = os.path.join(folder, "q.vkf"), os.path.join(folder, "py.vkf")
    figures = medians({
        "qorvexw": [program, dump, vkf, "/q"],
        "python": [sys.executable, os.path.join(HERE, "py_converter.py"), dump, py_vkf],
        "cat": ["cat", dump],
    }, runs)
    agree = "same VKF" if same_file(vkf, py_vkf) else "VKF FILES DIFFER"
    print("%s, %.1f MB (%s):" % (label, os.path.getsize(dump) / 1e6, agree))
    for name in ("qorvexw", "python", "cat"):
        cpu, wall = figures[name]
        print("  %-8s CPU %7.3f s   wall %7.3f s" % (name, cpu, wall))
    (q_cpu, q_wall), (p_cpu, p_wall), (c_cpu, c_wall) = (
        figures["qorvexw"], figures["python"], figures["cat"])
    over_python = p_cpu / q_cpu
    over_cat = q_cpu / c_cpu if c_cpu > 0 else float("inf")
    print("  python/qorvexw %5.1fx CPU (%5.1fx wall)   goal >= %.0fx: %s"
          % (over_python, p_wall / q_wall, GOAL_OVER_PYTHON,
             verdict(over_python >= GOAL_OVER_PYTHON)))
    cat_goal = ("   goal <= %.0fx: %s" % (GOAL_OVER_CAT, verdict(over_cat <= GOAL_OVER_CAT))
                if label == "8-bit" else "")
    print("  qorvexw/cat    %5.1fx CPU (%5.1fx wall)%s" % (over_cat, q_wall / c_wall, cat_goal))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per dump")
    args = parser.parse_args()
    program = os.path.abspath(args.program)

    with tempfile.TemporaryDirectory(prefix="qorvex-bench-") as folder:
        eight = os.path.join(folder, "dump8.txt")
        wide = os.path.join(folder, "dump16.txt")
        generate(eight, "--lines", "400000")
        generate(wide, "--lines", "400000", "--utf16")
        print("400,000 field lines mixed with headings; medians of %d runs taken in turns; "
              "load average %.2f" % (args.runs, os.getloadavg()[0]))
        compare(program, folder, "8-bit", eight, args.runs)
        compare(program, folder, "UTF-16LE", wide, args.runs)

        print("peak memory of qorvexw /q (median of %d runs):" % args.runs)
        peaks = []
        for label, size in (("1 MB", 1000000), ("50 MB", 50000000)):
            dump = os.path.join(folder, "size.txt")
            generate(dump, "--bytes", str(size))
            command = [program, dump, os.path.join(folder, "size.vkf"), "/q"]
            peaks.append(statistics.median(peak_memory(command, folder)
                                           for _ in range(args.runs)))
            print("  %-6s dump (%5.1f MB): %6d KiB peak resident"
                  % (label, os.path.getsize(dump) / 1e6, peaks[-1]))
        # The resident size of one and the same run varies by up to a couple
        # of hundred KiB (where the C runtime's pages land); memory that grew
        # with the dump would differ by megabytes.
        print("  goal: the same for both sizes (within %d KiB): %s"
              % (PEAK_TOLERANCE_KIB, verdict(abs(peaks[1] - peaks[0]) <= PEAK_TOLERANCE_KIB)))


if __name__ == "__main__":
    main()

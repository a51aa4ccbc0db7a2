"""Whole-process timing for the benchmarks: each command's wall time and its
own CPU time (user + system), the commands interleaved so that changes in the
machine's load fall on all of them alike."""
import os
import statistics
import subprocess
import sys
import time


def timed(argv, who, quiet=False):
    """Wall and CPU seconds and the size of stdout; ends the benchmark when the
    command fails (or, with `quiet`, writes anything on stderr)."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = child.stdout.read()
    err = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = 0   # reaped by wait4 above
    if status != 0 or (quiet and err):
        sys.exit(f"{who}: {' '.join(argv)} failed ({status}): {out.decode()}{err.decode()}")
    return wall, usage.ru_utime + usage.ru_stime, len(out)


def interleaved(commands, runs, who, warm=5, quiet=False):
    """{name: [wall seconds]}, {name: [CPU seconds]} of `runs` rounds over
    every command, after `warm` rounds that warm the page cache."""
    walls = {name: [] for name in commands}
    cpus = {name: [] for name in commands}
    for i in range(runs + warm):
        for name, argv in commands.items():
            wall, cpu, _ = timed(argv, who, quiet)
            if i >= warm:
                walls[name].append(wall)
                cpus[name].append(cpu)
    return walls, cpus


def ms(values):
    return statistics.median(values) * 1000


def print_medians(commands, walls, cpus, runs):
    print(f"whole process, median of {runs} runs each (ms):   wall      CPU")
    for name in commands:
        print(f"  {name:<24} {ms(walls[name]):20.2f} {ms(cpus[name]):8.2f}")

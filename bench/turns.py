#!/usr/bin/env python3
"""Median wall time of shell commands that take turns, run by run.

Usage: bench/turns.py RUNS COMMAND...   (in a job folder of BUILD/bench-data)

Each round runs every command once, in order, after removing the job's
out_*.wav and syncing the page cache, as bench/run.sh does; one warm round
comes first and is not counted. Taking turns spreads the drift of a shared
machine over every command alike, which runs in batches (hyperfine's) do not:
compare two builds, or two kernel settings, with it. Prints each command's
median and its ratio to the first command's.

Example, the 16-bit 500-span job with the build before a change and after it:
  cd build-bench/bench-data/many_16
  ../../../bench/turns.py 20 "exec ../../bench/bench_strict_bound bound.txt" \\
      "exec /tmp/before/wavsplice task.txt" "exec ../../wavsplice task.txt" \\
      "WAVSPLICE_KERNELS=avx2 exec ../../wavsplice task.txt"
"""
import glob
import os
import statistics
import subprocess
import sys
import time


def run_once(command):
    for old in glob.glob("out_*.wav"):
        os.remove(old)
    os.sync()
    start = time.perf_counter()
    subprocess.run(command, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    runs = int(sys.argv[1])
    commands = sys.argv[2:]
    times = {command: [] for command in commands}
    for round_number in range(runs + 1):
        for command in commands:
            seconds = run_once(command)
            if round_number > 0:
                times[command].append(seconds)
    first = statistics.median(times[commands[0]])
    for command in commands:
        median = statistics.median(times[command])
        print(f"{median * 1000:8.1f} ms  {median / first:5.2f}x  {command}")


if __name__ == "__main__":
    main()

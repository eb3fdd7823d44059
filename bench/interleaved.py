#!/usr/bin/env python3
"""Two builds of cuecarry, run by turns on one tree, for a before-and-after
judgement finer than run_bench.py's: other work on a shared machine comes and
goes over minutes, and runs taken by turns (A B, B A, A B, ...) meet it alike.
Reports the median wall and CPU time (user and system, from wait4) of each
build into an empty destination and into one its own earlier run filled,
and after/before.

    python3 bench/gen_tree.py --layout vod --preset medium /dev/shm/cc-turns/tree
    python3 bench/interleaved.py --before /tmp/cuecarry-before --after build/app/cuecarry \\
        --tree /dev/shm/cc-turns/tree/VOD --work /dev/shm/cc-turns --reps 9 -- -j1
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed_run(program, arguments, source, destination):
    started = time.perf_counter()
    child = subprocess.Popen([program, *arguments, source, destination],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - started
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{program} failed on {source}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--before", required=True)
    parser.add_argument("--after", required=True)
    parser.add_argument("--tree", required=True, help="the source folder (.../VOD or .../Zelvora)")
    parser.add_argument("--work", required=True, help="scratch folder for the destinations")
    parser.add_argument("--reps", type=int, default=9)
    parser.add_argument("arguments", nargs="*", help="given to both builds (after --)")
    options = parser.parse_args()

    builds = {"before": options.before, "after": options.after}
    times = {(build, kind): [] for build in builds for kind in ("empty", "full")}
    full = {build: os.path.join(options.work, f"full-{build}") for build in builds}
    for build, program in builds.items():
        shutil.rmtree(full[build], ignore_errors=True)
        os.makedirs(full[build])
        timed_run(program, options.arguments, options.tree, full[build])
    for rep in range(options.reps):
        order = list(builds) if rep % 2 == 0 else list(reversed(builds))
        for build in order:
            empty = os.path.join(options.work, f"empty-{build}")
            shutil.rmtree(empty, ignore_errors=True)
            os.makedirs(empty)
            times[build, "empty"].append(timed_run(builds[build], options.arguments, options.tree, empty))
            times[build, "full"].append(timed_run(builds[build], options.arguments, options.tree, full[build]))
    for build in builds:
        shutil.rmtree(full[build], ignore_errors=True)
        shutil.rmtree(os.path.join(options.work, f"empty-{build}"), ignore_errors=True)

    def median(build, kind, index):
        return statistics.median(sample[index] for sample in times[build, kind])

    print("| destination | wall before s | wall after s | after/before | CPU before s | CPU after s | after/before |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for kind in ("empty", "full"):
        wall = [median(build, kind, 0) for build in builds]
        cpu = [median(build, kind, 1) for build in builds]
        print(f"| {kind} | {wall[0]:.3f} | {wall[1]:.3f} | {wall[1] / wall[0]:.3f} "
              f"| {cpu[0]:.3f} | {cpu[1]:.3f} | {cpu[1] / cpu[0]:.3f} |")


if __name__ == "__main__":
    main()

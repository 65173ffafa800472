#!/usr/bin/env python3
"""Whole-process start-up benchmark of velkor's dump.

Runs, in turn, 20 times each (alternating, so that machine noise hits all alike):
  xxd      xxd -u -c 32 <2036-byte sample block>          (the floor: a small C program)
  compiled velkor --dump                                  (compiled-in description)
  config   velkor --config=<139-entry description> --dump (description file)
  from     velkor --from=<sample block> --dump            (the block from a file, no page)
  json     velkor --json --dump                           (one JSON document)
  diff     velkor --diff=<field block>                    (page against the second example: 7
                                                           differences, exit status 1)
and prints the median wall time of each, the ratio compiled/xxd and the ratios of the others to
compiled.

Each run is timed from just before posix_spawn to the end of waitpid; output goes to /dev/null.
The child's CPU time (user + system, from wait4) is shown beside it.

    benchmarks/startup.py [--build DIR] [--runs N] [--goal]

--build defaults to build/release (configure and build it first: cmake --workflow --preset release
or cmake --preset release && cmake --build --preset release). With --goal the exit status is 1 when
compiled/xxd exceeds 1.5 or any other velkor command / compiled exceeds 1.2.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def find_binary(build, name):
    for root, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if d != "CMakeFiles"]
        if name in files:
            path = os.path.join(root, name)
            if os.access(path, os.X_OK):
                return path
    sys.exit(f"startup: {name} not found under {build}")


def run_once(argv, devnull, expected_status=0):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1),
                                       (os.POSIX_SPAWN_DUP2, devnull, 2)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter_ns() - start
    if os.waitstatus_to_exitcode(status) != expected_status:
        sys.exit(f"startup: {' '.join(argv)} failed with status {status}")
    return wall / 1e6, (usage.ru_utime + usage.ru_stime) * 1e3


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "release"))
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--goal", action="store_true", help="fail when a goal is missed")
    args = parser.parse_args()

    xxd = shutil.which("xxd")
    if xxd is None:
        sys.exit("startup: xxd not found (Debian package xxd: apt-get install xxd)")
    velkor = find_binary(args.build, "velkor")
    sim = find_binary(args.build, "murelpage-sim")
    block = os.path.join(REPO, "examples", "adjust-block.bin")
    description = os.path.join(REPO, "examples", "adjust-block.txt")
    field = os.path.join(REPO, "examples", "adjust-block-field.bin")

    page = f"/velkor-bench-{os.getpid()}-page"
    lock = f"/velkor-bench-{os.getpid()}-lock"
    subprocess.run([sim, "write", f"--page={page}", f"--pagelock={lock}", f"--block={block}"],
                   check=True)
    try:
        paths = [f"--page={page}", f"--pagelock={lock}"]
        commands = {
            "xxd": [xxd, "-u", "-c", "32", block],
            "compiled": [velkor, *paths, "--dump"],
            "config": [velkor, *paths, f"--config={description}", "--dump"],
            "from": [velkor, f"--from={block}", "--dump"],
            "json": [velkor, *paths, "--json", "--dump"],
            "diff": [velkor, *paths, f"--diff={field}"],
        }
        expected_status = {"diff": 1}
        wall = {name: [] for name in commands}
        cpu = {name: [] for name in commands}
        devnull = os.open(os.devnull, os.O_WRONLY)
        for name, argv in commands.items():  # warm-up: page cache, dynamic loader caches
            run_once(argv, devnull, expected_status.get(name, 0))
        for _ in range(args.runs):
            for name, argv in commands.items():
                w, c = run_once(argv, devnull, expected_status.get(name, 0))
                wall[name].append(w)
                cpu[name].append(c)
        os.close(devnull)
    finally:
        subprocess.run([sim, "remove", f"--page={page}", f"--pagelock={lock}"], check=False)

    median = {name: statistics.median(values) for name, values in wall.items()}
    print(f"{'command':<10} {'median wall ms':>15} {'min wall ms':>12} {'median cpu ms':>14}")
    for name in commands:
        print(f"{name:<10} {median[name]:>15.3f} {min(wall[name]):>12.3f} "
              f"{statistics.median(cpu[name]):>14.3f}")
    dump_ratio = median["compiled"] / median["xxd"]
    print(f"velkor --dump / xxd             = {dump_ratio:.2f} (goal <= 1.5)")
    missed = dump_ratio > 1.5
    for name, label in (("config", "--config --dump"), ("from", "--from --dump"),
                        ("json", "--json --dump"), ("diff", "--diff")):
        ratio = median[name] / median["compiled"]
        print(f"velkor {label:<16} / --dump = {ratio:.2f} (goal <= 1.2)")
        missed = missed or ratio > 1.2
    if args.goal and missed:
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

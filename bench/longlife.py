#!/usr/bin/env python3
"""Free space after a long life: a tree of 50 files of 2 KB snapshotted 300 times by cn under
Wine, five files appended to (3 to 300 bytes each) before every snapshot after the first. Prints
the archive's size, free bytes, free blocks and live bytes (size - free), the free blocks by size,
and crninspect /check's verdict over every revision; writes bench/results/<date>-<host>-long-life.md.
Run through bench/run.sh --long-life, which sets up Wine."""
import argparse
import datetime
import os
import platform
import random
import re
import shutil
import subprocess

FILES = 50
SIZE = 2048
APPENDS = 5


class LongLife:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.root)
        self.work = os.path.abspath(args.work)
        build = os.path.abspath(args.build)
        self.wine_run = [os.path.join(self.root, "cmake", "wine", "wine-run"), os.path.abspath(args.state)]
        self.cn = os.path.join(build, "cli", "cn.exe")
        self.helper = os.path.join(build, "bench", "crnbench.exe")
        self.inspect = os.path.join(build, "engine", "tools", "crninspect.exe")

    def run(self, command, cwd, expected=0):
        done = subprocess.run(self.wine_run + command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, errors="replace")
        if done.returncode not in (expected if isinstance(expected, tuple) else (expected,)):
            raise SystemExit("longlife: `%s` exited with %d: %s" % (" ".join(command), done.returncode,
                                                                  done.stderr[-300:]))
        return done.stdout

    def live(self):
        shutil.rmtree(self.work, ignore_errors=True)
        tree = os.path.join(self.work, "tree")
        os.makedirs(tree)
        rng = random.Random(300)
        words = ["w%d" % i for i in range(500)]
        paths = []
        for i in range(FILES):
            paths.append(os.path.join(tree, "file%02d.txt" % i))
            with open(paths[-1], "w") as f:
                f.write(" ".join(rng.choice(words) for _ in range(600))[:SIZE])
        archive = os.path.join(self.work, "x.crn")
        windows = "Z:" + archive.replace("/", "\\")
        # Options 5 by default: zlib, without the progress window, as the benchmark's cn zlib.
        self.run([self.helper, "options", windows, str(self.args.options)], self.work)
        # cn's exit code is 1 when it took a snapshot.
        self.run([self.cn, "/a", "Z:" + tree.replace("/", "\\"), "x.crn"], self.work, expected=1)
        for _ in range(1, self.args.snapshots):
            for path in rng.sample(paths, APPENDS):
                with open(path, "a") as f:
                    f.write(" ".join(rng.choice(words) for _ in range(100))[:rng.randint(3, 300)])
            self.run([self.cn, "x.crn"], self.work, expected=1)
        return archive, windows

    def report(self, archive, windows):
        size = os.path.getsize(archive)
        free, blocks = (int(n) for n in self.run([self.helper, "free", windows], self.work).split())
        listing = self.run([self.inspect, windows], self.work, expected=(0, 1))
        lengths = [int(n) for n in re.findall(r"^  @\d+: (\d+) bytes at \d+$", listing, re.M)]
        check = self.run([self.inspect, "/check", windows], self.work, expected=(0, 1, 2))
        bounds = [0, 1, 64, 256, 1024, 4096, 8192, 1 << 32]
        histogram = []
        for low, high in zip(bounds, bounds[1:]):
            inside = [n for n in lengths if low <= n < high]
            label = "%d" % low if high == low + 1 else "%d to %s" % (low, "%d" % (high - 1) if high < 1 << 32 else "more")
            histogram.append("| %s | %d | %d |" % (label, len(inside), sum(inside)))
        lines = ["# Free space after a long life", "",
                 "%s, %s. %d files of %d bytes, %d snapshots by cn (archive options %d) under Wine, %d files "
                 "appended to (3 to 300 bytes each) before each snapshot after the first. %s"
                 % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), platform.node(), FILES, SIZE,
                    self.args.snapshots, self.args.options, APPENDS, self.args.comment), "",
                 "| figure | value |", "|---|---:|",
                 "| archive size | %d bytes |" % size,
                 "| free bytes | %d (%.1f%% of the archive; target ≤ 10%%) |" % (free, 100.0 * free / size),
                 "| free blocks | %d |" % blocks,
                 "| live bytes (size - free) | %d |" % (size - free), "",
                 "Free blocks by length:", "", "| length | blocks | bytes |", "|---|---:|---:|"] + histogram + [
                 "", "crninspect /check: " + (check.strip().splitlines() or ["(no output)"])[-1]]
        return "\n".join(lines) + "\n"

    def main(self):
        table = self.report(*self.live())
        out = os.path.join(self.root, "bench", "results")
        name = "%s-%s-long-life.md" % (datetime.datetime.now().strftime("%Y-%m-%d-%H%M"), platform.node())
        if not self.args.no_save:
            with open(os.path.join(out, name), "w") as f:
                f.write(table)
        print(table)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True, help="the win64 build tree")
    parser.add_argument("--state", required=True, help="the Wine state folder (prefix, display)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--snapshots", type=int, default=300)
    parser.add_argument("--options", type=int, default=5, help="archive options (4: stored uncompressed)")
    parser.add_argument("--comment", default="")
    parser.add_argument("--no-save", action="store_true", help="print only, write no results file")
    LongLife(parser.parse_args()).main()


if __name__ == "__main__":
    main()

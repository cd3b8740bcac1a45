#!/usr/bin/env python3
"""How snapshot time grows with the number of files: trees of 1 KB files in folders of 200, a
first snapshot and one with nothing changed, cn under Wine beside rdiff-backup in the same run.
Writes bench/results/<date>-<host>-scaling.md with the table and -scaling.svg with the time per
file against the file count. Run through bench/run.sh --scaling, which sets up Wine."""
import argparse
import datetime
import os
import platform
import random
import shutil
import subprocess
import time

PROGRAMS = ["cn zlib", "rdiff-backup"]
OPERATIONS = ["first snapshot", "snapshot, nothing changed"]


def make_tree(path, count):
    """count files of 1,024 bytes of word-like text, 200 to a folder; the same for every run."""
    stamp = os.path.join(path, ".complete")
    if os.path.exists(stamp):
        return
    shutil.rmtree(path, ignore_errors=True)
    rng = random.Random(count)
    words = ["w%d" % i for i in range(500)]
    for i in range(count):
        folder = os.path.join(path, "d%03d" % (i // 200))
        os.makedirs(folder, exist_ok=True)
        text = " ".join(rng.choice(words) for _ in range(300))[:1024]
        with open(os.path.join(folder, "file%05d.txt" % i), "w") as f:
            f.write(text)
    open(stamp, "w").close()


class Scaling:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.root)
        self.work = os.path.abspath(args.work)
        build = os.path.abspath(args.build)
        self.wine_run = [os.path.join(self.root, "cmake", "wine", "wine-run"), os.path.abspath(args.state)]
        self.cn = os.path.join(build, "cli", "cn.exe")
        self.helper = os.path.join(build, "bench", "crnbench.exe")
        self.times = {}  # (count, operation, program) -> seconds, None when it failed
        self.notes = []

    def timed(self, command, cwd=None, expected=0):
        started = time.perf_counter()
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                              errors="replace")
        seconds = time.perf_counter() - started
        if done.returncode != expected:
            self.notes.append("`%s` exited with %d: %s" % (" ".join(command), done.returncode, done.stderr[-300:]))
            return None
        return seconds

    def measure(self, count):
        tree = os.path.join(self.work, "trees", str(count))
        make_tree(tree, count)
        repo = os.path.join(self.work, "repos")
        shutil.rmtree(repo, ignore_errors=True)
        os.makedirs(repo)
        archive = "Z:" + os.path.join(repo, "x.crn").replace("/", "\\")
        # Options 5: zlib, without the progress window, as the main benchmark's cn zlib.
        subprocess.run(self.wine_run + [self.helper, "options", archive, "5"], cwd=repo, check=True,
                       stdout=subprocess.DEVNULL)
        windows_tree = "Z:" + tree.replace("/", "\\")
        # cn's exit code is 1 when it took a snapshot, 0 when none was needed.
        self.times[(count, OPERATIONS[0], "cn zlib")] = self.timed(self.wine_run + [self.cn, "/a", windows_tree, "x.crn"],
                                                                   cwd=repo, expected=1)
        self.times[(count, OPERATIONS[1], "cn zlib")] = self.timed(self.wine_run + [self.cn, "x.crn"], cwd=repo)
        rdiff = os.path.join(repo, "rdiff")
        self.times[(count, OPERATIONS[0], "rdiff-backup")] = self.timed(["rdiff-backup", "backup", tree, rdiff])
        time.sleep(1.05 - time.time() % 1)  # it refuses two backups within one second
        self.times[(count, OPERATIONS[1], "rdiff-backup")] = self.timed(["rdiff-backup", "backup", tree, rdiff])
        shutil.rmtree(repo, ignore_errors=True)

    def per_file_ms(self, count, operation, program):
        seconds = self.times.get((count, operation, program))
        return None if seconds is None else seconds / count * 1000

    def table(self):
        counts = self.args.counts
        lines = ["# Snapshot time against the number of files", "",
                 "%s, %s, %d cores, load average %.1f at the end. Trees of 1 KB files in folders of 200; cn zlib "
                 "(archive options 5, no progress window) under Wine, rdiff-backup native, one after the other in "
                 "this run. cn's times include starting a Wine process. %s"
                 % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), platform.node(), os.cpu_count(),
                    os.getloadavg()[0], self.args.comment), "",
                 "| Files | Operation | Program | Time | ms a file | × rdiff-backup |", "|---:|---|---|---:|---:|---:|"]
        for count in counts:
            for operation in OPERATIONS:
                for program in PROGRAMS:
                    seconds = self.times.get((count, operation, program))
                    theirs = self.times.get((count, operation, "rdiff-backup"))
                    ratio = "" if program == "rdiff-backup" or not seconds or not theirs else "%.2f" % (seconds / theirs)
                    lines.append("| %d | %s | %s | %s | %s | %s |" % (
                        count, operation, program, "failed" if seconds is None else "%.2f s" % seconds,
                        "" if seconds is None else "%.3f" % (seconds / count * 1000), ratio))
        lines += ["", "Targets (cost a file at the largest tree against the smallest, cn zlib):", ""]
        for operation in OPERATIONS:
            small, large = (self.per_file_ms(counts[0], operation, "cn zlib"),
                            self.per_file_ms(counts[-1], operation, "cn zlib"))
            ratio = None if small is None or large is None else large / small
            lines.append("- %s, %d files against %d: %s× (target ≤ 1.2×): %s" % (
                operation, counts[-1], counts[0], "n/a" if ratio is None else "%.2f" % ratio,
                "n/a" if ratio is None else "met" if ratio <= 1.2 else "missed"))
        if self.notes:
            lines += ["", "Notes:", ""] + ["- " + note for note in self.notes]
        return "\n".join(lines) + "\n"

    def plot(self):
        """An SVG line chart of ms a file against the file count (a logarithmic axis)."""
        import math
        width, height, left, bottom, top, right = 640, 360, 60, 40, 20, 180
        counts = self.args.counts
        values = [v for c in counts for o in OPERATIONS for p in PROGRAMS
                  for v in [self.per_file_ms(c, o, p)] if v is not None]
        most = max(values) * 1.1 if values else 1.0
        low, high = math.log10(counts[0]), math.log10(counts[-1])

        def x(count):
            return left + (math.log10(count) - low) / ((high - low) or 1) * (width - left - right)

        def y(ms):
            return height - bottom - ms / most * (height - bottom - top)

        parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" '
                 'font-size="11">' % (width, height),
                 '<rect width="100%" height="100%" fill="white"/>',
                 '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>' % (left, height - bottom, width - right,
                                                                            height - bottom),
                 '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>' % (left, top, left, height - bottom),
                 '<text x="%d" y="%d" text-anchor="middle">files (log scale)</text>' % ((width - right + left) / 2,
                                                                                       height - 5),
                 '<text x="12" y="%d" transform="rotate(-90 12 %d)" text-anchor="middle">ms a file</text>'
                 % ((height - bottom + top) / 2, (height - bottom + top) / 2)]
        for count in counts:
            parts.append('<text x="%.0f" y="%d" text-anchor="middle">%d</text>' % (x(count), height - bottom + 15,
                                                                                   count))
        for k in range(5):
            ms = most * k / 4
            parts.append('<text x="%d" y="%.0f" text-anchor="end">%.2f</text>' % (left - 5, y(ms) + 4, ms))
        colours = {"cn zlib": "#1f5fa8", "rdiff-backup": "#b5452a"}
        line = 0
        for program in PROGRAMS:
            for operation in OPERATIONS:
                points = [(x(c), y(v)) for c in counts for v in [self.per_file_ms(c, operation, program)]
                          if v is not None]
                dash = "" if operation == OPERATIONS[0] else ' stroke-dasharray="5,3"'
                parts.append('<polyline fill="none" stroke="%s" stroke-width="2"%s points="%s"/>'
                             % (colours[program], dash, " ".join("%.1f,%.1f" % p for p in points)))
                legend_y = top + 15 + 18 * line
                parts.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="2"%s/>'
                             % (width - right + 10, legend_y, width - right + 35, legend_y, colours[program], dash))
                parts.append('<text x="%d" y="%d">%s, %s</text>' % (width - right + 40, legend_y + 4, program,
                                                                   "first" if operation == OPERATIONS[0] else
                                                                   "unchanged"))
                line += 1
        parts.append("</svg>")
        return "\n".join(parts) + "\n"

    def main(self):
        os.makedirs(self.work, exist_ok=True)
        for count in self.args.counts:
            self.measure(count)
        out = os.path.join(self.root, "bench", "results")
        name = "%s-%s-scaling" % (datetime.datetime.now().strftime("%Y-%m-%d-%H%M"), platform.node())
        with open(os.path.join(out, name + ".md"), "w") as f:
            f.write(self.table())
            f.write("\n![ms a file against the file count](%s.svg)\n" % name)
        with open(os.path.join(out, name + ".svg"), "w") as f:
            f.write(self.plot())
        print(self.table())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True, help="the win64 build tree")
    parser.add_argument("--state", required=True, help="the Wine state folder (prefix, display)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--counts", type=lambda text: sorted(int(n) for n in text.split(",")),
                        default=[2000, 10000, 50000])
    parser.add_argument("--comment", default="")
    Scaling(parser.parse_args()).main()


if __name__ == "__main__":
    main()

"""Runs the benchmark and writes its Markdown table (bench/run.sh prepares everything first).

For every data set, program and setting it repeats the same sequence (create, first snapshot,
snapshot with nothing changed, the rounds of changes each followed by a snapshot, the archive's
size, restore of the oldest snapshot into an emptied place) and reports medians over the runs.
cn runs under Wine with the engine's time breakdown (CAIRN_PROFILE) collected on the side.
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import datagen  # noqa: E402

MB = 1024 * 1024
START_FLOOR = "floor under Wine: a program that only starts (benchstart)"
READ_FLOOR = "floor under Wine: open, read and close every file (benchread)"
CHECK = "check of the archive (crninspect /check)"
RESTORE = "restore of the oldest snapshot"
GROWTH = "archive growth"


class Bench:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.root)
        self.work = os.path.abspath(args.work)
        self.wine_run = os.path.join(self.root, "cmake", "wine", "wine-run")
        self.state = os.path.abspath(args.state)
        self.cn = os.path.join(os.path.abspath(args.build), "cli", "cn.exe")
        self.helper = os.path.join(os.path.abspath(args.build), "bench", "crnbench.exe")
        self.inspect = os.path.join(os.path.abspath(args.build), "engine", "tools", "crninspect.exe")
        # The native crn of an optimised host build (run.sh builds it), without Wine.
        self.crn = args.crn
        self.start_only = os.path.join(os.path.abspath(args.build), "bench", "benchstart.exe")
        self.read_all = os.path.join(os.path.abspath(args.build), "bench", "benchread.exe")
        self.results = {}   # (data, operation, program) -> list of per-run values
        self.profiles = {}  # (data, operation, program) -> {phase: [seconds, count]}, summed over runs
        self.profiled = {}  # (data, operation, program) -> seconds of the profiled commands, summed
        self.peaks = {}     # (data, operation, program) -> peak working sets of its commands, bytes
        self.private_peaks = {}  # the same, their largest private part sampled, bytes
        self.last_peak = None
        self.last_private = None
        self.load_at_start = os.getloadavg()
        self.earlier = []   # (file, data sets) of earlier runs whose results complete the table
        self.notes = []
        self.log = open(os.path.join(self.work, "bench.log"), "a")

    # ---- running things

    def run(self, command, cwd=None, env=None, shell=False, check=True):
        """Runs a command, returns (seconds, stdout, stderr). A failure or a timeout is noted. The
        peak working set of the command's process (its largest resident size, which under Wine is
        what Windows reports as the peak working set) is left in self.last_peak, in bytes, and the
        largest private part of it seen (memory of its own, not pages of mapped files) in
        self.last_private."""
        self.last_peak = None
        self.last_private = None
        # Output goes to files, not pipes: cn under Wine, writing its profile to one pipe while its
        # output goes to another, was measured to take a second longer than with files.
        with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
            started = time.perf_counter()
            process = subprocess.Popen(command, cwd=cwd, env=env, shell=shell, stdout=out_file, stderr=err_file)
            # wine-run execs the program in the process it was started as: its largest resident
            # size comes with its exit, and its private part is sampled while it runs.
            private = 0
            while True:
                pid, status, usage = os.wait4(process.pid, os.WNOHANG)
                if pid != 0:
                    break
                if not shell:
                    private = max(private, self.private_bytes(process.pid))
                if time.perf_counter() - started > self.args.timeout:
                    process.kill()
                    os.wait4(process.pid, 0)
                    process.returncode = -9
                    self.log.write("TIMEOUT %s\n" % (command,))
                    return None, "", ""
                time.sleep(0.01)
            seconds = time.perf_counter() - started
            process.returncode = os.waitstatus_to_exitcode(status)
            if not shell:
                self.last_peak = usage.ru_maxrss * 1024
                self.last_private = private
            out_file.seek(0)
            err_file.seek(0)
            out, err = out_file.read().decode(errors="replace"), err_file.read().decode(errors="replace")
        self.log.write("%.3f s rc=%d %s\n%s%s" % (seconds, process.returncode, command, out[-2000:], err[-2000:]))
        if check and process.returncode != 0:
            self.notes.append("`%s` exited with %d" % (" ".join(map(str, command)) if not shell else command,
                                                        process.returncode))
        return seconds, out, err

    @staticmethod
    def private_bytes(pid):
        """The resident memory of a process that is its own (anonymous pages), 0 once it is gone."""
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        return int(line.split()[1]) * 1024
        except OSError:
            pass
        return 0

    def wine(self, *arguments, cwd=None, profile=False):
        env = dict(os.environ)
        if profile:
            env["CAIRN_PROFILE"] = "1"
        return self.run([self.wine_run, self.state] + list(arguments), cwd=cwd, env=env, check=False)

    @staticmethod
    def windows_path(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def record(self, data, operation, program, value, profile_text=None):
        self.results.setdefault((data, operation, program), []).append(value)
        if profile_text:
            self.add_profile(data, operation, program, profile_text, value)

    def add_profile(self, data, operation, program, profile_text, seconds_taken):
        if profile_text and seconds_taken is not None:
            key = (data, operation, program)
            phases = self.profiles.setdefault(key, {})
            for line in profile_text.splitlines():
                if line.startswith("cairn profile: "):
                    fields = line[len("cairn profile: "):].rsplit(None, 3)
                    name, count, seconds = fields[0].strip(), int(fields[1]), float(fields[2])
                    phase = phases.setdefault(name, [0.0, 0])
                    phase[0] += seconds
                    phase[1] += count
            self.profiled[key] = self.profiled.get(key, 0.0) + seconds_taken

    # ---- data

    def prepare_data(self):
        pristine = os.path.join(self.work, "pristine")
        stamp = os.path.join(pristine, ".complete-%d" % self.args.scale)
        # Each data set is a folder: every program archives and restores that folder.
        self.sets = {name: os.path.join(pristine, name) for name in "abc"}
        if os.path.exists(stamp):
            return
        shutil.rmtree(pristine, ignore_errors=True)
        for folder in self.sets.values():
            os.makedirs(folder)
        datagen.make_tree(os.path.join(self.sets["a"], "tree"))
        datagen.make_big(os.path.join(self.sets["b"], "big.bin"))
        document = os.path.join(self.sets["c"], "document.doc")
        self.wine(self.helper, "docfile", self.windows_path(document), str(20 * MB))
        datagen.set_time(document, datagen.BASE_TIME)
        open(stamp, "w").close()

    def data_size(self, data):
        return tree_bytes(self.sets[data])

    def fresh_copy(self, data):
        """The working copy of a data set, as generated."""
        source = self.sets[data]
        target = os.path.join(self.work, "data", data)
        self.remove(target)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copytree(source, target, copy_function=shutil.copy2)
        return target

    @staticmethod
    def remove(path):
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)

    def change(self, data, target, round_number):
        if data == "a":
            datagen.tree_round(os.path.join(target, "tree"), round_number)
        elif data == "b":
            datagen.big_round(os.path.join(target, "big.bin"), round_number)
        else:
            document = os.path.join(target, "document.doc")
            self.wine(self.helper, "docedit", self.windows_path(document), str(round_number))
            datagen.set_time(document, datagen.BASE_TIME + round_number * 3600)

    def same_as_pristine(self, data, target):
        return subprocess.run(["diff", "-rq", self.sets[data], target], capture_output=True).returncode == 0

    # ---- programs

    def record_peak(self, data, operation, program):
        """Keeps the peak working set of cn's command just run (for the rounds, their largest)."""
        if self.last_peak is not None and program.startswith("cn"):
            self.peaks.setdefault((data, operation, program), []).append(self.last_peak)
            self.private_peaks.setdefault((data, operation, program), []).append(self.last_private)

    def sequence(self, data, program, setting, snapshot, restore_oldest, size, init=None, check=None):
        """The common sequence; snapshot(target) and restore_oldest(target) return (seconds, profile);
        check(), where the program has one, reads back every stored byte and returns seconds."""
        label = program if setting is None else "%s %s" % (program, setting)
        target = self.fresh_copy(data)
        if init:
            init(target)
        seconds, text = snapshot(target)
        self.record_peak(data, "first snapshot", label)
        self.record(data, "first snapshot", label, seconds, text)
        if seconds is None:
            self.notes.append("%s on (%s): the first snapshot took longer than %d s; the sequence was stopped"
                              % (label, data, self.args.timeout))
            return
        seconds, text = snapshot(target)
        self.record_peak(data, "snapshot, nothing changed", label)
        self.record(data, "snapshot, nothing changed", label, seconds, text)
        rounds = []
        for r in range(1, self.args.rounds + 1):
            self.change(data, target, r)
            seconds, text = snapshot(target)
            self.record_peak(data, "snapshot after a round's changes", label)
            rounds.append(seconds)
            self.add_profile(data, "snapshot after a round's changes", label, text, seconds)
        if all(s is not None for s in rounds):
            self.record(data, "snapshot after a round's changes", label, statistics.median(rounds))
            self.record(data, "%d rounds" % self.args.rounds, label, sum(rounds))
        else:
            self.record(data, "snapshot after a round's changes", label, None)
        total, free = size()
        self.record(data, "archive size", label, total)
        if free is not None:
            self.record(data, "free space in it", label, free)
            self.record(data, "live bytes (size - free)", label, total - free)
        if check:
            self.record(data, CHECK, label, check())
        self.remove(target)
        seconds, text = restore_oldest(target)
        self.record_peak(data, "restore of the oldest snapshot", label)
        # cn rebuilds a compound document element by element: its bytes differ from the original.
        if seconds is not None and not (data == "c" and program == "cn") and not self.same_as_pristine(data, target):
            self.notes.append("%s on (%s): the restored oldest snapshot differs from the data" % (label, data))
        self.record(data, "restore of the oldest snapshot", label, seconds, text)

    def cn_sequence(self, data, setting, options):
        archive = os.path.join(self.work, "repo", "x.crn")
        self.remove(os.path.dirname(archive))
        os.makedirs(os.path.dirname(archive))
        where = os.path.dirname(archive)
        first = [True]

        def init(target):
            self.wine(self.helper, "options", self.windows_path(archive), str(options))

        def snapshot(target):
            if first[0]:
                first[0] = False
                seconds, _, err = self.wine(self.cn, "/a", self.windows_path(target), "x.crn", cwd=where, profile=True)
            else:
                seconds, _, err = self.wine(self.cn, "x.crn", cwd=where, profile=True)
            return seconds, err

        def restore(target):
            seconds, _, err = self.wine(self.cn, "/r", "Snapshot;1", "x.crn", cwd=where, profile=True)
            return seconds, err

        def size():
            _, out, _ = self.wine(self.helper, "free", "x.crn", cwd=where)
            free = int(out.split()[0]) if out.strip() else None
            return os.path.getsize(archive), free

        def check():
            seconds, out, _ = self.wine(self.inspect, "/check", "x.crn", cwd=where)
            if "no damage found" not in out:
                self.notes.append("cn %s on (%s): crninspect /check did not find the archive sound" % (setting, data))
            return seconds

        self.sequence(data, "cn", setting, snapshot, restore, size, init, check)
        if setting == "zlib" and self.crn and os.path.exists(archive):
            self.crn_restore(data, archive)

    def crn_restore(self, data, archive):
        """The native crn restores the oldest snapshot of the archive cn has just taken."""
        out = os.path.join(self.work, "crn-out")
        self.remove(out)
        seconds, _, _ = self.run([self.crn, "restore", archive, "Snapshot;1", "--to", out])
        # cn took the working copy (fresh_copy) as Z:\...; crn puts it below out/Z.
        restored = os.path.join(out, "Z" + os.path.abspath(os.path.join(self.work, "data", data)))
        if seconds is not None and data != "c" and not self.same_as_pristine(data, restored):
            self.notes.append("crn on (%s): the restored oldest snapshot differs from the data" % data)
        self.record(data, RESTORE, "crn (native)", seconds)
        self.remove(out)

    def rdiff_sequence(self, data):
        repo = os.path.join(self.work, "repo", "rdiff")
        self.remove(os.path.dirname(repo))
        os.makedirs(os.path.dirname(repo))
        count = [0]

        def snapshot(target):
            count[0] += 1
            # It refuses two backups within one second (their increments are named by time).
            time.sleep(1.05 - time.time() % 1)
            seconds, _, _ = self.run(["rdiff-backup", "backup", target, repo])
            return seconds, None

        def restore(target):
            seconds, _, _ = self.run(["rdiff-backup", "restore", "--at", "%dB" % (count[0] - 1), repo, target])
            return seconds, None

        self.sequence(data, "rdiff-backup", None, snapshot, restore, lambda: (tree_bytes(repo), None))

    def git_sequence(self, data):
        repo = os.path.join(self.work, "repo", "git")
        self.remove(os.path.dirname(repo))
        os.makedirs(repo)
        commits = []

        def git(target, *arguments, check=True):
            return self.run(["git", "--git-dir", repo, "--work-tree", target] + list(arguments), check=check)

        def init(target):
            self.run(["git", "init", "-q", "--bare", repo])
            self.run(["git", "--git-dir", repo, "config", "user.email", "bench@localhost"])
            self.run(["git", "--git-dir", repo, "config", "user.name", "bench"])

        def snapshot(target):
            started = time.perf_counter()
            git(target, "add", "-A")
            git(target, "commit", "-q", "-m", "snapshot", check=False)  # nothing to commit: exit 1
            seconds = time.perf_counter() - started
            _, out, _ = self.run(["git", "--git-dir", repo, "rev-parse", "HEAD"])
            commits.append(out.strip())
            return seconds, None

        def restore(target):
            os.makedirs(target)
            seconds, _, _ = self.run("git --git-dir '%s' archive %s | tar -x -C '%s'" % (repo, commits[0], target),
                                     shell=True)
            return seconds, None

        self.sequence(data, "git", None, snapshot, restore, lambda: (tree_bytes(repo), None), init)

    def restic_sequence(self, data):
        repo = os.path.join(self.work, "repo", "restic")
        self.remove(os.path.dirname(repo))
        os.makedirs(os.path.dirname(repo))
        env = dict(os.environ, RESTIC_PASSWORD="bench", RESTIC_REPOSITORY=repo,
                   RESTIC_CACHE_DIR=os.path.join(self.work, "restic-cache"))
        ids = []

        def init(target):
            self.run(["restic", "init", "-q"], env=env)

        def snapshot(target):
            seconds, _, _ = self.run(["restic", "backup", "-q", target], env=env)
            _, out, _ = self.run(["restic", "snapshots", "-q", "--latest", "1", "--json"], env=env)
            ids.append(out)
            return seconds, None

        def restore(target):
            _, out, _ = self.run(["restic", "snapshots", "--json"], env=env)
            import json
            oldest = json.loads(out)[0]["id"]
            seconds, _, _ = self.run(["restic", "restore", "-q", oldest, "--target", "/"], env=env)
            return seconds, None

        self.sequence(data, "restic", None, snapshot, restore, lambda: (tree_bytes(repo), None), init)

    # ---- floors

    def floors(self, data):
        source = self.sets[data]
        copy = self.fresh_copy(data)
        seconds, _, _ = self.run("tar -C '%s' -cf - . | cat > /dev/null" % source, shell=True)
        self.record(data, "floor: reading it (tar | cat)", "native", seconds)
        if data == "a":
            command = ["diff", "-rq", source, copy]
        else:
            name = os.listdir(source)[0]
            command = ["cmp", os.path.join(source, name), os.path.join(copy, name)]
        seconds, _, _ = self.run(command)
        self.record(data, "floor: comparing it with a copy (%s)" % command[0], "native", seconds)
        self.remove(copy)
        paths = [os.path.join(d, f) for d, _, fs in os.walk(source) for f in sorted(fs)]
        started = time.perf_counter()
        for path in paths:
            with open(path, "rb") as f:
                while True:
                    piece = f.read(8192)
                    if not piece:
                        break
                    zlib.compress(piece, 1)
        self.record(data, "floor: zlib level 1 in 8 KB pieces", "native", time.perf_counter() - started)
        # What any program under Wine pays to read the data: open, read and close every file.
        seconds, out, _ = self.wine(self.read_all, self.windows_path(source))
        if seconds is not None and not out.strip():
            seconds = None
        self.record(data, READ_FLOOR, "Wine", seconds)

    # ---- results of earlier runs

    def load_earlier(self, path):
        """Takes the data sets this run does not measure from an earlier run's raw results."""
        with open(path) as f:
            earlier = json.load(f)
        taken = sorted({entry[0][0] for entry in earlier["results"] if entry[0][0] not in self.args.sets + "-"})
        for entry in earlier["results"]:
            key = tuple(entry[0])
            if key[0] in taken:
                self.results[key] = entry[1]
        for entry in earlier["profiles"]:
            key = tuple(entry[0])
            if key[0] in taken:
                self.profiles[key] = entry[1]
                self.profiled[key] = entry[2]
        for entry in earlier.get("peaks", []):
            key = tuple(entry[0])
            if key[0] in taken:
                self.peaks[key] = entry[1]
        for entry in earlier.get("private_peaks", []):
            key = tuple(entry[0])
            if key[0] in taken:
                self.private_peaks[key] = entry[1]
        if taken:
            self.earlier.append((os.path.basename(path), "%s, %s runs of %s rounds" % (
                earlier.get("when", "?"), earlier.get("runs", "?"), earlier.get("rounds", "?")), taken))

    def raw(self):
        return {"when": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), "machine": self.machine(),
                "runs": self.args.runs, "rounds": self.args.rounds,
                "results": [[list(k), v] for k, v in sorted(self.results.items())],
                "profiles": [[list(k), v, self.profiled.get(k, 0.0)] for k, v in sorted(self.profiles.items())],
                "peaks": [[list(k), v] for k, v in sorted(self.peaks.items())],
                "private_peaks": [[list(k), v] for k, v in sorted(self.private_peaks.items())]}

    # ---- the whole run

    def main(self):
        os.makedirs(self.work, exist_ok=True)
        # Wine's desktop process is kept through the run (crnbench desktop), as a Windows session
        # keeps its desktop: without it, every cn, whose apartment makes a window, would pay for
        # starting Wine's desktop process anew.
        desktop = subprocess.Popen([self.wine_run, self.state, self.helper, "desktop"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.measure()
        finally:
            desktop.terminate()
            desktop.wait()

    def measure(self):
        self.prepare_data()
        for path in self.args.earlier:
            self.load_earlier(path)
        for _ in range(self.args.runs):
            seconds, _, _ = self.wine(self.cn, "/zz")
            self.record("-", "Wine process start (cn with a bad command line)", "cn", seconds)
            seconds, _, _ = self.wine(self.start_only)
            self.record("-", START_FLOOR, "Wine", seconds)
        # The default options (7) also show the progress window; the other settings leave it out,
        # so that they time the engine, and "zlib window" shows what the window adds.
        # "mtime": archive option 0x10 (a file's time, size and attributes decide that it is
        # unchanged); "moved": option 0x20 (the difference pass finds moved data anywhere ahead).
        plan = [("a", ["zlib", "zlib window", "none", "zlib mtime", "zlib moved"]),
                ("b", ["zlib", "none", "bzip2", "zlib mtime", "zlib moved"]), ("c", ["zlib", "none", "zlib moved"])]
        options = {"zlib": 5, "zlib window": 7, "none": 4, "bzip2": 13, "zlib mtime": 5 | 0x10, "zlib moved": 5 | 0x20}
        for data, settings in plan:
            if data not in self.args.sets:
                continue
            for run in range(self.args.runs):
                self.floors(data)
                for setting in settings:
                    if setting == "bzip2" and run >= self.args.bzip2_runs:
                        continue
                    if self.args.settings and setting not in self.args.settings.split(","):
                        continue
                    self.cn_sequence(data, setting, options[setting])
                if not self.args.cn_only:
                    peers = self.args.peers.split(",")
                    if "rdiff-backup" in peers:
                        self.rdiff_sequence(data)
                    if "git" in peers:
                        self.git_sequence(data)
                    if "restic" in peers:
                        self.restic_sequence(data)
                self.write(final=False)  # what is known so far, should the run be stopped
        self.write()

    # ---- the report

    def machine(self):
        cores = os.cpu_count()
        memory = 0
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemTotal:"):
                    memory = int(line.split()[1]) * 1024
        model = ""
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
        wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True).stdout.strip()
        load, start = os.getloadavg(), self.load_at_start
        return ("%d cores (%s), %.1f GB memory, %s, %s; load average at the start %.1f %.1f %.1f, at the end "
                "%.1f %.1f %.1f" % (cores, model, memory / 1e9, wine, platform.platform(), start[0], start[1], start[2],
                                    load[0], load[1], load[2]))

    def write(self, final=True):
        lines = []
        lines.append("# Benchmark: cn under Wine beside native peers")
        lines.append("")
        lines.append("%s, %s. Machine: %s." % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), platform.node(),
                                                self.machine()))
        lines.append("")
        lines.append("Medians of %d runs (bzip2: %d), %d rounds per run. Sizes: (a) %.0f MB, (b) %.0f MB, (c) %.0f MB. "
                     "MB/s is the data set's size over the time (restore: what was restored). "
                     "The ratio is to rdiff-backup in the same row (below 1 is faster or smaller). "
                     "cn times include starting a Wine process (first row), with Wine's desktop process kept "
                     "running, as a Windows session keeps its desktop. cn zlib and cn none run without the progress "
                     "window; cn zlib window has the default options, with it (under Xvfb). The Wine rows are "
                     "small Windows programs run the same way: their times are the floor under cn's. %s"
                     % (self.args.runs, min(self.args.runs, self.args.bzip2_runs), self.args.rounds,
                        self.data_size("a") / MB, self.data_size("b") / MB, self.data_size("c") / MB,
                        self.args.comment))
        for name, when, taken in self.earlier:
            lines.append("Data set%s %s: from an earlier run (`%s`, %s), on the same machine."
                         % ("s" if len(taken) > 1 else "", ", ".join("(%s)" % d for d in taken), name, when))
            lines.append("")
        lines.append("")
        lines.append("| Data | Operation | Program | Median | MB/s | × rdiff-backup |")
        lines.append("|---|---|---|---:|---:|---:|")
        names = {"a": "(a) tree", "b": "(b) 256 MB file", "c": "(c) compound document", "-": "-"}
        order = ["Wine process start (cn with a bad command line)", START_FLOOR, "first snapshot", "snapshot, nothing changed",
                 "snapshot after a round's changes", "%d rounds" % self.args.rounds, "restore of the oldest snapshot",
                 CHECK, "archive size", "free space in it", "live bytes (size - free)", "floor: reading it (tar | cat)",
                 "floor: comparing it with a copy (diff)", "floor: comparing it with a copy (cmp)",
                 "floor: zlib level 1 in 8 KB pieces", READ_FLOOR]
        programs = ["cn zlib", "cn zlib window", "cn none", "cn bzip2", "cn zlib mtime", "cn zlib moved", "cn",
                    "crn (native)", "rdiff-backup", "git", "restic", "native", "Wine"]
        for data in ["-", "a", "b", "c"]:
            for operation in order:
                for program in programs:
                    values = self.results.get((data, operation, program))
                    if values is None:
                        continue
                    lines.append(self.row(names[data], data, operation, program, values))
        lines.append("")
        lines.append("Targets (cn zlib against rdiff-backup in the same run):")
        lines.append("")
        for text, data, operation, program, limit in [
                ("snapshot of (a) with nothing changed", "a", "snapshot, nothing changed", "cn zlib", 1.0),
                ("snapshot of (b) after a round's changes", "b", "snapshot after a round's changes", "cn zlib", 1.0),
                ("restore of (b)'s oldest snapshot", "b", "restore of the oldest snapshot", "cn zlib", 2.0),
                ("live bytes of (a) after the rounds", "a", "live bytes (size - free)", "cn zlib", 1.3),
                ("live bytes of (b) after the rounds", "b", "live bytes (size - free)", "cn zlib", 1.3),
                ("live bytes of (c) after the rounds", "c", "live bytes (size - free)", "cn zlib", 1.3)]:
            ratio = self.ratio(data, operation, program)
            if operation.startswith("live bytes"):  # the peer's repository holds no free space
                mine, theirs = self.median(data, operation, program), self.median(data, "archive size", "rdiff-backup")
                ratio = None if mine is None or not theirs else mine / theirs
            verdict = "n/a" if ratio is None else ("met" if ratio <= limit else "missed")
            lines.append("- %s: %s× (target ≤ %.1f×): %s" % (text, "n/a" if ratio is None else "%.2f" % ratio,
                                                           limit, verdict))
        for text, data, operation, program, against, limit in [
                ("first snapshot of (a)", "a", "first snapshot", "cn zlib", None, 2.0),
                ("first snapshot of (b), no compression", "b", "first snapshot", "cn none", None, 3.0),
                ("snapshot of (a) with nothing changed, against the Wine floor of reading the tree", "a",
                 "snapshot, nothing changed", "cn zlib", READ_FLOOR, 1.2)]:
            mine = self.median(data, operation, program)
            theirs = self.median(data, operation, "rdiff-backup") if against is None else self.median(data, against,
                                                                                                       "Wine")
            ratio = None if mine is None or not theirs else mine / theirs
            verdict = "n/a" if ratio is None else ("met" if ratio <= limit else "missed")
            lines.append("- %s (%s): %s× (target ≤ %.1f×): %s" % (text, program, "n/a" if ratio is None else
                                                                  "%.2f" % ratio, limit, verdict))
        lines.append("")
        lines.append("Targets of the large-file work (ratios in the same run):")
        lines.append("")
        for text, data, operation, program, against, limit in [
                ("(b) round, cn zlib against rdiff-backup", "b", "snapshot after a round's changes", "cn zlib",
                 "rdiff-backup", 4.0),
                ("(b) round, cn none against rdiff-backup", "b", "snapshot after a round's changes", "cn none",
                 "rdiff-backup", 2.5),
                ("(b) first snapshot, cn zlib against restic", "b", "first snapshot", "cn zlib", "restic", 1.0),
                ("(b) restore of the oldest snapshot, cn zlib against rdiff-backup", "b",
                 "restore of the oldest snapshot", "cn zlib", "rdiff-backup", 2.5),
                ("(a) first snapshot, cn zlib against rdiff-backup", "a", "first snapshot", "cn zlib", "rdiff-backup",
                 3.0)]:
            mine, theirs = self.median(data, operation, program), self.median(data, operation, against)
            ratio = None if mine is None or not theirs else mine / theirs
            verdict = "n/a" if ratio is None else ("met" if ratio <= limit else "missed")
            lines.append("- %s: %s× (target ≤ %.1f×): %s" % (text, "n/a" if ratio is None else "%.2f" % ratio, limit,
                                                           verdict))
        lines.append("")
        lines.append("Targets of the check, the two options and the native reader (ratios in the same run):")
        lines.append("")
        for text, data, operation, program, against, against_operation, limit in [
                ("(a) check against restoring the oldest snapshot, cn zlib", "a", CHECK, "cn zlib", "cn zlib", RESTORE,
                 2.0),
                ("(a) nothing changed, cn zlib mtime against the Wine floor of reading the tree", "a",
                 "snapshot, nothing changed", "cn zlib mtime", "Wine", READ_FLOOR, 1.2),
                ("(b) nothing changed, cn zlib mtime against the Wine floor of reading the file", "b",
                 "snapshot, nothing changed", "cn zlib mtime", "Wine", READ_FLOOR, 1.2),
                ("(b) round, cn zlib moved against rdiff-backup", "b", "snapshot after a round's changes", "cn zlib moved",
                 "rdiff-backup", "snapshot after a round's changes", 1.5),
                ("(b) live bytes, cn zlib moved against rdiff-backup's size", "b", "live bytes (size - free)",
                 "cn zlib moved", "rdiff-backup", "archive size", 1.2),
                ("(a) first snapshot, cn zlib moved against cn zlib", "a", "first snapshot", "cn zlib moved", "cn zlib",
                 "first snapshot", 1.1),
                ("(a) round, cn zlib moved against cn zlib", "a", "snapshot after a round's changes", "cn zlib moved",
                 "cn zlib", "snapshot after a round's changes", 1.1),
                ("(c) first snapshot, cn zlib moved against cn zlib", "c", "first snapshot", "cn zlib moved", "cn zlib",
                 "first snapshot", 1.1),
                ("(c) round, cn zlib moved against cn zlib", "c", "snapshot after a round's changes", "cn zlib moved",
                 "cn zlib", "snapshot after a round's changes", 1.1),
                ("(a) native restore, crn against rdiff-backup", "a", RESTORE, "crn (native)", "rdiff-backup", RESTORE,
                 1.0),
                ("(b) native restore, crn against rdiff-backup", "b", RESTORE, "crn (native)", "rdiff-backup", RESTORE,
                 1.0)]:
            mine, theirs = self.median(data, operation, program), self.median(data, against_operation, against)
            ratio = None if mine is None or not theirs else mine / theirs
            verdict = "n/a" if ratio is None else ("met" if ratio <= limit else "missed")
            lines.append("- %s: %s× (target ≤ %.1f×): %s" % (text, "n/a" if ratio is None else "%.2f" % ratio, limit,
                                                           verdict))
        if self.peaks:
            lines.append("")
            lines.append("Peak working set of cn (the largest resident size of its process, which Wine reports as the "
                         "peak working set; the largest over the runs, and over the rounds in the round's row), "
                         "and the largest private part of it sampled every 10 ms (memory of the process's own; "
                         "the rest are pages of the archive and the file that it maps, which the system can drop "
                         "at any time). The target for (b) is the file's size plus 64 MB:")
            lines.append("")
            lines.append("| Data | Operation | Program | Peak working set | Private part | Within (b)'s target: "
                         "whole / private |")
            lines.append("|---|---|---|---:|---:|---|")
            limit = self.data_size("b") + 64 * MB
            for key in sorted(self.peaks, key=lambda k: (k[0], order.index(k[1]) if k[1] in order else 99, k[2])):
                data, operation, program = key
                peak = max(self.peaks[key])
                private = max((p for p in self.private_peaks.get(key, []) if p is not None), default=None)
                within = ""
                if data == "b":
                    within = "%s / %s" % ("yes" if peak <= limit else "no",
                                          "n/a" if private is None else "yes" if private <= limit else "no")
                lines.append("| %s | %s | %s | %.0f MB | %s | %s |" % (
                    names[data], operation, program, peak / MB,
                    "n/a" if private is None else "%.0f MB" % (private / MB), within))
        shares = {key: self.growth_share(key) for key in self.profiles if "snapshot" in key[1]}
        shares = {key: share for key, share in shares.items() if share is not None}
        if shares:
            worst = max(shares, key=shares.get)
            lines.append("- archive growth, its largest share of a snapshot's time: %.1f%% in (%s) %s, %s "
                         "(target ≤ 5%%): %s" % (100 * shares[worst], worst[0], worst[1], worst[2],
                                                 "met" if shares[worst] <= 0.05 else "missed"))
        if self.profiles:
            lines.append("")
            lines.append("Where cn's time goes (CAIRN_PROFILE, seconds summed over the runs and rounds, with the "
                         "number of calls of the phase; the rest is the snapshot walk's own work, Wine's process start "
                         "and cn itself). Archive growth is its own line, with its share of the commands' time:")
            lines.append("")
            for key, phases in sorted(self.profiles.items()):
                data, operation, program = key
                parts = ", ".join("%s %.2f (%d)" % (k, v[0], v[1])
                                  for k, v in sorted(phases.items(), key=lambda kv: -kv[1][0]) if k != GROWTH)
                lines.append("- (%s) %s, %s: %.2f s in all; %s" % (data, operation, program, self.profiled.get(key, 0.0),
                                                                  parts))
                if GROWTH in phases:
                    share = self.growth_share(key)
                    lines.append("  - archive growth %.2f s (%d growths)%s" % (
                        phases[GROWTH][0], phases[GROWTH][1], "" if share is None else ", %.1f%%" % (100 * share)))
        if self.notes:
            lines.append("")
            lines.append("Notes:")
            lines.append("")
            for note in sorted(set(self.notes)):
                lines.append("- " + note)
        text = "\n".join(lines) + "\n"
        out_dir = os.path.join(self.root, "bench", "results")
        os.makedirs(out_dir, exist_ok=True)
        name = "%s-%s.md" % (datetime.datetime.now().strftime("%Y-%m-%d-%H%M"), platform.node())
        if not final:
            with open(os.path.join(self.work, "partial.md"), "w") as f:
                f.write(text)
            with open(os.path.join(self.work, "partial.json"), "w") as f:
                json.dump(self.raw(), f, indent=1)
            return
        for path in [os.path.join(out_dir, name), os.path.join(out_dir, "latest.md")]:
            with open(path, "w") as f:
                f.write(text)
        # The raw figures, which a later run of other data sets can take into its table (--with).
        with open(os.path.join(out_dir, name[:-3] + ".json"), "w") as f:
            json.dump(self.raw(), f, indent=1)
        print(text)

    def growth_share(self, key):
        phases, total = self.profiles.get(key, {}), self.profiled.get(key, 0.0)
        return phases[GROWTH][0] / total if GROWTH in phases and total > 0 else None

    def median(self, data, operation, program):
        values = self.results.get((data, operation, program))
        if not values or any(v is None for v in values):
            return None
        return statistics.median(values)

    def ratio(self, data, operation, program):
        mine, theirs = self.median(data, operation, program), self.median(data, operation, "rdiff-backup")
        return None if mine is None or not theirs else mine / theirs

    def row(self, name, data, operation, program, values):
        median = self.median(data, operation, program)
        size_row = operation in ("archive size", "free space in it", "live bytes (size - free)")
        if median is None:
            cell = "did not finish" if any(v is None for v in values) else "-"
            return "| %s | %s | %s | %s | | |" % (name, operation, program, cell)
        if size_row:
            value = "%.1f MB" % (median / MB)
            speed = ""
        else:
            value = "%.2f s" % median
            work = self.data_size(data) if data != "-" and not operation.endswith("rounds") else 0
            speed = "%.0f" % (work / MB / median) if work and median > 0 else ""
        ratio = self.ratio(data, operation, program) if program != "rdiff-backup" else None
        return "| %s | %s | %s | %s | %s | %s |" % (name, operation, program, value, speed,
                                                    "" if ratio is None else "%.2f" % ratio)


def tree_bytes(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True, help="the win64 build tree")
    parser.add_argument("--state", required=True, help="the Wine state folder (prefix, display)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--bzip2-runs", type=int, default=1)
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--timeout", type=int, default=600, help="seconds one command may take")
    parser.add_argument("--sets", default="abc")
    parser.add_argument("--scale", type=int, default=1)
    parser.add_argument("--cn-only", action="store_true")
    parser.add_argument("--settings", default="", help="only these cn settings, e.g. 'zlib,zlib moved'")
    parser.add_argument("--peers", default="rdiff-backup,git,restic", help="the peers to run beside cn")
    parser.add_argument("--crn", default="", help="the native crn to time beside cn's restore")
    parser.add_argument("--comment", default="")
    parser.add_argument("--with", dest="earlier", action="append", default=[], metavar="RESULTS.json",
                        help="an earlier run's raw results (bench/results/*.json): its data sets that this run "
                             "does not measure complete the table")
    args = parser.parse_args()
    Bench(args).main()


if __name__ == "__main__":
    main()

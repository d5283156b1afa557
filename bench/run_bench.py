#!/usr/bin/env python3
"""Runs every Ctlwarden benchmark in one go under wine64 and prints the table.

Called by scripts/bench inside a display (xvfb-run when there is none). It makes a fresh
Wine prefix, generates the data (registry keys from inside Wine, cabinets with gcab), runs the
driver built in bench/ for each measurement, times cabextract on Linux beside it, and prints
the median of the runs of each row with its ratio to the floor of its section.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

SMALL_FILES = 5000
BIG_BYTES = 50 * 1024 * 1024
CONTROLS = 20


def log(text):
    print(text, file=sys.stderr, flush=True)


class Wine:
    def __init__(self, prefix):
        self.prefix = prefix
        self.wine = "/usr/lib/wine/wine64"
        if not os.access(self.wine, os.X_OK):
            self.wine = shutil.which("wine64") or shutil.which("wine")
        self.server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        LC_ALL=os.environ.get("BENCH_LC_ALL", "zh_CN.UTF-8"))

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def fresh_prefix(self):
        subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(self.prefix)
        log("wine: making the prefix %s" % self.prefix)
        subprocess.run([self.wine, "wineboot", "-i"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # One wineserver for the whole run, so that no step pays for a cold server.
        subprocess.run([self.server, "-w"], env=self.env)
        subprocess.Popen([self.server, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)

    def version(self):
        out = subprocess.run([self.wine, "--version"], env=self.env, capture_output=True,
                             text=True, stdin=subprocess.DEVNULL)
        return out.stdout.strip()

    def run(self, *args, exe="ctlwarden_bench.exe"):
        """Runs the driver (or another program of bench/); returns its RESULT rows and NOTE
        lines."""
        log("run: %s %s" % (exe, " ".join(args)))
        start = time.monotonic()
        # Output into files, not pipes: Wine's own background processes (services.exe and
        # the like) inherit the handles and would hold a pipe open after the driver ended.
        out_path = os.path.join(self.prefix, "driver-out.txt")
        err_path = os.path.join(self.prefix, "driver-err.txt")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.run([self.wine, "C:\\bench\\" + exe, *args],
                                  env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        with open(out_path, encoding="utf-8", errors="replace") as f:
            stdout = f.read()
        with open(err_path, encoding="utf-8", errors="replace") as f:
            stderr = f.read()
        results, notes = [], []
        for line in stdout.splitlines():
            fields = line.rstrip("\r").split("\t")
            if fields[0] == "RESULT" and len(fields) == 6:
                samples = [float(x) for x in fields[5].split(",") if x]
                results.append(dict(section=fields[1], key=fields[2], label=fields[3],
                                    unit=fields[4], samples=samples))
            elif fields[0] == "NOTE" and len(fields) >= 3:
                notes.append((fields[1], fields[2]))
                log("  note: " + fields[2])
        if proc.returncode != 0:
            notes.append((args[0], "driver exit code %d" % proc.returncode))
            log("  driver exit code %d; stderr: %s" % (proc.returncode, stderr[-2000:]))
        log("  took %.0f s" % (time.monotonic() - start))
        return results, notes

    def stop(self):
        subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)


def make_cabinets(wine, work, small_files=SMALL_FILES, big_bytes=BIG_BYTES):
    """5,000 small files in one cabinet, one 50 MB file in another (MSZIP, as makecab would)."""
    rng = random.Random(20261207)
    words = ("control register cabinet vorn interface typelib class module install "
             "version setup component object library file data").split()
    small = os.path.join(work, "small")
    big = os.path.join(work, "big")
    for d in (small, big):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    extensions = (".txt", ".inf", ".htm", ".dat", ".ini", ".bin")
    for i in range(small_files):
        size = rng.randint(200, 4000)
        text = " ".join(rng.choice(words) for _ in range(size // 6 + 1)).encode()[:size]
        with open(os.path.join(small, "f%04d%s" % (i, extensions[i % len(extensions)])), "wb") as f:
            f.write(text)
    # Half random bytes, half text: compresses to roughly 60 %, like a real control's payload.
    block_text = (" ".join(rng.choice(words) for _ in range(12000))).encode()[:65536]
    with open(os.path.join(big, "payload.dat"), "wb") as f:
        written = 0
        while written < big_bytes:
            block = rng.randbytes(65536) if (written // 65536) % 2 else block_text
            block = block[:big_bytes - written]
            f.write(block)
            written += len(block)
    out = wine.drive_c("benchdata")
    os.makedirs(out, exist_ok=True)
    for name, src in (("small.cab", small), ("big.cab", big)):
        files = sorted(os.listdir(src))
        subprocess.run(["gcab", "-c", "-z", "-n", os.path.join(out, name)] +
                       [os.path.join(src, f) for f in files], check=True)
    return {"small": (r"C:\benchdata\small.cab", wine.drive_c("benchdata", "small.cab"),
                      small_files),
            "big": (r"C:\benchdata\big.cab", wine.drive_c("benchdata", "big.cab"), 1)}


def make_control_cabinet(wine, build, work, controls):
    """The project's test control under names of its own, in one MSZIP cabinet."""
    src = os.path.join(work, "controls")
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(src)
    control = os.path.join(build, "bench", "testctl.dll")
    for i in range(controls):
        # Both endings that a cabinet's controls have.
        shutil.copy(control, os.path.join(src, "vornctl%02d%s" % (i + 1, (".ocx", ".dll")[i % 2])))
    out = wine.drive_c("benchdata")
    os.makedirs(out, exist_ok=True)
    cab = os.path.join(out, "controls.cab")
    subprocess.run(["gcab", "-c", "-z", "-n", cab] +
                   [os.path.join(src, f) for f in sorted(os.listdir(src))], check=True)
    return r"C:\benchdata\controls.cab"


def time_cabextract(cab, expected, runs, work):
    out = os.path.join(work, "cabextract-out")
    samples = []
    for _ in range(runs):
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        start = time.perf_counter()
        proc = subprocess.run(["cabextract", "-q", "-d", out, cab],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = (time.perf_counter() - start) * 1000
        if proc.returncode != 0 or len(os.listdir(out)) != expected:
            return samples
        samples.append(elapsed)
    shutil.rmtree(out, ignore_errors=True)
    return samples


def section_title(section, args):
    """The heading and target ratio of a section of the table."""
    if section.startswith("query"):
        keys = int(section[len("query"):])
        return ("1. Query: HKCR with {:,} direct subkeys (200 the maker's)".format(keys), 1.15)
    if section == "drop_small":
        return ("2a. Cabinet drop: {:,} small files (200 B to 4 KB), MSZIP".format(
            args.small_files), 1.3)
    if section == "drop_big":
        return ("2b. Cabinet drop: one {} MB file, MSZIP".format(args.big_mb), 1.3)
    if section == "register":
        return ("2c. Cabinet registration: {} controls, each registered and waited for".format(
            args.controls), 1.1)
    if section == "remove":
        return ("3. Remove-all: 50 controls; Interface 20,000 subkeys, TypeLib 3,000", 1.2)
    if section == "startup":
        return ("4. Start-up: process start to first paint of the main window", 1.2)
    if section == "startup_steps":
        return ("4a. Start-up of the program, step by step inside the process", None)
    return (section, None)


def median(samples):
    return statistics.median(samples) if samples else float("nan")


def merge_rows(rows):
    """Rows of one section and key from several runs of a program become one row."""
    merged, index = [], {}
    for row in rows:
        key = (row["section"], row["key"])
        if key in index:
            index[key]["samples"] += row["samples"]
        else:
            index[key] = dict(row, samples=list(row["samples"]))
            merged.append(index[key])
    return merged


def print_table(rows, notes, sizes, header, args):
    rows = merge_rows(rows)
    by_section = {}
    order = []
    for row in rows:
        if row["section"] not in by_section:
            order.append(row["section"])
        by_section.setdefault(row["section"], []).append(row)
    print(header)
    print()
    line = "%-54s %10s %10s %10s %4s %8s  %s"
    print(line % ("measurement", "median", "min", "max", "runs", "ratio", "target"))
    print("-" * 108)
    for section in order:
        srows = by_section[section]
        title, target = section_title(section, args)
        print(title)
        floors = {}
        for row in srows:
            if row["key"].startswith("floor"):
                floors[row["key"][len("floor"):]] = median(row["samples"])
        for row in srows:
            s = row["samples"]
            unit = row["unit"]
            suffix = ""
            for tail in ("_paint", "_idle", "_peak"):
                if row["key"].endswith(tail):
                    suffix = tail
            floor = floors.get(suffix)
            ratio = ""
            verdict = ""
            if floor and s and unit in ("ms", "KB") and row["key"] != "empty_process":
                ratio = "%.2f" % (median(s) / floor)
                if target and row["key"].startswith("product") and suffix in ("", "_paint"):
                    ok = median(s) / floor <= target
                    verdict = "<= %.2f %s" % (target, "met" if ok else "MISSED")
            fmt = "%.1f %s" if unit == "ms" else "%.0f %s"
            if s:
                print(line % ("  " + row["label"], fmt % (median(s), unit), fmt % (min(s), unit),
                              fmt % (max(s), unit), len(s), ratio, verdict))
            else:
                print(line % ("  " + row["label"], "-", "-", "-", 0, "", "no samples"))
    if sizes:
        print("4b. Executable size (stripped, resources included)")
        for label, size, limit in sizes:
            verdict = ""
            if limit:
                verdict = "< %d KB %s" % (limit // 1024, "met" if size < limit else "MISSED")
            print(line % ("  " + label, "%.1f KB" % (size / 1024), "", "", "", "", verdict))
    if notes:
        print()
        print("notes:")
        for section, text in notes:
            print("  [%s] %s" % (section, text))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-x64", required=True)
    parser.add_argument("--build-i686")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tool-runs", type=int, default=3)
    # The two measurements that take minutes a run: the drop of many files and remove-all.
    parser.add_argument("--slow-runs", type=int, default=3)
    parser.add_argument("--only", default="query,drop,register,remove,startup",
                        help="comma-separated subset of query,drop,register,remove,startup")
    parser.add_argument("--query-keys", default="20000,100000")
    parser.add_argument("--title", default="", help="a line to print above the table")
    # Smaller data for trying the script out; the recorded figures use the defaults.
    parser.add_argument("--small-files", type=int, default=SMALL_FILES)
    parser.add_argument("--controls", type=int, default=CONTROLS)
    parser.add_argument("--big-mb", type=int, default=BIG_BYTES // (1024 * 1024))
    args = parser.parse_args()

    build = os.path.abspath(args.build_x64)
    wine = Wine(os.path.join(build, "wineprefix"))
    work = os.path.join(build, "benchdata")
    os.makedirs(work, exist_ok=True)
    wine.fresh_prefix()
    bench_dir = wine.drive_c("bench")
    os.makedirs(bench_dir, exist_ok=True)
    for src in ("bench/ctlwarden_bench.exe", "bench/bench_minwindow.exe",
                "bench/bench_startup_steps.exe", "ctlwarden.exe"):
        shutil.copy(os.path.join(build, src), bench_dir)

    only = set(args.only.split(","))
    rows, notes = [], []
    try:
        if "query" in only:
            for keys in args.query_keys.split(","):
                r, n = wine.run("query", keys, str(args.runs), str(args.tool_runs))
                rows += r
                notes += n
        if "drop" in only:
            log("data: generating the cabinets")
            cabs = make_cabinets(wine, work, args.small_files, args.big_mb * 1024 * 1024)
            for name in ("small", "big"):
                win_path, unix_path, files = cabs[name]
                section = "drop_" + name
                runs = args.slow_runs if name == "small" else args.runs
                r, n = wine.run("drop", win_path, section, str(runs), str(args.tool_runs),
                                str(files), "analyse")
                rows += r
                notes += n
                samples = time_cabextract(unix_path, files, args.tool_runs, work)
                if samples:
                    rows.append(dict(section=section, key="tool_cabextract",
                                     label="cabextract (Linux, native)", unit="ms",
                                     samples=samples))
                else:
                    notes.append((section, "cabextract failed"))
            # What one appended line costs the EDIT control in each of its states.
            r, n = wine.run("editprobe", "200")
            rows += r
            notes += n
        if "register" in only:
            log("data: the cabinet of controls")
            cab = make_control_cabinet(wine, build, work, args.controls)
            r, n = wine.run("register", cab, str(args.runs), str(args.controls))
            rows += r
            notes += n
        if "remove" in only:
            r, n = wine.run("remove", str(args.slow_runs))
            rows += r
            notes += n
        if "startup" in only:
            r, n = wine.run("startup", r"C:\bench\ctlwarden.exe", r"C:\bench\bench_minwindow.exe",
                            str(max(2 * args.runs + 1, 11)))
            rows += r
            notes += n
            for _ in range(args.runs):
                r, n = wine.run(exe="bench_startup_steps.exe")
                rows += r
                notes += n
    finally:
        wine.stop()

    sizes = []
    i686 = os.path.abspath(args.build_i686) if args.build_i686 else None
    for label, path, limit in (
            ("ctlwarden.exe, 32-bit (the shipped program)",
             i686 and os.path.join(i686, "ctlwarden.exe"), 300 * 1024),
            ("bench_minwindow.exe, 32-bit", i686 and os.path.join(i686, "bench",
                                                                 "bench_minwindow.exe"), 0),
            ("ctlwarden.exe, x64", os.path.join(build, "ctlwarden.exe"), 0),
            ("bench_minwindow.exe, x64", os.path.join(build, "bench", "bench_minwindow.exe"), 0)):
        if path and os.path.exists(path):
            sizes.append((label, os.path.getsize(path), limit))

    nproc = os.cpu_count()
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True, cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
    header = ("Ctlwarden benchmarks%s, %s UTC; %s, %d CPUs\n"
              "median of the runs of each row; ratio = median / median of the section's floor"
              % (" at " + commit if commit else "",
                 time.strftime("%Y-%m-%d %H:%M", time.gmtime()), wine.version(), nproc))
    if args.title:
        header = args.title + "\n" + header
    print_table(rows, notes, sizes, header, args)


if __name__ == "__main__":
    main()

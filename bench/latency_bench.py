#!/usr/bin/env python3
"""Measure cuecarry with the source or the destination on a share that
answers every request after a fixed delay.

The share is latency_fs (bench/latency_fs/), a passthrough FUSE file system of
the project's own over a backing folder on local disk or tmpfs: each request
waits --delays before it is served, the kernel keeps names and attributes for
a second (as SMB and NFS clients do), and requests are served by many threads
at once, lookups in one folder included. It counts the requests by kind.

For every tree size, every side on the share (destination or source, the
other side local) and every delay, it runs:

  cuecarry   the build given as --cuecarry, with each of --jobs workers when
             its --help lists --jobs, else once as it is
  baseline   the same for --baseline, the build before a change
  copier     reference/plain_copier.cpp with each of --copier-threads threads:
             the same destination layout with plain mkdir and open, copy,
             close; no temporary file, no check

and records wall time, peak resident memory, and the requests per caption
file by kind, all of them and those the client waits for (every kind but
forget, batch_forget, release and releasedir). The share is mounted anew for
every run, so that counts and the kernel's caches start clean. Each output
tree is checked: every caption file at its place, byte for byte the
source's, and nothing else.

Writes bench/results/latency/results.csv, results.md and requests.jsonl (the
file system's own counts of each run) and prints the Markdown tables.

  python3 bench/latency_bench.py --cuecarry build/app/cuecarry
  python3 bench/latency_bench.py --cuecarry build/app/cuecarry \\
      --baseline /work/cuecarry-before --sizes 2000:200 --delays 1 --sides destination

Runs as root (mounting needs it); installs fuse3, libfuse3-dev, pkg-config,
g++ and time with apt when they are missing.
"""

import argparse
import csv
import datetime
import filecmp
import glob
import json
import os
import platform
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_tree  # noqa: E402

BUILD = os.path.join(HERE, "build")
FS_SOURCES = sorted(glob.glob(os.path.join(HERE, "latency_fs", "*.cpp")))
FS_BINARY = os.path.join(BUILD, "latency_fs")
COPIER_SOURCE = os.path.join(HERE, "reference", "plain_copier.cpp")
COPIER_BINARY = os.path.join(BUILD, "plain_copier")
SELFTEST = os.path.join(HERE, "latency_fs", "selftest.py")
PACKAGES = ["fuse3", "libfuse3-dev", "pkg-config", "g++", "time"]
GNU_TIME = "/usr/bin/time"
# The kinds no client waits for (latency_fs's own list is in its counts).
NOT_WAITED = {"forget", "batch_forget", "release", "releasedir"}
SIDES = ["destination", "source"]
TOOLS = ["cuecarry", "baseline", "copier"]
CSV_FIELDS = [
    "date", "layout", "captions", "folders", "side", "delay_ms", "tool",
    "workers", "reps", "wall_s", "min_s", "max_s", "x_copier8", "requests_per_caption",
    "waited_per_caption", "max_in_flight", "peak_rss_kb", "exit", "output_ok",
    "message", "requests_by_kind",
]


def log(*a):
    print(*a, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- set-up

def require_packages():
    missing = [p for p in PACKAGES if subprocess.run(
        ["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
        text=True).stdout.find("install ok installed") < 0]
    if not missing:
        return
    if os.geteuid() != 0:
        sys.exit("missing packages; install them with:\n  sudo apt-get install -y "
                 + " ".join(missing))
    log("installing " + " ".join(missing))
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(["apt-get", "install", "-y", "-qq"] + missing, check=True,
                   env=env, stdout=subprocess.DEVNULL)


def build():
    """Compiles the file system and the copier anew, so that they always
    match their sources."""
    os.makedirs(BUILD, exist_ok=True)
    flags = ["g++", "-O2", "-std=c++17", "-Wall", "-Wextra", "-Wpedantic", "-pthread"]
    fuse = subprocess.run(["pkg-config", "--cflags", "--libs", "fuse3"],
                          capture_output=True, text=True, check=True).stdout.split()
    subprocess.run(flags + ["-o", FS_BINARY] + FS_SOURCES + fuse, check=True)
    subprocess.run(flags + ["-o", COPIER_BINARY, COPIER_SOURCE], check=True)


def accepts_jobs(binary):
    r = subprocess.run([binary, "--help"], capture_output=True, text=True,
                       stdin=subprocess.DEVNULL, timeout=30)
    return "--jobs" in r.stdout + r.stderr


# ---------------------------------------------------------------- the share

def is_mounted(path):
    path = os.path.realpath(path)
    with open("/proc/self/mountinfo") as f:
        for line in f:
            fields = line.split()
            sep = fields.index("-")
            if fields[4] == path and fields[sep + 1] == "fuse.latency_fs":
                return True
    return False


class Share:
    """latency_fs mounted over BACKING at MOUNT for one run; unmounting
    writes its counts, which count() returns."""

    def __init__(self, backing, mount, delay_ms, args, read_only=False):
        self.mount = mount
        self.counts_path = os.path.join(args.work, "counts.json")
        if os.path.exists(self.counts_path):
            os.unlink(self.counts_path)
        os.makedirs(mount, exist_ok=True)
        if is_mounted(mount):  # left by a run that was killed
            subprocess.run(["umount", "-l", mount], capture_output=True)
        self.proc = subprocess.Popen(
            [FS_BINARY, "--delay-us", str(round(delay_ms * 1000)),
             "--threads", str(args.fs_threads), "--cache-s", str(args.cache_s),
             "--negative-cache-s", str(args.cache_s), "--counts",
             self.counts_path] + (["--xattr"] if args.xattr else [])
            + (["--read-only"] if read_only else [])
            + (["--no-readdirplus"] if args.no_readdirplus else []) + [backing, mount],
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not is_mounted(mount):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise RuntimeError("latency_fs did not mount %s" % mount)
            time.sleep(0.02)

    def close(self):
        """Unmounts (if still mounted) and waits for the file system to end;
        returns its counts, or None when it wrote none."""
        if is_mounted(self.mount):
            r = subprocess.run(["umount", self.mount], capture_output=True)
            if r.returncode != 0:
                # Still busy (a tool killed on time-out): detach it.
                subprocess.run(["umount", "-l", self.mount], capture_output=True)
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None
        try:
            with open(self.counts_path) as f:
                return json.load(f)
        except (OSError, ValueError):
            return None


# ---------------------------------------------------------------- runs

def run_measured(argv, work, timeout):
    """Runs argv; returns (wall seconds, peak RSS in KiB, exit status, output).

    The peak comes from GNU time, which reads wait4()'s ru_maxrss of its own
    child: wait4() called here directly would report at least this Python
    process's own high-water mark, which a forked child keeps until exec."""
    rss_path = os.path.join(work, "maxrss.txt")
    out_path = os.path.join(work, "output.txt")
    argv = [GNU_TIME, "-f", "%M", "-o", rss_path, "--"] + list(argv)
    with open(out_path, "wb") as out:
        t0 = time.perf_counter()
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out,
                             stderr=subprocess.STDOUT, start_new_session=True)
        timer = threading.Timer(timeout, os.killpg, (p.pid, signal.SIGKILL))
        timer.start()
        try:
            _, status, _ = os.wait4(p.pid, 0)
        except BaseException:  # interrupted: leave no tool running on the share
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            raise
        finally:
            timer.cancel()
        wall = time.perf_counter() - t0
    code = os.waitstatus_to_exitcode(status)
    try:
        with open(rss_path) as f:
            rss = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        rss = 0
    with open(out_path, "rb") as f:
        output = f.read().decode("utf-8", "replace")
    return wall, rss, code, output


def check_output(tree, out_root):
    """(ok, message): every caption file of the tree at its destination path
    under out_root with the source's bytes, a folder for every content
    folder, and no other file."""
    expected = {gen_tree.destination_of(rel): rel for rel in tree["captions"]}
    found = set()
    for dirpath, _, files in os.walk(out_root):
        for name in files:
            found.add(os.path.relpath(os.path.join(dirpath, name), out_root))
    missing = sorted(set(expected) - found)
    extra = sorted(found - set(expected))
    if missing:
        return False, "%d caption files missing, e.g. %s" % (len(missing), missing[0])
    if extra:
        return False, "%d files that should not be there, e.g. %s" % (len(extra), extra[0])
    for dest, rel in expected.items():
        if not filecmp.cmp(os.path.join(tree["root"], rel),
                           os.path.join(out_root, dest), shallow=False):
            return False, "%s differs from its source" % dest
    for content in tree["contents"]:
        if not os.path.isdir(os.path.join(out_root, gen_tree.short_name(content))):
            return False, "no folder for content folder %s" % content
    return True, ""


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def one_run(tree, side, delay_ms, tool, binary, workers, args):
    """Mounts the share, runs one tool once, unmounts; returns the row."""
    work = args.work
    mount = os.path.join(work, "mnt")
    if side == "destination":
        backing = os.path.join(work, "share")
        fresh_dir(backing)
        os.mkdir(os.path.join(backing, "out"))
        source, dest, out_check = tree["root"], os.path.join(mount, "out"), os.path.join(backing, "out")
    else:
        backing = tree["dir"]
        local = os.path.join(work, "dest")
        fresh_dir(local)
        source, dest, out_check = os.path.join(mount, tree["root_name"]), local, local
    if tool == "copier":
        argv = [COPIER_BINARY, "-t", str(workers), source, dest]
    elif workers == "as-is":
        argv = [binary, source, dest]
    else:
        argv = [binary, "--jobs", str(workers), source, dest]
    os.sync()
    share = Share(backing, mount, delay_ms, args,
                  read_only=side == "source" and args.source_read_only)
    try:
        wall, rss, code, output = run_measured(argv, work, args.timeout)
    finally:
        counts = share.close()
    ok, message = check_output(tree, out_check)
    if ok and code != 0:
        ok, message = False, "exit status %d" % code
    if ok and tool != "copier" and "Cuecarry complete" not in output:
        ok, message = False, "no completion message"
    if not ok and output.strip():
        message += "; output: " + output.strip().splitlines()[-1][:200]
    if counts is None:
        ok, message = False, (message + "; " if message else "") + "no request counts"
        counts = {"total": 0, "waited": 0, "counts": {}, "max_in_flight_all": 0}
    n = len(tree["captions"])
    by_kind = {k: v for k, v in counts["counts"].items() if v and k != "init"}
    return {
        "layout": args.layout, "captions": n, "folders": len(tree["contents"]),
        "side": side, "delay_ms": delay_ms, "tool": tool, "workers": workers,
        "wall_s": round(wall, 3), "x_copier8": "",
        "requests_per_caption": round(counts["total"] / n, 2),
        "waited_per_caption": round(counts["waited"] / n, 2),
        "max_in_flight": counts["max_in_flight_all"], "peak_rss_kb": rss,
        "exit": code, "output_ok": ok, "message": message,
        "requests_by_kind": json.dumps(by_kind, sort_keys=True),
        "_counts": counts,
    }


def median_run(runs):
    """The run of median wall time (the lower middle one of an even number),
    with the spread of all, the highest peak memory, and wrong if any was."""
    ordered = sorted(runs, key=lambda r: r["wall_s"])
    row = dict(ordered[(len(ordered) - 1) // 2])
    row["min_s"], row["max_s"] = ordered[0]["wall_s"], ordered[-1]["wall_s"]
    row["reps"] = len(runs)
    row["peak_rss_kb"] = max(r["peak_rss_kb"] for r in runs)
    wrong = [r for r in runs if not r["output_ok"]]
    if wrong:
        row["output_ok"], row["message"] = False, wrong[0]["message"]
    return row


# ---------------------------------------------------------------- trees

def parse_sizes(text):
    sizes = []
    for item in text.split(","):
        captions, _, folders = item.partition(":")
        captions = int(captions)
        folders = int(folders) if folders else max(1, round(captions / 12))
        if captions < 1 or folders < 1 or captions % folders:
            raise argparse.ArgumentTypeError(
                "%s: the captions must split evenly over the folders" % item)
        sizes.append((captions, folders))
    return sizes


def make_tree(captions, folders, args):
    tdir = os.path.join(args.work, "trees", "%d-%d" % (captions, folders))
    os.makedirs(tdir, exist_ok=True)
    if args.layout == "vod":
        contents, segments, per_folder = folders, 0, captions // folders
    else:
        # Six segment folders per content folder, as in run_bench's trees.
        contents, segments = max(1, folders // 6), 6
        per_folder = captions // (contents * segments)
    m = gen_tree.generate(tdir, args.layout, contents, segments, per_folder,
                          seed=args.seed, force=True, quiet=True)
    root = os.path.join(tdir, m["root"])
    with open(os.path.join(tdir, m["root"] + ".captions"), "rb") as f:
        caps = [p.decode("utf-8") for p in f.read().split(b"\0") if p]
    log("tree: %d caption files in %d content folders (%.0f MB)"
        % (len(caps), contents, m["caption_bytes"] / 1e6))
    return {"dir": tdir, "root": root, "root_name": m["root"], "captions": caps,
            "contents": sorted({c.split("/")[0] for c in caps})}


# ---------------------------------------------------------------- report

def fmt(v, digits=3):
    if isinstance(v, str):
        return v
    if v >= 100:
        return "%.0f" % v
    return ("%%.%dg" % digits) % v


def table(header, lines):
    out = ["| " + " | ".join(header) + " |",
           "|" + "|".join("---" for _ in header) + "|"]
    out += ["| " + " | ".join(line) + " |" for line in lines]
    return out


def label(r):
    if r["tool"] == "copier":
        return "plain copier"
    return r["tool"]


def workers_cell(r):
    return "as is" if r["workers"] == "as-is" else str(r["workers"])


def main_table(rows):
    lines = []
    for r in rows:
        lines.append([
            str(r["captions"]), r["side"], fmt(r["delay_ms"]), label(r),
            workers_cell(r), fmt(r["wall_s"]),
            "%s-%s" % (fmt(r["min_s"]), fmt(r["max_s"])) if r["reps"] > 1 else "",
            fmt(r["x_copier8"]) if r["x_copier8"] != "" else "",
            "%.1f" % r["requests_per_caption"], "%.1f" % r["waited_per_caption"],
            str(r["max_in_flight"]), "%.1f" % (r["peak_rss_kb"] / 1024),
            "ok" if r["output_ok"] else "**WRONG**"])
    return table(["captions", "on the share", "delay ms", "tool", "workers",
                  "wall s", "min-max", "x copier 8", "requests / caption",
                  "waited / caption", "max in flight", "peak RSS MiB",
                  "output"], lines)


MIN_SHOWN = 0.05  # requests per caption below which a kind counts as other


def kinds_table(rows):
    """Requests per caption by kind, one row per run."""
    kinds = {}
    for r in rows:
        for k, v in r["_counts"]["counts"].items():
            if k != "init" and v / r["captions"] >= MIN_SHOWN:
                kinds[k] = max(kinds.get(k, 0), v)
    order = sorted(kinds, key=lambda k: -kinds[k])
    lines = []
    for r in rows:
        c, n = r["_counts"]["counts"], r["captions"]
        other = sum(v for k, v in c.items() if k != "init" and k not in kinds)
        lines.append([str(n), r["side"], fmt(r["delay_ms"]), label(r), workers_cell(r)]
                     + ["%.2f" % (c.get(k, 0) / n) for k in order]
                     + ["%.2f" % (other / n), "%.2f" % r["requests_per_caption"]])
    head = ["captions", "on the share", "delay ms", "tool", "workers"] + \
        [k + ("" if k not in NOT_WAITED else " (not waited)") for k in order] + ["other", "all"]
    return table(head, lines)


def share_table(rows, tool):
    """For one cuecarry build, what share of its requests each kind is, on
    each side (8 workers or its only run, the largest tree, the longest
    delay)."""
    picked = []
    for side in SIDES:
        rs = [r for r in rows if r["tool"] == tool and r["side"] == side]
        if not rs:
            continue
        big = max(r["captions"] for r in rs)
        rs = [r for r in rs if r["captions"] == big]
        delay = max(r["delay_ms"] for r in rs)
        rs = [r for r in rs if r["delay_ms"] == delay]
        # The default of eight workers where there is a choice.
        picked.append(([r for r in rs if r["workers"] == 8] or rs)[0])
    if not picked:
        return []
    kinds = sorted({k for r in picked for k, v in r["_counts"]["counts"].items()
                    if v and k != "init"},
                   key=lambda k: -max(r["_counts"]["counts"].get(k, 0) for r in picked))
    lines = []
    for k in kinds:
        line = [k, "no" if k in NOT_WAITED else "yes"]
        for r in picked:
            v, n, total = r["_counts"]["counts"].get(k, 0), r["captions"], r["_counts"]["total"]
            line += ["%.2f" % (v / n), "%.0f%%" % (100.0 * v / total) if total else "-"]
        lines.append(line)
    totals = ["all", ""]
    waited = ["waited", ""]
    for r in picked:
        totals += ["%.2f" % r["requests_per_caption"], "100%"]
        share = 100.0 * r["_counts"]["waited"] / r["_counts"]["total"] if r["_counts"]["total"] else 0
        waited += ["%.2f" % r["waited_per_caption"], "%.0f%%" % share]
    head = ["kind", "waited"]
    for r in picked:
        head += ["%s on share: per caption" % r["side"], "share"]
    caption = ("%s, workers %s, %d captions, %s ms" %
               (tool, workers_cell(picked[0]), picked[0]["captions"], fmt(picked[0]["delay_ms"])))
    return ["", "#### " + caption, ""] + table(head, lines + [totals, waited])


def machine_info(args):
    def first(cmd):
        try:
            return subprocess.run(cmd, capture_output=True, text=True).stdout.strip().splitlines()[0]
        except (OSError, IndexError):
            return "?"
    return ("%s, %d cores, kernel %s, libfuse %s; backing folders on %s (%s); "
            "latency_fs: %d threads, %s s name and attribute cache (names found "
            "missing too), parallel directory operations, listings %s, extended "
            "attributes %s, source share mounted %s"
            % (platform.node() or "?", os.cpu_count() or 0, platform.release(),
               first(["pkg-config", "--modversion", "fuse3"]), args.work,
               first(["stat", "-f", "-c", "%T", args.work]), args.fs_threads,
               fmt(args.cache_s),
               "without attributes" if args.no_readdirplus else "with attributes (readdirplus)",
               "passed through" if args.xattr else "off",
               "read-only" if args.source_read_only else "read-write"))


def markdown(rows, args, date):
    out = ["# Latency benchmark", "",
           "Run of %s. %s." % (date, machine_info(args)), "",
           ("Wall time: the median of %d runs (min-max beside it). " % args.reps
            if args.reps > 1 else "Wall time: one run of each. ") +
           "`x copier 8`: wall time against the plain copier with 8 threads on "
           "the same tree, side and delay. Requests per caption file: all the "
           "share served, and those the client waited for (all but forget, "
           "batch_forget, release, releasedir). Peak RSS from GNU time, the "
           "highest of the runs.", ""]
    out += main_table(rows)
    out += ["", "### Requests per caption file by kind", ""] + kinds_table(rows)
    for tool in ("baseline", "cuecarry"):
        out += share_table(rows, tool)
    return "\n".join(out) + "\n"


def write_results(rows, args, date):
    os.makedirs(args.results, exist_ok=True)
    with open(os.path.join(args.results, "results.csv"), "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=CSV_FIELDS, extrasaction="ignore")
        w.writeheader()
        for r in rows:
            w.writerow(dict(r, date=date))
    with open(os.path.join(args.results, "requests.jsonl"), "w") as f:
        for r in rows:
            f.write(json.dumps({"captions": r["captions"], "side": r["side"],
                                "delay_ms": r["delay_ms"], "tool": r["tool"],
                                "workers": r["workers"], "fs": r["_counts"]},
                               sort_keys=True) + "\n")
    text = markdown(rows, args, date)
    with open(os.path.join(args.results, "results.md"), "w") as f:
        f.write(text)
    return text


# ---------------------------------------------------------------- main

def number_list(kind):
    def parse(text):
        try:
            return [kind(x) for x in text.split(",") if x]
        except ValueError:
            raise argparse.ArgumentTypeError("not a list of numbers: %s" % text)
    return parse


def name_list(allowed):
    def parse(text):
        items = [x for x in text.split(",") if x]
        bad = [x for x in items if x not in allowed]
        if bad or not items:
            raise argparse.ArgumentTypeError("choose from %s" % ",".join(allowed))
        return items
    return parse


def configurations(args):
    """(tool, binary, workers) for every run on one tree, side and delay."""
    out = []
    for tool in args.tools:
        if tool == "copier":
            out += [("copier", COPIER_BINARY, t) for t in args.copier_threads]
            continue
        binary = args.cuecarry if tool == "cuecarry" else args.baseline
        if not binary:
            continue
        if accepts_jobs(binary):
            out += [(tool, binary, j) for j in args.jobs]
        else:
            out.append((tool, binary, "as-is"))
    return out


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Time cuecarry and a plain copier with the source or the "
                    "destination on a share with a fixed delay per request.")
    ap.add_argument("--cuecarry", help="the cuecarry binary to measure")
    ap.add_argument("--baseline", help="an earlier cuecarry build to run beside it")
    ap.add_argument("--sizes", type=parse_sizes, default=parse_sizes("2000:200,6000:500"),
                    help="trees as CAPTIONS:FOLDERS, comma-separated (default "
                         "2000:200,6000:500; FOLDERS defaults to CAPTIONS/12)")
    ap.add_argument("--layout", choices=["vod", "zelvora"], default="vod")
    ap.add_argument("--sides", type=name_list(SIDES), default=SIDES,
                    help="destination,source (default both)")
    ap.add_argument("--delays", type=number_list(float), default=[0.2, 1.0],
                    help="delays per request in ms (default 0.2,1)")
    ap.add_argument("--jobs", type=number_list(int), default=[1, 4, 8, 16],
                    help="workers for a cuecarry that takes --jobs (default 1,4,8,16)")
    ap.add_argument("--copier-threads", type=number_list(int), default=[1, 8, 16],
                    help="threads of the plain copier (default 1,8,16)")
    ap.add_argument("--tools", type=name_list(TOOLS), default=TOOLS,
                    help="a subset of cuecarry,baseline,copier (default all given)")
    ap.add_argument("--fs-threads", type=int, default=64,
                    help="threads serving the share (default 64)")
    ap.add_argument("--cache-s", type=float, default=1.0,
                    help="name and attribute cache of the share in s (default 1)")
    ap.add_argument("--xattr", action="store_true",
                    help="pass extended attributes through (the kernel then "
                         "asks for security.capability before the first write "
                         "to each file, which no SMB or NFS client does)")
    ap.add_argument("--no-readdirplus", action="store_true",
                    help="plain listings: every name listed needs a lookup of "
                         "its own, unlike on NFS or SMB")
    ap.add_argument("--source-read-only", action="store_true",
                    help="mount the share read-only when the source is on it: "
                         "the kernel then keeps a file's access time valid "
                         "after a read, so a stat after reading costs no request")
    ap.add_argument("--work", default="/dev/shm/cc-latency",
                    help="scratch folder for trees, backing folders and the "
                         "mount point; tmpfs by default (a disk folder works too)")
    ap.add_argument("--results", default=os.path.join(HERE, "results", "latency"))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--reps", type=int, default=1,
                    help="runs of each tool; the median is reported (default 1)")
    ap.add_argument("--timeout", type=float, default=900, help="per run, s")
    ap.add_argument("--keep-trees", action="store_true")
    ap.add_argument("--no-selftest", action="store_true",
                    help="skip latency_fs/selftest.py before the runs")
    args = ap.parse_args(argv)
    if "copier" not in args.tools and not args.cuecarry and not args.baseline:
        ap.error("nothing to run: give --cuecarry or --baseline, or the copier")
    for b in (args.cuecarry, args.baseline):
        if b and not os.access(b, os.X_OK):
            ap.error("%s is no program" % b)
    if os.geteuid() != 0:
        ap.error("run as root: mounting the share needs it")
    args.work = os.path.abspath(args.work)
    if args.cuecarry:
        args.cuecarry = os.path.abspath(args.cuecarry)
    if args.baseline:
        args.baseline = os.path.abspath(args.baseline)

    # A kill unwinds like Ctrl-C, so that the share is unmounted.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    require_packages()
    build()
    os.makedirs(args.work, exist_ok=True)
    if not args.no_selftest:
        cmd = [sys.executable, SELFTEST, "--fs", FS_BINARY, "--copier", COPIER_BINARY,
               "--work", os.path.join(args.work, "selftest")]
        if args.cuecarry or args.baseline:
            cmd += ["--cuecarry", args.cuecarry or args.baseline]
        if subprocess.run(cmd).returncode != 0:
            sys.exit("latency_fs self-test failed: no measurement taken")

    date = datetime.date.today().isoformat()
    rows = []
    configs = configurations(args)
    started = time.monotonic()
    for captions, folders in args.sizes:
        tree = make_tree(captions, folders, args)
        for side in args.sides:
            for delay in args.delays:
                # --reps rounds, the order rotating by one each round, so
                # that no run always follows the same one.
                runs = {c: [] for c in range(len(configs))}
                for rep in range(args.reps):
                    for k in range(len(configs)):
                        c = (k + rep) % len(configs)
                        tool, binary, workers = configs[c]
                        r = one_run(tree, side, delay, tool, binary, workers, args)
                        log("%6d captions  %-11s %4s ms  %-8s %5s workers  %7.2f s  "
                            "%5.1f requests/caption (%5.1f waited)  %s"
                            % (r["captions"], side, fmt(delay), tool, workers_cell(r),
                               r["wall_s"], r["requests_per_caption"],
                               r["waited_per_caption"],
                               "ok" if r["output_ok"] else "WRONG: " + r["message"]))
                        runs[c].append(r)
                group = [median_run(runs[c]) for c in range(len(configs))]
                ref = [r for r in group if r["tool"] == "copier" and r["workers"] == 8]
                for r in group:
                    if ref and ref[0]["wall_s"] > 0:
                        r["x_copier8"] = round(r["wall_s"] / ref[0]["wall_s"], 2)
                rows += group
        if not args.keep_trees:
            shutil.rmtree(tree["dir"], ignore_errors=True)
    log("all runs: %.0f s" % (time.monotonic() - started))
    text = write_results(rows, args, date)
    print(text)
    return 0 if all(r["output_ok"] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())

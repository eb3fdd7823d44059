#!/usr/bin/env python3
"""Benchmark the Linux cuecarry against a reference copier, rsync and cp on
generated content trees.

For every chosen tree size and layout the runner generates a tree (gen_tree.py),
then copies its caption files with each tool, side by side:

  cuecarry-empty  cuecarry, folder choices on standard input, into an empty
                  destination
  cuecarry-full   cuecarry into a destination that already holds every file
                  (every file is replaced)
  baseline-empty  with --baseline: an earlier cuecarry build, the same way, so
  baseline-full   that before and after are measured in the same session
  reference-empty the reference copier (reference/reference_copier.cpp, built
  reference-full  here with g++): the walk's own listing and folder-creation
                  calls and one kernel copy per file, nothing else; the floor
                  of any faithful implementation on this machine
  rsync           rsync -a --include='*/' --include='*.[vV][tT][tT]'
                  --exclude='*' SRC/ DEST/   (keeps the source layout)
  cp              xargs -0 cp --parents --preserve=timestamps -t DEST, fed the
                  NUL-separated list of the caption files; xargs packs the list
                  into as few cp processes as the argument limit allows (one
                  for the 24,000-file tree, a handful for 240,000)

Each tool runs once as a warm-up (its output is checked), then --reps times,
the tools alternating in a rotating order. The page cache is not dropped: all
times are warm-cache times. Before every timed run the runner calls sync(), so
that write-back from the previous run does not land in the next one; the timed
runs themselves do not wait for write-back (none of the tools does).

Peak resident memory is ru_maxrss (the process and the children it waited
for), read by GNU time around the warm-up run; the timed runs go without that
wrapper. System calls come from one extra run of each tool under
`strace -c -f`.

Writes bench/results/results.csv, bench/results/results.md and, from strace,
bench/results/strace/ (one summary per run and calls-per-file.csv), and prints
the Markdown tables. Standard library only (and g++ for the reference).

  python3 bench/run_bench.py --cuecarry build/app/cuecarry
  python3 bench/run_bench.py --cuecarry build/app/cuecarry --baseline /tmp/cuecarry-before
  python3 bench/run_bench.py --sizes small,medium,large --reps 5
"""

import argparse
import csv
import datetime
import math
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_tree  # noqa: E402

SIZE_ORDER = ["small", "medium", "large", "split-10k", "one-10k", "split-100k",
              "one-100k"]
TOOLS = ["cuecarry-empty", "cuecarry-full", "baseline-empty", "baseline-full",
         "reference-empty", "reference-full", "rsync", "cp"]
# The tools that write cuecarry's destination layout, each into an empty and
# into a full destination; the first two are builds of cuecarry itself.
CUECARRY_BUILDS = ["cuecarry", "baseline"]
LAYOUT_WRITERS = CUECARRY_BUILDS + ["reference"]
CSV_FIELDS = [
    "date", "layout", "size", "caption_files", "caption_mb",
    "largest_dir_entries", "tool", "reps", "median_s", "min_s", "max_s", "cpu_s",
    "us_per_file", "ratio_ref", "ratio_rsync", "ratio_cp", "peak_rss_kb",
    "syscalls", "syscalls_per_file", "output_ok", "times_s", "message",
]
CALL_FIELDS = ["layout", "size", "caption_files", "tool", "syscall", "calls",
               "errors", "calls_per_file", "errors_per_file"]
REFERENCE_SOURCE = os.path.join(HERE, "reference", "reference_copier.cpp")
REFERENCE_BUILD = os.path.join(HERE, "build", "reference_copier")


def log(*a):
    print(*a, file=sys.stderr, flush=True)


def shape(size):
    """How a tree of this size grows: "one" (inside one content folder),
    "split" (the same captions in content folders of 100) or "contents"
    (small, medium, large: by content folders)."""
    return size.partition("-")[0] if "-" in size else "contents"


def split_of(size):
    """The split tree with as many captions as a one-folder tree."""
    return "split-" + size.partition("-")[2]


# ---------------------------------------------------------------- processes

GNU_TIME = "/usr/bin/time"


def run_measured(argv, stdin_bytes=None, stdin_path=None, cwd=None,
                 timeout=3600, rss=False):
    """Run argv; return (wall seconds, peak RSS in KiB or 0, exit code,
    stdout, CPU seconds: user and system time of the process and the children
    it waited for, from wait4(), which other work on the machine disturbs
    less than the wall time).

    With rss, the program runs under GNU time (-f %M), which reads wait4()'s
    ru_maxrss of its own child; that adds a few milliseconds, so timed runs
    go without it. wait4() called here directly would not do: a child
    forked from this Python process keeps Python's memory high-water mark
    until it calls exec, so its ru_maxrss is never below Python's RSS
    (about 14 MB), whatever the program then uses. GNU time is small, so the
    child it forks starts from a small mark."""
    out_path = os.path.join(STATE["work"], "stdout.txt")
    rss_path = os.path.join(STATE["work"], "maxrss.txt")
    if rss:
        argv = [GNU_TIME, "-f", "%M", "-o", rss_path, "--"] + list(argv)
    with open(out_path, "wb") as out:
        stdin = subprocess.PIPE if stdin_bytes is not None else (
            open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL)
        try:
            t0 = time.perf_counter()
            p = subprocess.Popen(argv, stdin=stdin, stdout=out,
                                 stderr=subprocess.STDOUT, cwd=cwd,
                                 start_new_session=True)
            if stdin_bytes is not None:
                p.stdin.write(stdin_bytes)
                p.stdin.close()
            timer = threading.Timer(timeout, os.killpg, (p.pid, signal.SIGKILL))
            timer.start()
            _, status, usage = os.wait4(p.pid, 0)
            t1 = time.perf_counter()
            timer.cancel()
            p.returncode = os.waitstatus_to_exitcode(status)
        finally:
            if stdin_path and stdin_bytes is None:
                stdin.close()
    with open(out_path, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    maxrss = 0
    if rss:
        try:
            with open(rss_path) as f:
                maxrss = int(f.read().split()[-1])
            os.remove(rss_path)
        except (OSError, ValueError, IndexError):
            pass
    return t1 - t0, maxrss, p.returncode, text, usage.ru_utime + usage.ru_stime


def rm_rf(path):
    if os.path.lexists(path):
        subprocess.run(["rm", "-rf", "--", path], check=True)


def fresh_dir(path):
    rm_rf(path)
    os.makedirs(path)


def xargs_limit():
    """Largest command line xargs may build here (its default is 128 KiB)."""
    try:
        out = subprocess.run(["xargs", "--show-limits"], input=b"",
                             capture_output=True).stderr.decode()
        for line in out.splitlines():
            if line.startswith("Maximum length of command we could actually use"):
                return max(4096, int(line.split(":")[1]) - 4096)
    except (OSError, ValueError):
        pass
    return 131072


def cp_batches(list_path, limit):
    """How many cp processes xargs -s LIMIT makes for the list (estimate)."""
    with open(list_path, "rb") as f:
        names = [n for n in f.read().split(b"\0") if n]
    fixed = len(b"cp --parents --preserve=timestamps -t ") + 200
    batches, used = 1, fixed
    for n in names:
        if used + len(n) + 1 > limit:
            batches, used = batches + 1, fixed
        used += len(n) + 1
    return batches


# ------------------------------------------------------------------- tools

def family(tool):
    """cuecarry, baseline, reference, rsync or cp."""
    return tool.rsplit("-", 1)[0] if tool.endswith(("-empty", "-full")) else tool


def is_full(tool):
    return tool.endswith("-full")


def destination_kind(tool):
    """full for the -full tools, empty for the others (rsync and cp too)."""
    return "full" if is_full(tool) else "empty"


def reference_of(tool):
    """The reference run a tool is put against: the same kind of destination."""
    return "reference-" + destination_kind(tool)


def choices_input(src, dest):
    """What cuecarry reads on standard input: the source and destination
    folder choices."""
    return ("%s\n\n%s\n\n" % (src, dest)).encode("utf-8")


def tool_command(tool, src, dest, list_path):
    """(argv, stdin bytes, stdin file, cwd) for one run of a tool."""
    exe = STATE["exe"].get(family(tool))
    if family(tool) in CUECARRY_BUILDS:
        return [exe], choices_input(src, dest), None, None
    if family(tool) == "reference":
        return [exe, src, dest], None, None, None
    if tool == "rsync":
        return (["rsync", "-a", "--include=*/", "--include=*.[vV][tT][tT]",
                 "--exclude=*", src + "/", dest + "/"], None, None, None)
    if tool == "cp":
        return (["xargs", "-0", "-s", str(STATE["xargs_limit"]), "cp",
                 "--parents", "--preserve=timestamps", "-t", dest],
                None, list_path, src)
    raise ValueError(tool)


def dest_for(tool, tree):
    """Each full destination belongs to its tool; the empty one is shared and
    made anew before every run."""
    return os.path.join(tree["dest"], tool if is_full(tool) else "empty")


def prepare(tool, tree):
    """Get the destination ready: empty for every tool but the -full ones."""
    if not is_full(tool):
        fresh_dir(dest_for(tool, tree))
    os.sync()


def run_tool(tool, tree, timeout, rss=False):
    argv, data, stdin_path, cwd = tool_command(
        tool, tree["src"], dest_for(tool, tree), tree["list"])
    return run_measured(argv, data, stdin_path, cwd, timeout, rss)


# -------------------------------------------------------------- checking

def walk_files(root):
    found = {}
    for dirpath, _, files in os.walk(root):
        for f in files:
            p = os.path.join(dirpath, f)
            found[os.path.relpath(p, root)] = os.lstat(p)
    return found


def check_output(tool, tree, started_at=None):
    """Compare a destination with what the tool should have written.
    Returns (ok, text)."""
    dest = dest_for(tool, tree)
    own_layout = family(tool) in LAYOUT_WRITERS
    expected = {}
    for rel in tree["captions"]:
        target = gen_tree.destination_of(rel) if own_layout else rel
        expected[target] = os.lstat(os.path.join(tree["src"], rel)).st_size
    found = walk_files(dest)
    missing = [p for p in expected if p not in found]
    wrong = [p for p in expected if p in found and found[p].st_size != expected[p]]
    extra = [p for p in found if p not in expected]
    problems = []
    if missing:
        problems.append("%d missing (e.g. %s)" % (len(missing), missing[0]))
    if wrong:
        problems.append("%d of wrong size (e.g. %s)" % (len(wrong), wrong[0]))
    if own_layout and extra:
        problems.append("%d unexpected (e.g. %s)" % (len(extra), extra[0]))
    if own_layout:
        shorts = {gen_tree.short_name(c) for c in tree["contents"]}
        absent = [s for s in shorts if not os.path.isdir(os.path.join(dest, s))]
        if absent:
            problems.append("%d content folders missing (e.g. %s)"
                            % (len(absent), absent[0]))
    if started_at is not None:
        stale = [p for p in expected if p in found
                 and found[p].st_ctime < started_at - 0.02]
        if stale:
            problems.append("%d not replaced (e.g. %s)" % (len(stale), stale[0]))
    if not problems:
        note = "%d files" % len(expected)
        if extra:
            note += " (+%d decoys, as expected)" % len(extra)
        return True, note
    return False, "; ".join(problems)


# ---------------------------------------------------------------- strace

def read_strace(path):
    """({system call: (calls, failed)}, total calls) from an `strace -c`
    summary."""
    calls, total = {}, None
    with open(path) as f:
        for line in f:
            tok = line.split()
            # % time, seconds, usecs/call, calls[, errors], name; the header
            # and the rulers do not start with a number
            if len(tok) < 5 or not tok[0][0].isdigit():
                continue
            counts = (int(tok[3]), int(tok[4]) if len(tok) == 6 else 0)
            if tok[-1] == "total":
                total = counts[0]
            else:
                calls[tok[-1]] = counts
    return calls, total


def run_strace(tool, tree, out_path, timeout):
    prepare(tool, tree)
    argv, data, stdin_path, cwd = tool_command(
        tool, tree["src"], dest_for(tool, tree), tree["list"])
    argv = ["strace", "-c", "-f", "-o", out_path] + argv
    run_measured(argv, data, stdin_path, cwd, timeout)
    return read_strace(out_path)


def startup_cost(timeout):
    """cuecarry's own start-up cost: a run whose source selects no layout."""
    base = os.path.join(STATE["work"], "idle")
    fresh_dir(os.path.join(base, "Elsewhere"))
    fresh_dir(os.path.join(base, "dest"))
    argv = [STATE["exe"]["cuecarry"]]
    data = choices_input(os.path.join(base, "Elsewhere"), os.path.join(base, "dest"))
    runs = [run_measured(argv, data, timeout=timeout) for _ in range(5)]
    maxrss = run_measured(argv, data, timeout=timeout, rss=True)[1]
    rm_rf(base)
    return ("cuecarry start-up alone (a source that selects no layout): "
            "%.1f ms, peak RSS %.2f MiB" % (
                statistics.median(r[0] for r in runs) * 1000, maxrss / 1024))


# ------------------------------------------------------------ machine info

def fs_type(path):
    best, kind = "", "unknown"
    try:
        with open("/proc/mounts") as f:
            for line in f:
                dev, mnt, typ = line.split()[:3]
                mnt = mnt.replace("\\040", " ")
                if (path == mnt or path.startswith(mnt.rstrip("/") + "/")) \
                        and len(mnt) >= len(best):
                    best, kind = mnt, "%s (%s on %s)" % (typ, dev, mnt)
    except OSError:
        pass
    return kind


def first_line(cmd):
    try:
        r = subprocess.run(cmd, capture_output=True, text=True)
        return (r.stdout or r.stderr).strip().splitlines()[0]
    except (OSError, IndexError):
        return "not found"


def machine_info():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "unknown"
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = "%.1f GiB" % (kb / 1048576)
    except (OSError, ValueError, IndexError):
        pass
    return [
        ("date", datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
        ("kernel", platform.release()),
        ("cpu", "%s, %d cores" % (cpu, os.cpu_count() or 0)),
        ("memory", mem),
        ("file system of the trees", STATE["fs"]),
        ("rsync", first_line(["rsync", "--version"])),
        ("cp", first_line(["cp", "--version"])),
        ("strace", first_line(["strace", "-V"])),
        ("python", platform.python_version()),
    ] + list(STATE["desc"].items())


# ----------------------------------------------------------------- report

def fmt(v, digits=3):
    if v is None or v == "":
        return "-"
    if isinstance(v, float):
        if v >= 100:
            return "%.0f" % v
        return ("%%.%dg" % digits) % v
    return str(v)


def verdict(ok):
    return "met" if ok else "MISSED"


def table(header, align, lines):
    """A Markdown table; align has an l or r per column."""
    out = ["| " + " | ".join(header) + " |",
           "|" + "|".join("---:" if a == "r" else "---" for a in align) + "|"]
    return out + ["| " + " | ".join(cells) + " |" for cells in lines]


def markdown(rows, info, notes):
    out = ["## Results", ""]
    out += table(["what", "value"], "ll", [list(kv) for kv in info])
    out += ["", "Warm cache; median of %s timed runs after one warm-up per tool "
            "(CPU s: the median of user and system time). "
            "x ref: the time against reference-full's for the -full tools, "
            "against reference-empty's for the others." % (
                rows[0]["reps"] if rows else "?"), ""]
    out += results_table(rows)
    before_after = before_after_table(rows)
    if before_after:
        out += ["", "### Before and after (baseline against cuecarry, same session)",
                ""] + before_after
    calls = calls_tables(rows)
    if calls:
        out += ["", "### Calls per caption file", "",
                "From `strace -c -f`, divided by the number of caption files; "
                "calls under %g per file are summed as other. All tools, all "
                "trees: `strace/calls-per-file.csv`." % MIN_CALLS_SHOWN] + calls
    one_folder = one_folder_table(rows)
    if one_folder:
        out += ["", "### One content folder against the same captions split "
                "(content folders of 100)", ""] + one_folder
    growth = growth_rows(rows)
    out += ["", "### Growth with tree size", ""] + growth_table(growth)
    out += ["", "### Targets", ""] + ["- " + t for t in targets(rows, growth)]
    if notes:
        out += ["", "### Notes", ""] + ["- " + n for n in notes]
    return "\n".join(out) + "\n"


def results_table(rows):
    lines = []
    for r in rows:
        rss = r["peak_rss_kb"] / 1024 if r["peak_rss_kb"] else None
        lines.append([
            r["layout"], r["size"], str(r["caption_files"]), r["tool"],
            fmt(r["median_s"]), "%s-%s" % (fmt(r["min_s"]), fmt(r["max_s"])),
            fmt(r["cpu_s"]), fmt(r["us_per_file"]), fmt(r["ratio_ref"], 2),
            fmt(r["ratio_rsync"], 2), fmt(r["ratio_cp"], 2), fmt(rss, 3),
            fmt(r["syscalls_per_file"], 3), "ok" if r["output_ok"] else "WRONG"])
    return table(["layout", "tree", "caption files", "tool", "median s",
                  "min-max s", "CPU s", "us/file", "x ref", "x rsync", "x cp",
                  "peak RSS MiB", "syscalls/file", "output"],
                 "llrlrrrrrrrrrl", lines)


def before_after_table(rows):
    """The baseline build against cuecarry, tree by tree, where both ran."""
    by_tool = {(r["layout"], r["size"], r["tool"]): r for r in rows}
    lines = []
    for r in rows:
        if family(r["tool"]) != "cuecarry":
            continue
        kind = destination_kind(r["tool"])
        before = by_tool.get((r["layout"], r["size"], "baseline-" + kind))
        if not before:
            continue
        lines.append([
            r["layout"], r["size"], kind, fmt(before["median_s"]),
            fmt(r["median_s"]), fmt(r["median_s"] / before["median_s"], 3),
            fmt(before["cpu_s"]), fmt(r["cpu_s"]),
            fmt(r["cpu_s"] / before["cpu_s"], 3) if before["cpu_s"] else "-",
            fmt(before["syscalls_per_file"], 3), fmt(r["syscalls_per_file"], 3)])
    if not lines:
        return []
    return table(["layout", "tree", "destination", "before s", "after s",
                  "after/before", "CPU before s", "CPU after s", "CPU after/before",
                  "syscalls/file before", "syscalls/file after"],
                 "lllrrrrrrrr", lines)


MIN_CALLS_SHOWN = 0.05  # calls per caption file below which a call counts as other


def calls_tables(rows):
    """For the largest tree of each layout: the calls of each kind that the
    cuecarry builds and the reference make per caption file."""
    out = []
    for layout in sorted({r["layout"] for r in rows}):
        rs = [r for r in rows if r["layout"] == layout and r.get("calls")
              and family(r["tool"]) in LAYOUT_WRITERS]
        if rs:
            size = max((r["size"] for r in rs), key=SIZE_ORDER.index)
            rs = [r for r in rs if r["size"] == size]
            out += ["", "#### %s, %s tree (%d caption files)"
                    % (layout, size, rs[0]["caption_files"]), ""]
            out += calls_table(rs)
    return out


def calls_table(rs):
    """One row per system call that some tool makes often enough, then the
    rest and the total; one column per tool."""
    n = rs[0]["caption_files"]
    per_file = [{name: (c / n, e / n) for name, (c, e) in r["calls"].items()}
                for r in rs]

    def most(name):
        return max(p.get(name, (0, 0))[0] for p in per_file)

    names = sorted({name for p in per_file for name in p},
                   key=lambda name: (-most(name), name))
    shown = [name for name in names if most(name) >= MIN_CALLS_SHOWN]
    lines = [[name] + [calls_cell(*p.get(name, (0, 0))) for p in per_file]
             for name in shown]
    lines.append(["other"] + [fmt(sum(c for name, (c, _) in p.items()
                                      if name not in shown), 3)
                              for p in per_file])
    lines.append(["total"] + [fmt(r["syscalls_per_file"], 3) for r in rs])
    return table(["call"] + [r["tool"] for r in rs], "l" + "r" * len(rs), lines)


def calls_cell(calls, failed):
    return fmt(calls, 3) + (" (%s failed)" % fmt(failed, 3) if failed else "")


def growth_rows(rows):
    res = []
    by = {}
    for r in rows:
        by.setdefault((r["layout"], shape(r["size"]), r["tool"]), []).append(r)
    for (layout, _, tool), rs in sorted(by.items()):
        rs.sort(key=lambda r: r["caption_files"])
        pairs = list(zip(rs, rs[1:]))
        if len(rs) > 2:
            pairs.append((rs[0], rs[-1]))
        for a, b in pairs:
            fx = b["caption_files"] / a["caption_files"]
            tx = b["median_s"] / a["median_s"] if a["median_s"] else None
            ex = math.log(tx) / math.log(fx) if tx and fx > 1 else None
            rx = (b["peak_rss_kb"] / a["peak_rss_kb"]
                  if a["peak_rss_kb"] and b["peak_rss_kb"] else None)
            res.append({"layout": layout, "tool": tool, "shape": shape(a["size"]),
                        "from": a["size"],
                        "to": b["size"], "files_x": fx, "time_x": tx,
                        "exponent": ex, "rss_x": rx})
    return res


def growth_table(growth):
    return table(["layout", "tool", "from", "to", "files x", "time x",
                  "exponent (1 = linear)", "RSS x"], "llllrrrr",
                 [[g["layout"], g["tool"], g["from"], g["to"],
                   fmt(g["files_x"], 3), fmt(g["time_x"], 3),
                   fmt(g["exponent"], 3), fmt(g["rss_x"], 3)] for g in growth])


MAX_X_REF = 1.15         # cuecarry's time against the reference's
MAX_RSS_KB = 4096
MAX_RSS_GROWTH = 1.25    # peak RSS ratio for a tree ten times larger
MAX_EXPONENT = 1.15      # log(time ratio) / log(files ratio)
MAX_ONE_FOLDER_X = 1.5   # one content folder against the same captions split


def targets(rows, growth):
    lines = []
    # the rsync target is set for tmpfs, where the disk's mood does not count
    off_tmpfs = "" if STATE["fs"].startswith("tmpfs") else \
        ", judged on tmpfs but measured on " + STATE["fs"]
    for r in rows:
        if family(r["tool"]) != "cuecarry":
            continue
        where = "%s, %s, %s, %d files" % (r["tool"], r["layout"], r["size"],
                                          r["caption_files"])
        if r["ratio_ref"] is not None:
            lines.append("%s: %.2f x %s's time (target <= %.2f): %s" % (
                where, r["ratio_ref"], reference_of(r["tool"]), MAX_X_REF,
                verdict(r["ratio_ref"] <= MAX_X_REF)))
        if r["tool"] == "cuecarry-empty" and r["ratio_rsync"] is not None:
            lines.append("%s: %.2f x rsync's time (target < 1%s): %s" % (
                where, r["ratio_rsync"], off_tmpfs, verdict(r["ratio_rsync"] < 1)))
    for layout in sorted({r["layout"] for r in rows}):
        cc = [r for r in rows if r["layout"] == layout
              and family(r["tool"]) == "cuecarry" and r["peak_rss_kb"]]
        if cc:
            top = max(r["peak_rss_kb"] for r in cc)
            lines.append("peak RSS, %s, all sizes: %.2f MiB (target < %g MiB): %s"
                         % (layout, top / 1024, MAX_RSS_KB / 1024,
                            verdict(top < MAX_RSS_KB)))
        for g in growth:
            if g["layout"] != layout or family(g["tool"]) != "cuecarry":
                continue
            if g["rss_x"] is not None and g["shape"] == "one":
                # its largest folder grows with it: shown, not judged
                lines.append("RSS growth, %s, %s, %s -> %s: x%.2f for x%.0f files "
                             "in one content folder" % (
                                 g["tool"], layout, g["from"], g["to"], g["rss_x"],
                                 g["files_x"]))
            elif g["rss_x"] is not None:
                lines.append("RSS growth, %s, %s, %s -> %s: x%.2f for x%.0f files "
                             "(flat: <= x%.2f): %s" % (
                                 g["tool"], layout, g["from"], g["to"], g["rss_x"],
                                 g["files_x"], MAX_RSS_GROWTH,
                                 verdict(g["rss_x"] <= MAX_RSS_GROWTH)))
            if g["exponent"] is not None:
                lines.append("time growth, %s, %s, %s -> %s: exponent %.2f "
                             "(linear: <= %.2f): %s" % (
                                 g["tool"], layout, g["from"], g["to"],
                                 g["exponent"], MAX_EXPONENT,
                                 verdict(g["exponent"] <= MAX_EXPONENT)))
    for one, split in one_folder_pairs(rows):
        if family(one["tool"]) == "cuecarry":
            x = one["median_s"] / split["median_s"]
            lines.append("%s, %s, %d files in one content folder: %.2f x the "
                         "split tree's time (target <= %.2f): %s" % (
                             one["tool"], one["layout"], one["caption_files"], x,
                             MAX_ONE_FOLDER_X, verdict(x <= MAX_ONE_FOLDER_X)))
    return lines or ["(no cuecarry rows)"]


def one_folder_pairs(rows):
    """(one-folder row, split row) of each tool where both trees ran."""
    by = {(r["layout"], r["size"], r["tool"]): r for r in rows}
    return [(r, by[(r["layout"], split_of(r["size"]), r["tool"])]) for r in rows
            if shape(r["size"]) == "one"
            and (r["layout"], split_of(r["size"]), r["tool"]) in by]


def one_folder_table(rows):
    lines = []
    for one, split in one_folder_pairs(rows):
        rss = [x["peak_rss_kb"] / 1024 if x["peak_rss_kb"] else None
               for x in (split, one)]
        lines.append([one["layout"], str(one["caption_files"]), one["tool"],
                      fmt(split["median_s"]), fmt(one["median_s"]),
                      fmt(one["median_s"] / split["median_s"], 3),
                      fmt(rss[0], 3), fmt(rss[1], 3)])
    if not lines:
        return []
    return table(["layout", "caption files", "tool", "split s", "one folder s",
                  "one/split", "peak RSS MiB split", "one folder"],
                 "lrlrrrrr", lines)


def call_rows(rows):
    """One row per tool, tree and system call, for calls-per-file.csv."""
    for r in rows:
        n = r["caption_files"]
        calls = sorted((r.get("calls") or {}).items(), key=lambda kv: -kv[1][0])
        for name, (c, e) in calls:
            yield {"layout": r["layout"], "size": r["size"], "caption_files": n,
                   "tool": r["tool"], "syscall": name, "calls": c, "errors": e,
                   "calls_per_file": round(c / n, 3),
                   "errors_per_file": round(e / n, 3)}


def write_csv(path, fields, rows):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=fields)
        w.writeheader()
        for r in rows:
            w.writerow({k: ("" if r.get(k) is None else r.get(k)) for k in fields})


# ------------------------------------------------------------------- main

STATE = {}


def make_tree(layout, size, args):
    """Generate the tree; return its description and its manifest."""
    preset = gen_tree.PRESETS[size][layout]
    tdir = os.path.join(STATE["work"], "trees", size)
    os.makedirs(tdir, exist_ok=True)
    root = gen_tree.LAYOUT_ROOT[layout]
    log("== %s %s: generating" % (layout, size))
    contents, captions = preset["contents"], preset["captions"]
    if shape(size) == "one":  # --scale shrinks what the tree grows by
        captions = max(2, int(round(captions * args.scale)))
    else:
        contents = max(1, int(round(contents * args.scale)))
    m = gen_tree.generate(tdir, layout, contents, preset["segments"],
                          captions, min_kb=args.caption_kb[0],
                          max_kb=args.caption_kb[1], seed=args.seed,
                          force=True, quiet=True)
    list_path = os.path.join(tdir, root + ".captions")
    with open(list_path, "rb") as f:
        captions = [p.decode("utf-8") for p in f.read().split(b"\0") if p]
    tree = {
        "src": os.path.join(tdir, root),
        "list": list_path,
        "captions": captions,
        "contents": sorted({c.split("/")[0] for c in captions}),
        "dest": os.path.join(STATE["work"], "dest"),
    }
    log("   %d caption files, %.0f MB, %.1f s to generate"
        % (m["caption_files"], m["caption_bytes"] / 1e6, m["seconds"]))
    return tree, m


def warm_up(tool, tree, timeout):
    """One run under GNU time, its output checked; returns
    (ok, note, peak RSS in KiB, last line of output)."""
    prepare(tool, tree)
    time.sleep(0.1)  # so that a file left from the fill run is recognisably older
    started = time.time()
    secs, maxrss, rc, out, _ = run_tool(tool, tree, timeout, rss=True)
    good, note = check_output(tool, tree, started if is_full(tool) else None)
    if rc != 0:
        good, note = False, "exit code %d: %s" % (rc, out.strip()[-300:])
    last = out.strip().splitlines()[-1] if out.strip() else "(no output)"
    if family(tool) in CUECARRY_BUILDS and "complete" not in last.lower():
        good = False
        note += "; unexpected message %r" % last
    log("   warm-up %-15s %7.3f s  %s%s" % (tool, secs, "ok: " if good else "WRONG: ", note))
    return good, note, maxrss, last


def bench_tree(layout, size, args, rows, notes, date):
    tree, m = make_tree(layout, size, args)
    n = m["caption_files"]
    tools = STATE["tools"]
    ok = {t: True for t in tools}
    msg = {t: "" for t in tools}
    times = {t: [] for t in tools}
    cpu = {t: [] for t in tools}
    rss = {t: 0 for t in tools}

    for t in tools:
        if is_full(t):
            fresh_dir(dest_for(t, tree))
            run_tool(t, tree, args.timeout)  # fills it
    for t in tools:
        ok[t], note, rss[t], last = warm_up(t, tree, args.timeout)
        if family(t) in CUECARRY_BUILDS:
            msg[t] = last
        if not ok[t]:
            notes.append("%s %s %s: output check failed: %s" % (layout, size, t, note))
    # timed runs, rotating order
    for rep in range(args.reps):
        k = rep % len(tools)
        for t in tools[k:] + tools[:k]:
            prepare(t, tree)
            secs, _, rc, out, cpu_s = run_tool(t, tree, args.timeout)
            if rc != 0:
                ok[t] = False
                notes.append("%s %s %s: run %d exited %d" % (layout, size, t, rep + 1, rc))
            times[t].append(secs)
            cpu[t].append(cpu_s)
        log("   run %d/%d: %s" % (rep + 1, args.reps, "  ".join(
            "%s %.3f" % (t, times[t][-1]) for t in tools)))
    # system calls
    calls = {t: ({}, None) for t in tools}
    if not args.no_strace:
        sdir = os.path.join(STATE["results"], "strace")
        os.makedirs(sdir, exist_ok=True)
        for t in tools:
            path = os.path.join(sdir, "%s-%s-%s.txt" % (layout, size, t))
            calls[t] = run_strace(t, tree, path, args.timeout * 20)
            log("   strace %-15s %s system calls" % (t, calls[t][1]))
    med = {t: statistics.median(times[t]) for t in tools}

    def against(tool, other):
        return round(med[tool] / med[other], 3) if other in med else None

    for t in tools:
        total = calls[t][1]
        rows.append({
            "date": date, "layout": layout, "size": size, "caption_files": n,
            "caption_mb": round(m["caption_bytes"] / 1e6, 1),
            "largest_dir_entries": m["largest_dir_entries"], "tool": t,
            "reps": args.reps, "median_s": round(med[t], 4),
            "min_s": round(min(times[t]), 4), "max_s": round(max(times[t]), 4),
            "cpu_s": round(statistics.median(cpu[t]), 4),
            "us_per_file": round(med[t] / n * 1e6, 1),
            "ratio_ref": against(t, reference_of(t)),
            "ratio_rsync": against(t, "rsync"),
            "ratio_cp": against(t, "cp"),
            "peak_rss_kb": rss[t],
            "syscalls": total,
            "syscalls_per_file": round(total / n, 2) if total else None,
            "calls": calls[t][0],
            "output_ok": ok[t],
            "times_s": " ".join("%.4f" % x for x in times[t]),
            "message": msg[t],
        })
    if "cp" in tools:
        notes.append("%s %s: cp ran as %d process(es)"
                     % (layout, size, cp_batches(tree["list"], STATE["xargs_limit"])))
    rm_rf(tree["dest"])
    if not args.keep_trees:
        rm_rf(tree["src"])


def chosen_tools(ap, args):
    """--tools, or else every tool (the baseline ones only with --baseline),
    in the order of TOOLS."""
    if args.tools:
        tools = [t for t in args.tools.split(",") if t]
    else:
        tools = [t for t in TOOLS if args.baseline or family(t) != "baseline"]
    for t in tools:
        if t not in TOOLS:
            ap.error("unknown tool %r" % t)
        if family(t) == "baseline" and not args.baseline:
            ap.error("%s needs --baseline" % t)
    return [t for t in TOOLS if t in tools]


def check_needed_programs(tools, strace):
    needed = ["xargs", "rm", GNU_TIME]
    needed += [t for t in ("rsync", "cp") if t in tools]
    if any(family(t) == "reference" for t in tools):
        needed.append("g++")
    if strace:
        needed.append("strace")
    missing = [c for c in needed if not shutil.which(c)]
    if missing:
        pkgs = ["time" if c == GNU_TIME else "findutils" if c == "xargs"
                else "coreutils" if c in ("cp", "rm") else c for c in missing]
        sys.exit("missing programs: %s (Debian: apt-get install %s)"
                 % (" ".join(missing), " ".join(pkgs)))


def given_program(path, option):
    """A cuecarry build named on the command line, and how the report shows it."""
    exe = os.path.abspath(path)
    if not (os.path.isfile(exe) and os.access(exe, os.X_OK)):
        sys.exit("no cuecarry program at %s (build it, or give %s)" % (exe, option))
    st = os.stat(exe)
    return exe, "%s (%d bytes, built %s)" % (
        path, st.st_size,
        datetime.datetime.fromtimestamp(st.st_mtime).strftime("%Y-%m-%d %H:%M"))


def build_reference():
    """Compile the reference copier anew (a second or so), so that the run
    always measures its current source; and how the report shows it."""
    os.makedirs(os.path.dirname(REFERENCE_BUILD), exist_ok=True)
    cmd = ["g++", "-O2", "-std=c++17", "-o", REFERENCE_BUILD, REFERENCE_SOURCE]
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("building the reference copier failed:\n" + r.stderr)
    return REFERENCE_BUILD, "%s, %s" % (" ".join(cmd[:3]), first_line(["g++", "--version"]))


def set_up_programs(args, tools):
    """The program of each tool family in use, in STATE["exe"], and its
    description for the report, in STATE["desc"]."""
    set_up = {"cuecarry": lambda: given_program(args.cuecarry, "--cuecarry"),
              "baseline": lambda: given_program(args.baseline, "--baseline"),
              "reference": build_reference}
    families = {family(t) for t in tools}
    STATE["exe"], STATE["desc"] = {}, {}
    for fam in LAYOUT_WRITERS:
        if fam in families:
            STATE["exe"][fam], STATE["desc"][fam] = set_up[fam]()


def remove_work(args):
    rm_rf(os.path.join(STATE["work"], "dest"))
    if args.keep_trees:
        return
    rm_rf(os.path.join(STATE["work"], "trees"))
    for name in ("stdout.txt", "maxrss.txt"):
        try:
            os.remove(os.path.join(STATE["work"], name))
        except OSError:
            pass
    try:
        os.rmdir(STATE["work"])
    except OSError:
        pass


def caption_kb(text):
    try:
        low, high = (float(x) for x in text.split(":"))
    except ValueError:
        raise argparse.ArgumentTypeError("give MIN:MAX in KB, e.g. 2:40")
    if not 0.5 <= low < high:
        raise argparse.ArgumentTypeError("need 0.5 <= MIN < MAX")
    return low, high


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Time cuecarry against a reference copier, rsync and cp "
                    "on generated trees.")
    ap.add_argument("--cuecarry", default="build/app/cuecarry",
                    help="the Linux program (default: build/app/cuecarry)")
    ap.add_argument("--baseline", metavar="PATH",
                    help="an earlier cuecarry build, run side by side as "
                         "baseline-empty and baseline-full")
    ap.add_argument("--sizes", default="small,medium",
                    help="comma-separated, of small (2,400 caption files), "
                         "medium (24,000), large (240,000; opt-in); and, "
                         "flat layout only, one-10k and one-100k (that many "
                         "in one content folder) beside split-10k and "
                         "split-100k (in content folders of 100)")
    ap.add_argument("--layouts", default="vod,zelvora",
                    help="comma-separated, of vod and zelvora")
    ap.add_argument("--tools",
                    help="comma-separated subset of " + ",".join(TOOLS) +
                         " (default: all; the baseline ones need --baseline)")
    ap.add_argument("--reps", type=int, default=5,
                    help="timed runs per tool (median reported; default 5)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--work", default=os.path.join(HERE, "work"),
                    help="scratch folder for trees and destinations "
                         "(default bench/work)")
    ap.add_argument("--results", default=os.path.join(HERE, "results"),
                    help="where results.csv, results.md and strace/ go")
    ap.add_argument("--no-strace", action="store_true",
                    help="skip the extra runs under strace")
    ap.add_argument("--keep-trees", action="store_true",
                    help="leave the generated trees in the work folder")
    ap.add_argument("--scale", type=float, default=1.0,
                    help="multiply the number of content folders (in a "
                         "one-folder tree, its captions; e.g. 0.05 for a "
                         "quick trial of the scripts); 1 for real results")
    ap.add_argument("--caption-kb", type=caption_kb, default=(2.0, 40.0),
                    metavar="MIN:MAX",
                    help="caption file sizes in KB (default 2:40); smaller "
                         "files make large trees cheap where only memory or "
                         "calls are measured")
    ap.add_argument("--timeout", type=float, default=1800,
                    help="seconds before one run is killed")
    args = ap.parse_args(argv)

    sizes = [s for s in args.sizes.split(",") if s]
    layouts = [s for s in args.layouts.split(",") if s]
    for s in sizes:
        if s not in SIZE_ORDER:
            ap.error("unknown size %r" % s)
    for s in layouts:
        if s not in gen_tree.LAYOUT_ROOT:
            ap.error("unknown layout %r" % s)
    tools = chosen_tools(ap, args)
    if args.reps < 1:
        ap.error("--reps must be at least 1")
    if args.reps < 5:
        log("note: fewer than 5 timed runs; medians are less reliable")
    sizes.sort(key=SIZE_ORDER.index)

    check_needed_programs(tools, not args.no_strace)
    set_up_programs(args, tools)
    STATE["work"] = os.path.abspath(args.work)
    STATE["results"] = os.path.abspath(args.results)
    STATE["tools"] = tools
    STATE["xargs_limit"] = xargs_limit()
    os.makedirs(STATE["work"], exist_ok=True)
    os.makedirs(STATE["results"], exist_ok=True)
    STATE["fs"] = fs_type(STATE["work"])

    info = machine_info()
    notes = []
    if args.caption_kb != (2.0, 40.0):
        notes.append("caption files of %g to %g KB instead of 2 to 40"
                     % args.caption_kb)
    if args.scale != 1.0:
        notes.append("trial run: content folders (in a one-folder tree, its "
                     "captions) scaled by %g, so the trees are not the "
                     "standard sizes" % args.scale)
    if "cuecarry" in STATE["exe"]:
        notes.append(startup_cost(args.timeout))
    rows = []
    date = info[0][1]
    if "cp" in tools:
        notes.append("cp: xargs -0 -s %d, so one cp process per about %d KB of "
                     "file names" % (STATE["xargs_limit"], STATE["xargs_limit"] // 1000))
    notes.append("rsync and cp keep the source layout; cuecarry writes the "
                 "destination layout (three folders per caption file), so they "
                 "are speed references, not substitutes. rsync also copies the "
                 "few decoy caption files that lie where cuecarry must not look.")
    csv_path = os.path.join(STATE["results"], "results.csv")
    calls_path = os.path.join(STATE["results"], "strace", "calls-per-file.csv")
    md_path = os.path.join(STATE["results"], "results.md")
    try:
        for size in sizes:
            for layout in layouts:
                if layout not in gen_tree.PRESETS[size]:
                    log("== %s %s: no such tree (flat layout only)" % (layout, size))
                    continue
                bench_tree(layout, size, args, rows, notes, date)
                write_csv(csv_path, CSV_FIELDS, rows)
                if not args.no_strace:
                    write_csv(calls_path, CALL_FIELDS, call_rows(rows))
    finally:
        remove_work(args)
    md = markdown(rows, info, notes)
    with open(md_path, "w") as f:
        f.write(md)
    print(md)
    log("wrote %s and %s" % (csv_path, md_path))
    return 0 if all(r["output_ok"] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())

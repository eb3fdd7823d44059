#!/usr/bin/env python3
"""Benchmark the Linux cuecarry against rsync and cp on generated content trees.

For every chosen tree size and layout the runner generates a tree (gen_tree.py),
then copies its caption files with each tool, side by side:

  cuecarry-empty  cuecarry, folder choices on standard input, into an empty
                  destination
  cuecarry-full   cuecarry into a destination that already holds every file
                  (every file is replaced)
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

Writes bench/results/results.csv and bench/results/results.md, and prints the
Markdown tables. Standard library only.

  python3 bench/run_bench.py --cuecarry build/app/cuecarry
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

SIZE_ORDER = ["small", "medium", "large"]
TOOLS = ["cuecarry-empty", "cuecarry-full", "rsync", "cp"]
CSV_FIELDS = [
    "date", "layout", "size", "caption_files", "caption_mb",
    "largest_dir_entries", "tool", "reps", "median_s", "min_s", "max_s",
    "us_per_file", "ratio_rsync", "ratio_cp", "peak_rss_kb", "syscalls",
    "syscalls_per_file", "output_ok", "times_s", "message",
]


def log(*a):
    print(*a, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- processes

GNU_TIME = "/usr/bin/time"


def run_measured(argv, stdin_bytes=None, stdin_path=None, cwd=None,
                 timeout=3600, rss=False):
    """Run argv; return (wall seconds, peak RSS in KiB or 0, exit code, stdout).

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
            _, status, _ = os.wait4(p.pid, 0)
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
    return t1 - t0, maxrss, p.returncode, text


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

def tool_command(tool, src, dest, list_path):
    """(argv, stdin bytes, stdin file, cwd) for one run of a tool."""
    if tool.startswith("cuecarry"):
        data = ("%s\n\n%s\n\n" % (src, dest)).encode("utf-8")
        return [STATE["cuecarry"]], data, None, None
    if tool == "rsync":
        return (["rsync", "-a", "--include=*/", "--include=*.[vV][tT][tT]",
                 "--exclude=*", src + "/", dest + "/"], None, None, None)
    if tool == "cp":
        return (["xargs", "-0", "-s", str(STATE["xargs_limit"]), "cp",
                 "--parents", "--preserve=timestamps", "-t", dest],
                None, list_path, src)
    raise ValueError(tool)


def dest_for(tool, tree):
    return tree["dest_full"] if tool == "cuecarry-full" else tree["dest_empty"]


def prepare(tool, tree):
    """Get the destination ready: empty for every tool but cuecarry-full."""
    if tool != "cuecarry-full":
        fresh_dir(tree["dest_empty"])
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
    expected = {}
    for rel in tree["captions"]:
        target = gen_tree.destination_of(rel) if tool.startswith("cuecarry") else rel
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
    if tool.startswith("cuecarry") and extra:
        problems.append("%d unexpected (e.g. %s)" % (len(extra), extra[0]))
    if tool.startswith("cuecarry"):
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

def strace_total(path):
    """Total number of system calls from an `strace -c` summary."""
    with open(path) as f:
        for line in f:
            tok = line.split()
            if tok and tok[-1] == "total":
                nums = tok[:-1]
                # % time, seconds, usecs/call, calls[, errors]
                return int(nums[3]) if len(nums) >= 4 else int(nums[-1])
    return None


def run_strace(tool, tree, out_path, timeout):
    prepare(tool, tree)
    argv, data, stdin_path, cwd = tool_command(
        tool, tree["src"], dest_for(tool, tree), tree["list"])
    argv = ["strace", "-c", "-f", "-o", out_path] + argv
    run_measured(argv, data, stdin_path, cwd, timeout)
    return strace_total(out_path)


def idle_baseline(timeout):
    """cuecarry's own start-up cost: a run whose source selects no layout."""
    base = os.path.join(STATE["work"], "idle")
    fresh_dir(os.path.join(base, "Elsewhere"))
    fresh_dir(os.path.join(base, "dest"))
    data = ("%s\n\n%s\n\n" % (os.path.join(base, "Elsewhere"),
                              os.path.join(base, "dest"))).encode()
    runs = [run_measured([STATE["cuecarry"]], data, timeout=timeout)
            for _ in range(5)]
    _, maxrss, _, _ = run_measured([STATE["cuecarry"]], data, timeout=timeout,
                                   rss=True)
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


def machine_info(work):
    def first(cmd):
        try:
            r = subprocess.run(cmd, capture_output=True, text=True)
            return (r.stdout or r.stderr).strip().splitlines()[0]
        except (OSError, IndexError):
            return "not found"
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
        ("file system of the trees", fs_type(work)),
        ("rsync", first(["rsync", "--version"])),
        ("cp", first(["cp", "--version"])),
        ("strace", first(["strace", "-V"])),
        ("python", platform.python_version()),
        ("cuecarry", STATE.get("cuecarry_desc", "")),
    ]


# ----------------------------------------------------------------- report

def fmt(v, digits=3):
    if v is None or v == "":
        return "-"
    if isinstance(v, float):
        if v >= 100:
            return "%.0f" % v
        return ("%%.%dg" % digits) % v
    return str(v)


def markdown(rows, info, notes):
    out = ["## Results", ""]
    out += ["| " + k + " | " + v + " |" for k, v in
            [("what", "value")] + [("---", "---")] + info]
    out += ["", "Warm cache; median of %s timed runs after one warm-up per tool."
            % (rows[0]["reps"] if rows else "?"), ""]
    out.append("| layout | tree | caption files | tool | median s | min-max s "
               "| us/file | x rsync | x cp | peak RSS MiB | syscalls/file | output |")
    out.append("|---|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for r in rows:
        rss = r["peak_rss_kb"] / 1024 if r["peak_rss_kb"] else None
        out.append("| %s | %s | %d | %s | %s | %s-%s | %s | %s | %s | %s | %s | %s |" % (
            r["layout"], r["size"], r["caption_files"], r["tool"],
            fmt(r["median_s"]), fmt(r["min_s"]), fmt(r["max_s"]),
            fmt(r["us_per_file"]), fmt(r["ratio_rsync"], 2),
            fmt(r["ratio_cp"], 2), fmt(rss, 3),
            fmt(r["syscalls_per_file"], 3), "ok" if r["output_ok"] else "WRONG"))
    out += ["", "### Growth with tree size", ""]
    out.append("| layout | tool | from | to | files x | time x | exponent (1 = linear) | RSS x |")
    out.append("|---|---|---|---|---:|---:|---:|---:|")
    growth = growth_rows(rows)
    for g in growth:
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
            g["layout"], g["tool"], g["from"], g["to"], fmt(g["files_x"], 3),
            fmt(g["time_x"], 3), fmt(g["exponent"], 3), fmt(g["rss_x"], 3)))
    out += ["", "### Targets", ""] + ["- " + t for t in targets(rows, growth)]
    if notes:
        out += ["", "### Notes", ""] + ["- " + n for n in notes]
    return "\n".join(out) + "\n"


def growth_rows(rows):
    res = []
    by = {}
    for r in rows:
        by.setdefault((r["layout"], r["tool"]), []).append(r)
    for (layout, tool), rs in sorted(by.items()):
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
            res.append({"layout": layout, "tool": tool, "from": a["size"],
                        "to": b["size"], "files_x": fx, "time_x": tx,
                        "exponent": ex, "rss_x": rx})
    return res


def targets(rows, growth):
    lines = []
    for r in rows:
        if r["tool"].startswith("cuecarry") and r["size"] == "medium" \
                and r["ratio_rsync"] is not None:
            ok = r["ratio_rsync"] <= 0.5
            lines.append("%s, %s, %d files: %.2f x rsync's time (target <= 0.5): %s"
                         % (r["tool"], r["layout"], r["caption_files"],
                            r["ratio_rsync"], "met" if ok else "MISSED"))
    for layout in sorted({r["layout"] for r in rows}):
        cc = [r for r in rows if r["layout"] == layout
              and r["tool"].startswith("cuecarry") and r["peak_rss_kb"]]
        if cc:
            top = max(r["peak_rss_kb"] for r in cc)
            lines.append("peak RSS, %s, all sizes: %.2f MiB (target < 4 MiB): %s"
                         % (layout, top / 1024, "met" if top < 4096 else "MISSED"))
        for g in growth:
            if g["layout"] != layout or not g["tool"].startswith("cuecarry"):
                continue
            if g["rss_x"] is not None:
                ok = g["rss_x"] <= 1.25
                lines.append("RSS growth, %s, %s, %s -> %s: x%.2f for x%.0f files "
                             "(flat: <= x1.25): %s" % (
                                 g["tool"], layout, g["from"], g["to"], g["rss_x"],
                                 g["files_x"], "met" if ok else "MISSED"))
            if g["exponent"] is not None:
                ok = g["exponent"] <= 1.15
                lines.append("time growth, %s, %s, %s -> %s: exponent %.2f "
                             "(linear: <= 1.15): %s" % (
                                 g["tool"], layout, g["from"], g["to"],
                                 g["exponent"], "met" if ok else "MISSED"))
    return lines or ["(no cuecarry rows)"]


def write_csv(path, rows):
    with open(path, "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=CSV_FIELDS)
        w.writeheader()
        for r in rows:
            w.writerow({k: ("" if r.get(k) is None else r.get(k)) for k in CSV_FIELDS})


# ------------------------------------------------------------------- main

STATE = {}


def bench_tree(layout, size, args, rows, notes, date):
    preset = gen_tree.PRESETS[size][layout]
    tdir = os.path.join(STATE["work"], "trees", size)
    os.makedirs(tdir, exist_ok=True)
    root = gen_tree.LAYOUT_ROOT[layout]
    log("== %s %s: generating" % (layout, size))
    contents = max(1, int(round(preset["contents"] * args.scale)))
    m = gen_tree.generate(tdir, layout, contents, preset["segments"],
                          preset["captions"], seed=args.seed, force=True,
                          quiet=True)
    list_path = os.path.join(tdir, root + ".captions")
    with open(list_path, "rb") as f:
        captions = [p.decode("utf-8") for p in f.read().split(b"\0") if p]
    tree = {
        "src": os.path.join(tdir, root),
        "list": list_path,
        "captions": captions,
        "contents": sorted({c.split("/")[0] for c in captions}),
        "dest_empty": os.path.join(STATE["work"], "dest", "empty"),
        "dest_full": os.path.join(STATE["work"], "dest", "full"),
    }
    n = m["caption_files"]
    log("   %d caption files, %.0f MB, %.1f s to generate"
        % (n, m["caption_bytes"] / 1e6, m["seconds"]))
    tools = STATE["tools"]
    ok = {t: True for t in tools}
    msg = {t: "" for t in tools}
    times = {t: [] for t in tools}
    rss = {t: 0 for t in tools}

    if "cuecarry-full" in tools:
        fresh_dir(tree["dest_full"])
        run_tool("cuecarry-full", tree, args.timeout)  # fills it
    # warm-up, with checks
    for t in tools:
        prepare(t, tree)
        time.sleep(0.1)  # so that a file left from the fill run is recognisably older
        started = time.time()
        secs, maxrss, rc, out = run_tool(t, tree, args.timeout, rss=True)
        rss[t] = maxrss
        good, note = check_output(t, tree, started if t == "cuecarry-full" else None)
        if rc != 0:
            good, note = False, "exit code %d: %s" % (rc, out.strip()[-300:])
        if t.startswith("cuecarry"):
            last = out.strip().splitlines()[-1] if out.strip() else "(no output)"
            msg[t] = last
            if "complete" not in last.lower():
                good = False
                note += "; unexpected message %r" % last
        ok[t] = good
        log("   warm-up %-15s %7.3f s  %s%s" % (t, secs, "ok: " if good else "WRONG: ", note))
        if not good:
            notes.append("%s %s %s: output check failed: %s" % (layout, size, t, note))
    # timed runs, rotating order
    for rep in range(args.reps):
        k = rep % len(tools)
        for t in tools[k:] + tools[:k]:
            prepare(t, tree)
            secs, _, rc, out = run_tool(t, tree, args.timeout)
            if rc != 0:
                ok[t] = False
                notes.append("%s %s %s: run %d exited %d" % (layout, size, t, rep + 1, rc))
            times[t].append(secs)
        log("   run %d/%d: %s" % (rep + 1, args.reps, "  ".join(
            "%s %.3f" % (t, times[t][-1]) for t in tools)))
    # system calls
    sysc = {t: None for t in tools}
    if not args.no_strace:
        sdir = os.path.join(STATE["results"], "strace")
        os.makedirs(sdir, exist_ok=True)
        for t in tools:
            path = os.path.join(sdir, "%s-%s-%s.txt" % (layout, size, t))
            sysc[t] = run_strace(t, tree, path, args.timeout * 20)
            log("   strace %-15s %s system calls" % (t, sysc[t]))
    med = {t: statistics.median(times[t]) for t in tools}
    for t in tools:
        rows.append({
            "date": date, "layout": layout, "size": size, "caption_files": n,
            "caption_mb": round(m["caption_bytes"] / 1e6, 1),
            "largest_dir_entries": m["largest_dir_entries"], "tool": t,
            "reps": args.reps, "median_s": round(med[t], 4),
            "min_s": round(min(times[t]), 4), "max_s": round(max(times[t]), 4),
            "us_per_file": round(med[t] / n * 1e6, 1),
            "ratio_rsync": round(med[t] / med["rsync"], 3) if "rsync" in med else None,
            "ratio_cp": round(med[t] / med["cp"], 3) if "cp" in med else None,
            "peak_rss_kb": rss[t],
            "syscalls": sysc[t],
            "syscalls_per_file": round(sysc[t] / n, 2) if sysc[t] else None,
            "output_ok": ok[t],
            "times_s": " ".join("%.4f" % x for x in times[t]),
            "message": msg[t],
        })
    if "cp" in tools:
        notes.append("%s %s: cp ran as %d process(es)"
                     % (layout, size, cp_batches(list_path, STATE["xargs_limit"])))
    rm_rf(tree["dest_empty"])
    rm_rf(tree["dest_full"])
    if not args.keep_trees:
        rm_rf(tree["src"])


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Time cuecarry against rsync and cp on generated trees.")
    ap.add_argument("--cuecarry", default="build/app/cuecarry",
                    help="the Linux program (default: build/app/cuecarry)")
    ap.add_argument("--sizes", default="small,medium",
                    help="comma-separated, of small (2,400 caption files), "
                         "medium (24,000), large (240,000; opt-in)")
    ap.add_argument("--layouts", default="vod,zelvora",
                    help="comma-separated, of vod and zelvora")
    ap.add_argument("--tools", default=",".join(TOOLS),
                    help="comma-separated subset of " + ",".join(TOOLS))
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
                    help="multiply the number of content folders (e.g. 0.05 "
                         "for a quick trial of the scripts); 1 for real results")
    ap.add_argument("--timeout", type=float, default=1800,
                    help="seconds before one run is killed")
    args = ap.parse_args(argv)

    sizes = [s for s in args.sizes.split(",") if s]
    layouts = [s for s in args.layouts.split(",") if s]
    tools = [s for s in args.tools.split(",") if s]
    for s in sizes:
        if s not in SIZE_ORDER:
            ap.error("unknown size %r" % s)
    for s in layouts:
        if s not in gen_tree.LAYOUT_ROOT:
            ap.error("unknown layout %r" % s)
    for t in tools:
        if t not in TOOLS:
            ap.error("unknown tool %r" % t)
    if args.reps < 1:
        ap.error("--reps must be at least 1")
    if args.reps < 5:
        log("note: fewer than 5 timed runs; medians are less reliable")
    sizes.sort(key=SIZE_ORDER.index)
    tools = [t for t in TOOLS if t in tools]

    needed = ["xargs", "rm", GNU_TIME]
    if "rsync" in tools:
        needed.append("rsync")
    if "cp" in tools:
        needed.append("cp")
    if not args.no_strace:
        needed.append("strace")
    missing = [c for c in needed if not shutil.which(c)]
    if missing:
        pkgs = ["time" if c == GNU_TIME else "findutils" if c == "xargs"
                else "coreutils" if c in ("cp", "rm") else c for c in missing]
        sys.exit("missing programs: %s (Debian: apt-get install %s)"
                 % (" ".join(missing), " ".join(pkgs)))
    if any(t.startswith("cuecarry") for t in tools):
        exe = os.path.abspath(args.cuecarry)
        if not (os.path.isfile(exe) and os.access(exe, os.X_OK)):
            sys.exit("no cuecarry program at %s (build it, or give --cuecarry)" % exe)
        STATE["cuecarry"] = exe
        st = os.stat(exe)
        STATE["cuecarry_desc"] = "%s (%d bytes, built %s)" % (
            args.cuecarry, st.st_size,
            datetime.datetime.fromtimestamp(st.st_mtime).strftime("%Y-%m-%d %H:%M"))

    STATE["work"] = os.path.abspath(args.work)
    STATE["results"] = os.path.abspath(args.results)
    STATE["tools"] = tools
    STATE["xargs_limit"] = xargs_limit()
    os.makedirs(STATE["work"], exist_ok=True)
    os.makedirs(STATE["results"], exist_ok=True)

    info = machine_info(STATE["work"])
    notes = []
    if args.scale != 1.0:
        notes.append("trial run: content folders scaled by %g, so the trees "
                     "are not the standard sizes" % args.scale)
    if "cuecarry" in STATE:
        notes.append(idle_baseline(args.timeout))
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
    md_path = os.path.join(STATE["results"], "results.md")
    try:
        for size in sizes:
            for layout in layouts:
                bench_tree(layout, size, args, rows, notes, date)
                write_csv(csv_path, rows)
    finally:
        rm_rf(os.path.join(STATE["work"], "dest"))
        if not args.keep_trees:
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
    md = markdown(rows, info, notes)
    with open(md_path, "w") as f:
        f.write(md)
    print(md)
    log("wrote %s and %s" % (csv_path, md_path))
    return 0 if all(r["output_ok"] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())

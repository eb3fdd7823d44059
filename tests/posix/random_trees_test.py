#!/usr/bin/python3
"""Random hostile trees: any number of workers ends as one worker does.

    random_trees_test.py CUECARRY WORK [--trees N] [--seed S] [--jobs J ...]

Writes N random source trees under WORK, each with what a real tree may
hold against the copy: short names that collide, names that differ only in
letter case, captions of the same name in several segments, read-only and
unreadable captions, folders named like captions, FIFOs, dangling links,
unreadable segment folders, content and segment folders that are links to
the destination or into it, and a destination that an earlier run filled.
Each tree is published with `cuecarry -j 1` and with each of the other
worker counts, each into a destination of its own (the links lead into
each run's own), and everything must be the same: the exit status, both
output streams (the destination's path taken out, and the line that says
how many workers the limits left room for), and the published tree,
byte for byte and mode for mode. Nothing may be left beside a destination.

Run as an ordinary user: root reads unreadable files. Exit status 0 when
every tree agrees, 1 when any differs, 2 on a broken set-up.
"""

import argparse
import os
import random
import shutil
import stat
import subprocess
import sys

CONTENT_NAMES = ["Lesson01", "Lessons01", "LESSON01", "Les-x-01", "Lab", "lab", "Unit", "Intro", "Empty"]
SEGMENT_NAMES = ["Week1", "Week2", "week1", "S3"]
CAPTION_NAMES = ["a.vtt", "A.vtt", "b.vtt", "B.VTT", "c.vtt.vtt", "c.vtt", ".vtt", "..vtt", "d.en.vtt"]
SHORT_NAMES = ["Les_01", "LES_01", "Lab_Lab", "lab_lab", "Uni_it", "Unit_Unit", "Int_ro"]


def random_tree(rng, source):
    """Writes one source tree; says where links into the destination go and
    what an earlier run left there."""
    layout = rng.choice(["VOD", "Zelvora"])
    root = os.path.join(source, layout)
    links = []
    for content in rng.sample(CONTENT_NAMES, rng.randint(1, 5)):
        folders = [content] if layout == "VOD" else [
            os.path.join(content, s) for s in rng.sample(SEGMENT_NAMES, rng.randint(1, 3))]
        for folder in folders:
            os.makedirs(os.path.join(root, folder), exist_ok=True)
            for name in rng.sample(CAPTION_NAMES, rng.randint(0, 5)):
                path = os.path.join(root, folder, name)
                kind = rng.choices(["file", "ro", "unreadable", "dir", "fifo", "dangling"],
                                   [12, 2, 1, 1, 1, 1])[0]
                if kind == "dir":
                    os.makedirs(path)
                elif kind == "fifo":
                    os.mkfifo(path)
                elif kind == "dangling":
                    os.symlink("/nonexistent/cuecarry", path)
                else:
                    with open(path, "wb") as out:
                        out.write(("WEBVTT\n\n%s %d\n" % (path[len(source):], rng.randint(0, 99))).encode())
                    if kind != "file":
                        os.chmod(path, 0o444 if kind == "ro" else 0)
        if layout == "Zelvora" and rng.random() < 0.1:
            os.chmod(os.path.join(root, folders[0]), 0)
    # Links into the destination: to its root, or to a content destination;
    # as a content folder, or in the nested layout as a segment folder.
    contents = sorted(os.listdir(root))
    for _ in range(rng.choice([0, 0, 1, 2])):
        into = rng.choice(["", rng.choice(SHORT_NAMES)])
        where = "Linked" if layout == "VOD" or rng.random() < 0.5 else os.path.join(rng.choice(contents), "Linked")
        parent = os.path.dirname(os.path.join(root, where))
        if os.access(parent, os.W_OK | os.X_OK) and where not in [w for w, _ in links]:
            links.append((where, into))
    # What an earlier run left: copies, one read-only.
    before = {}
    for _ in range(rng.randint(0, 3)):
        short = rng.choice(SHORT_NAMES)
        name = rng.choice(CAPTION_NAMES[:4])
        before[os.path.join(short, name[:-4], "video", "vtt", name)] = rng.random() < 0.3
    return layout, links, before


def prepare(source, destination, links, before, layout):
    os.makedirs(destination)
    for relative, read_only in before.items():
        path = os.path.join(destination, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(b"from an earlier run\n")
        if read_only:
            os.chmod(path, 0o444)
    for where, into in links:
        os.makedirs(os.path.join(destination, into), exist_ok=True)
        os.symlink(os.path.join(destination, into), os.path.join(source, layout, where))


def published(destination):
    tree = {}
    for folder, subfolders, files in os.walk(destination):
        for name in subfolders + files:
            path = os.path.join(folder, name)
            status = os.lstat(path)
            content = None
            if stat.S_ISREG(status.st_mode):
                with open(path, "rb") as data:
                    content = data.read()
            tree[os.path.relpath(path, destination)] = (stat.S_IFMT(status.st_mode), status.st_mode & 0o777, content)
    return tree


def run(cuecarry, jobs, source, destination):
    done = subprocess.run([cuecarry, "-j", str(jobs), source, destination], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)
    # How many workers fit the limits is said, and may differ; nothing else.
    errors = b"".join(line for line in done.stderr.splitlines(True) if b" workers instead of " not in line)
    said = (done.stdout + b"\n-- standard error --\n" + errors).replace(os.fsencode(destination), b"DEST")
    return done.returncode, said.replace(os.fsencode(os.path.dirname(destination)), b"WORK"), published(destination)


def remove(top):
    """Removes a tree whose folders and files may be unreadable."""
    def open_up(folder):
        os.chmod(folder, 0o755)
        for entry in os.scandir(folder):
            if entry.is_dir(follow_symlinks=False):
                open_up(entry.path)
    if os.path.isdir(top):
        open_up(top)
        shutil.rmtree(top)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("cuecarry")
    parser.add_argument("work")
    parser.add_argument("--trees", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, action="append")
    args = parser.parse_args()
    if os.geteuid() == 0:
        print("random_trees_test.py: run as an ordinary user; root reads unreadable files", file=sys.stderr)
        return 2
    jobs = args.jobs or [8, 64]
    failures = 0
    for number in range(args.trees):
        base = os.path.join(args.work, "tree%d" % number)
        remove(base)
        outcomes = {}
        for count in [1] + jobs:
            # The same tree afresh for each run: links lead into its destination.
            source = os.path.join(base, "source")
            destination = os.path.join(base, "run")
            layout, links, before = random_tree(random.Random("%d-%d" % (args.seed, number)), source)
            prepare(source, destination, links, before, layout)
            outcomes[count] = run(args.cuecarry, count, os.path.join(source, layout), destination)
            beside = set(os.listdir(base)) - {"run", "source"}
            if beside:
                print("tree %d, -j %d: written beside the destination: %s" % (number, count, sorted(beside)))
                failures += 1
            remove(base)
        for count in jobs:
            if outcomes[count] != outcomes[1]:
                failures += 1
                one, many = outcomes[1], outcomes[count]
                print("tree %d (seed %d): -j %d differs from -j 1" % (number, args.seed, count))
                if one[0] != many[0]:
                    print("  exit status %d, with one worker %d" % (many[0], one[0]))
                if one[1] != many[1]:
                    print("  said:\n%s\n  with one worker:\n%s" % (many[1].decode(errors="replace"),
                                                                  one[1].decode(errors="replace")))
                for path in sorted(set(one[2]) | set(many[2])):
                    if one[2].get(path) != many[2].get(path):
                        print("  %s: %s, with one worker %s" % (path, many[2].get(path), one[2].get(path)))
    print("%d of %d random trees end as one worker ends (workers %s)" % (args.trees - failures, args.trees, jobs))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

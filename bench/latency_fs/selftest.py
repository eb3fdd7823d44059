#!/usr/bin/env python3
"""Checks that latency_fs and the plain copier behave as the latency
benchmark assumes, before it measures anything with them:

- the share passes the backing file system's errors and data through, and
  extended attributes with --xattr only;
- it counts each request once, by kind, and waited = all but the kinds that
  are not waited on; SIGUSR1 and unmounting write the counts;
- the kernel keeps names (found and missing) and attributes for the cache
  time and asks again after it;
- every request takes at least the delay, and lookups in one folder overlap;
- it serves more inodes than it may open files;
- a stat after a read asks the share again, unless it is mounted read-only;
- names listed need no lookup (readdirplus), unless --no-readdirplus;
- the plain copier makes cuecarry's short names (UTF-16 units, surrogate
  pairs kept whole, bytes that are no UTF-8 one unit each) and lets the
  later of two captions with one destination win, with many threads.

  python3 bench/latency_fs/selftest.py --fs bench/build/latency_fs \\
      --copier bench/build/plain_copier [--cuecarry build/app/cuecarry]

latency_bench.py runs it first. Needs root (it mounts).
"""

import argparse
import errno
import json
import resource
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

RESULTS = {"passed": 0, "failed": 0}


def check(what, ok, detail=""):
    if ok:
        RESULTS["passed"] += 1
    else:
        RESULTS["failed"] += 1
        print("FAILED: %s%s" % (what, (": " + detail) if detail else ""), flush=True)


def mounted(path):
    with open("/proc/self/mountinfo") as f:
        return any(line.split()[4] == path for line in f)


class Mount:
    def __init__(self, fs, backing, mnt, delay_us=0, cache_s=1.0, xattr=False, max_fds=None,
                 read_only=False, extra=()):
        self.mnt = mnt
        self.counts = mnt + ".json"
        for p in (self.counts,):
            if os.path.exists(p):
                os.unlink(p)
        os.makedirs(mnt, exist_ok=True)
        self.proc = subprocess.Popen(
            [fs, "--delay-us", str(delay_us), "--cache-s", str(cache_s),
             "--negative-cache-s", str(cache_s), "--counts", self.counts]
            + (["--xattr"] if xattr else []) + (["--read-only"] if read_only else [])
            + list(extra) + [backing, mnt],
            preexec_fn=(lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (max_fds, max_fds)))
            if max_fds else None)
        deadline = time.monotonic() + 10
        while not mounted(mnt):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("latency_fs did not mount")
            time.sleep(0.02)

    def snapshot(self):
        """The counts so far, through SIGUSR1, the mount staying."""
        before = os.stat(self.counts).st_mtime_ns if os.path.exists(self.counts) else None
        self.proc.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if os.path.exists(self.counts) and os.stat(self.counts).st_mtime_ns != before:
                with open(self.counts) as f:
                    return json.load(f)
            time.sleep(0.01)
        raise RuntimeError("no counts after SIGUSR1")

    def close(self):
        subprocess.run(["umount", self.mnt], check=False)
        code = self.proc.wait(timeout=30)
        with open(self.counts) as f:
            return code, json.load(f)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if mounted(self.mnt):
            subprocess.run(["umount", "-l", self.mnt], check=False)
        if self.proc.poll() is None:
            self.proc.wait(timeout=30)


def error_of(call):
    try:
        call()
    except OSError as e:
        return e.errno
    return 0


def delta(after, before, kind):
    return after["counts"][kind] - before["counts"][kind]


# ---------------------------------------------------------------- the share

def test_passthrough(fs, work):
    back, mnt = os.path.join(work, "back"), os.path.join(work, "mnt")
    os.makedirs(os.path.join(back, "full"))
    with open(os.path.join(back, "full", "f"), "w") as f:
        f.write("x")
    with open(os.path.join(back, "plain"), "w") as f:
        f.write("data")
    with Mount(fs, back, mnt, xattr=True) as m:
        p = lambda *names: os.path.join(mnt, *names)  # noqa: E731
        cases = [
            ("mkdir over a folder", lambda: os.mkdir(p("full")), errno.EEXIST),
            ("rmdir of a full folder", lambda: os.rmdir(p("full")), errno.ENOTEMPTY),
            ("open of nothing", lambda: open(p("none")), errno.ENOENT),
            ("unlink of a folder", lambda: os.unlink(p("full")), errno.EISDIR),
            ("exclusive create over a file",
             lambda: os.open(p("plain"), os.O_CREAT | os.O_EXCL | os.O_WRONLY), errno.EEXIST),
            ("folder renamed over a file", lambda: os.rename(p("full"), p("plain")), errno.ENOTDIR),
            ("readlink of a file", lambda: os.readlink(p("plain")), errno.EINVAL),
            ("mkdir below a file", lambda: os.mkdir(p("plain", "d")), errno.ENOTDIR),
        ]
        for what, call, want in cases:
            got = error_of(call)
            check(what, got == want, "errno %d, expected %d" % (got, want))

        with open(p("new"), "wb") as f:
            f.write(b"a" * 300000)
        with open(p("new"), "rb") as f:
            check("data written and read back", f.read() == b"a" * 300000)
        os.rename(p("new"), p("moved"))
        os.link(p("moved"), p("linked"))
        check("rename and link", os.stat(p("linked")).st_nlink == 2
              and os.path.getsize(os.path.join(back, "linked")) == 300000)
        os.symlink("moved", p("sym"))
        check("symlink read back", os.readlink(p("sym")) == "moved")
        os.chmod(p("moved"), 0o640)
        os.truncate(p("moved"), 10)
        os.utime(p("moved"), ns=(1_000_000_000, 2_000_000_000))
        st = os.stat(os.path.join(back, "moved"))
        check("mode, size and times set", (st.st_mode & 0o777, st.st_size, st.st_mtime_ns)
              == (0o640, 10, 2_000_000_000), str((oct(st.st_mode), st.st_size, st.st_mtime_ns)))
        with open(p("moved"), "rb") as a, open(p("copy"), "wb") as b:
            n = os.copy_file_range(a.fileno(), b.fileno(), 100)
        check("copy_file_range on the share", n == 10 and os.path.getsize(p("copy")) == 10)
        try:
            os.setxattr(p("copy"), "user.k", b"v")
            check("extended attribute", os.getxattr(p("copy"), "user.k") == b"v")
        except OSError as e:  # a backing file system without user attributes
            check("extended attribute refused as the backing folder refuses it",
                  e.errno == error_of(lambda: os.setxattr(os.path.join(back, "copy"), "user.k", b"v")))
        os.mkdir(p("many"))
        names = {"entry-%04d-%s" % (i, "x" * 60) for i in range(400)}
        for n in names:
            open(os.path.join(back, "many", n), "w").close()
        check("a long listing, read in several parts", set(os.listdir(p("many"))) == names)

        code, counts = m.close()
        check("unmount ends the file system cleanly", code == 0, "exit %d" % code)
        c = counts["counts"]
        parts = c["readdir"] + c["readdirplus"]
        check("several listing requests for the long listing", parts >= 3, str(parts))
        check("total is every kind but init", counts["total"] == sum(v for k, v in c.items() if k != "init"))
        not_waited = set(counts["not_waited_kinds"])
        check("not waited: forget, batch_forget, release, releasedir",
              not_waited == {"forget", "batch_forget", "release", "releasedir"}, str(not_waited))
        check("waited is the total less those",
              counts["waited"] == counts["total"] - sum(c[k] for k in not_waited))
        check("parallel directory operations granted", counts["parallel_dirops"] is True)


def test_cache(fs, work):
    back, mnt = os.path.join(work, "back2"), os.path.join(work, "mnt2")
    os.makedirs(back)
    open(os.path.join(back, "f"), "w").close()
    with Mount(fs, back, mnt, cache_s=0.5) as m:
        os.stat(mnt)
        s0 = m.snapshot()
        os.stat(os.path.join(mnt, "f"))
        os.stat(os.path.join(mnt, "f"))
        for _ in range(2):
            error_of(lambda: os.stat(os.path.join(mnt, "missing")))
        s1 = m.snapshot()
        check("a name looked up once within the cache time, found or missing",
              delta(s1, s0, "lookup") == 2 and delta(s1, s0, "getattr") == 0,
              "lookup %d getattr %d" % (delta(s1, s0, "lookup"), delta(s1, s0, "getattr")))
        time.sleep(0.7)
        os.stat(os.path.join(mnt, "f"))
        error_of(lambda: os.stat(os.path.join(mnt, "missing")))
        s2 = m.snapshot()
        asked = delta(s2, s1, "lookup") + delta(s2, s1, "getattr")
        check("asked again after the cache time", asked >= 2, str(asked))
        check("SIGUSR1 leaves the share mounted", mounted(mnt))
        # Without --xattr the share has no extended attributes, and says so
        # once: the kernel asks no more.
        f = os.path.join(mnt, "f")
        got = [error_of(lambda: os.getxattr(f, "user.k")) for _ in range(3)]
        s3 = m.snapshot()
        check("no extended attributes, asked once", got == [errno.EOPNOTSUPP] * 3
              and delta(s3, s2, "getxattr") == 1, "%s, %d asked" % (got, delta(s3, s2, "getxattr")))


def test_delay_and_overlap(fs, work):
    back, mnt = os.path.join(work, "back3"), os.path.join(work, "mnt3")
    os.makedirs(os.path.join(back, "d"))
    delay = 0.1
    with Mount(fs, back, mnt, delay_us=int(delay * 1e6)) as m:
        os.stat(os.path.join(mnt, "d"))
        t0 = time.perf_counter()
        error_of(lambda: os.stat(os.path.join(mnt, "d", "one")))
        took = time.perf_counter() - t0
        check("a request takes the delay", delay <= took < delay * 3, "%.3f s" % took)
        names = ["n%d" % i for i in range(8)]
        threads = [threading.Thread(target=error_of, args=(
            lambda n=n: os.stat(os.path.join(mnt, "d", n)),)) for n in names]
        t0 = time.perf_counter()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        took = time.perf_counter() - t0
        counts = m.snapshot()
        peak = counts["max_in_flight"]["lookup"]
        check("lookups in one folder overlap", peak >= 4 and took < 4 * delay,
              "%d at once, %.2f s for 8" % (peak, took))


def test_read_only(fs, work):
    """A read marks the access time stale, so a stat after it asks the share,
    as an NFS client does; not on a read-only mount."""
    back = os.path.join(work, "back5")
    os.makedirs(back)
    with open(os.path.join(back, "f"), "wb") as f:
        f.write(b"x" * 5000)
    for read_only, want in ((False, 1), (True, 0)):
        mnt = os.path.join(work, "mnt5-%s" % ("ro" if read_only else "rw"))
        with Mount(fs, back, mnt, read_only=read_only) as m:
            os.stat(os.path.join(mnt, "f"))
            before = m.snapshot()
            with open(os.path.join(mnt, "f"), "rb") as f:
                f.read()
                os.fstat(f.fileno())
            after = m.snapshot()
            check("stat after a read, %s" % ("read-only" if read_only else "read-write"),
                  delta(after, before, "getattr") == want, "%d getattr" % delta(after, before, "getattr"))
            if read_only:
                check("read-only refuses a write",
                      error_of(lambda: open(os.path.join(mnt, "g"), "w")) == errno.EROFS)


def test_readdirplus(fs, work):
    """Names listed come with their attributes: no lookup of their own
    within the cache time; without readdirplus one each."""
    back = os.path.join(work, "back6")
    os.makedirs(back)
    names = ["f%02d" % i for i in range(10)]
    for n in names:
        open(os.path.join(back, n), "w").close()
    for extra, want in (((), 0), (("--no-readdirplus",), len(names))):
        mnt = os.path.join(work, "mnt6-%d" % len(extra))
        with Mount(fs, back, mnt, extra=extra) as m:
            listed = os.listdir(mnt)
            before = m.snapshot()
            for n in listed:
                os.stat(os.path.join(mnt, n))
            after = m.snapshot()
            asked = delta(after, before, "lookup") + delta(after, before, "getattr")
            check("stat of listed names, %s" % (extra or "readdirplus"),
                  sorted(listed) == names and asked == want, "%d asked" % asked)


def test_many_inodes(fs, work):
    """The kernel may hold more inodes than the file system may open files."""
    back, mnt = os.path.join(work, "back4"), os.path.join(work, "mnt4")
    os.makedirs(back)
    for i in range(1500):
        os.mkdir(os.path.join(back, "d%04d" % i))
    with Mount(fs, back, mnt, max_fds=256):
        errors = set()
        for i in range(1500):
            try:
                with open(os.path.join(mnt, "d%04d" % i, "f"), "w") as f:
                    f.write("x")
            except OSError as e:
                errors.add(e.strerror)
        check("3000 inodes held with 256 descriptors", not errors, str(errors))


# ---------------------------------------------------------------- the copier

SHORT_NAMES = [  # content folder name (bytes) -> short name
    (b"Lab", b"Lab_Lab"),
    (b"Lesson01", b"Les_01"),
    ("a\U0001F600bcd".encode(), "a\U0001F600_cd".encode()),
    ("ab\U0001F600cd".encode(), "ab\U0001F600_cd".encode()),
    ("abc\U0001F600".encode(), "abc_\U0001F600".encode()),
    ("xyz\U0001F600q".encode(), "xyz_\U0001F600q".encode()),
    ("\u00c9cole".encode(), "\u00c9co_le".encode()),
    (b"\xff\xfeab", b"\xff\xfeab_\xff\xfeab"),
    (b"ab\xffcdef", b"ab\xff_ef"),
]


def test_copier(copier, cuecarry, work):
    src = os.path.join(work, "names", "VOD").encode()
    os.makedirs(src)
    for name, _ in SHORT_NAMES:
        os.mkdir(os.path.join(src, name))
        with open(os.path.join(src, name, b"c.vtt"), "wb") as f:
            f.write(b"WEBVTT\n\n" + name)
    out = os.path.join(work, "names-out").encode()
    os.mkdir(out)
    r = subprocess.run([copier, "-t", "4", src, out], capture_output=True)
    check("copier exits 0", r.returncode == 0, r.stderr.decode(errors="replace"))
    for name, short in SHORT_NAMES:
        target = os.path.join(out, short, b"c", b"video", b"vtt", b"c.vtt")
        check("short name of %r" % name, os.path.isfile(target),
              "has %r" % sorted(os.listdir(out)))
    if cuecarry:
        theirs = os.path.join(work, "names-cuecarry").encode()
        os.mkdir(theirs)
        subprocess.run([cuecarry, src, theirs], capture_output=True, stdin=subprocess.DEVNULL)
        check("the copier's short names are cuecarry's",
              sorted(os.listdir(out)) == sorted(os.listdir(theirs)),
              "%r against %r" % (sorted(os.listdir(out)), sorted(os.listdir(theirs))))

    # Nested: Week01/a.vtt and Week02/a.vtt share a destination; the later wins.
    root = os.path.join(work, "nested", "Zelvora")
    for i in range(60):
        for week in ("Week01", "Week02"):
            d = os.path.join(root, "Content %02d" % i, week)
            os.makedirs(d)
            with open(os.path.join(d, "a.vtt"), "w") as f:
                f.write(week)
    out = os.path.join(work, "nested-out")
    os.mkdir(out)
    subprocess.run([copier, "-t", "16", root, out], check=True)
    wrong = []
    for i in range(60):
        content = os.path.join(root, "Content %02d" % i)
        with open(os.path.join(out, "Con_%02d" % i, "a", "video", "vtt", "a.vtt")) as f:
            got = f.read()
        # The walk goes in listing order: the segment listed last wins.
        if got != os.listdir(content)[-1]:
            wrong.append("Content %02d has %s's" % (i, got))
    check("the later of two captions with one destination wins", not wrong, ", ".join(wrong[:3]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--fs", required=True)
    ap.add_argument("--copier", required=True)
    ap.add_argument("--cuecarry")
    ap.add_argument("--work", default="/tmp/latency-selftest")
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    work = os.path.realpath(a.work)
    try:
        test_passthrough(a.fs, work)
        test_cache(a.fs, work)
        test_delay_and_overlap(a.fs, work)
        test_many_inodes(a.fs, work)
        test_read_only(a.fs, work)
        test_readdirplus(a.fs, work)
        test_copier(a.copier, a.cuecarry, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("latency_fs self-test: %d passed, %d failed" % (RESULTS["passed"], RESULTS["failed"]))
    return 1 if RESULTS["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Publishing to and from a real SMB file server, end to end.

    share_test.py CUECARRY WORK_DIR

Starts Samba's smbd on 127.0.0.1, on a free high port, with one guest share
(WORK_DIR/server/share) and its own configuration, state, lock, pid and log
folders beside it, and mounts the server with smbnetfs, a FUSE SMB client,
through the setuid fusermount3 (this kernel has no CIFS, and no root is
needed): the share is WORK_DIR/client/mnt/127.0.0.1:PORT/share. The server
serves it as Windows does: letter case folded (and kept), no unnamed files,
no links. Both are children of this script that die with it (a parent-death
signal; the mount is made with auto_unmount), however it ends.

The test arranges the share on the server's side, and the kernel caches
nothing of the mount, so the program sees at once what the server holds.
Every run is `cuecarry -v [OPTIONS] SOURCE DEST`, its output read with the
two folders as SRC and DEST, what it published read on the server's side,
and the whole share searched for a `.cuecarry-*.tmp` left behind. The runs:
a plain tree published to the share and from it, with 1 and 8 workers, then
again into the filled destination after a caption changed, each as a run
between two local folders; dry runs; a tree whose captions and content
folders differ only in case, whose sound outcome is spelled out; and that
tree and one with content folders linked into the destination with 2, 8 and
64 workers, each exactly as with one.

One line per check, then "N passed, N failed"; the exit status is 1 when a
check failed, 77 when smbd, smbnetfs or FUSE are not to be had here (a
failure under CI=true).
"""

import contextlib
import ctypes
import difflib
import fnmatch
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402

LONG_AGO = 1_700_000_000_678_901_234  # ns: a last-write time, in November 2023
WAIT = 30  # seconds the server and the mount may take on a loaded machine
SYSTEM_PATH = os.environ.get("PATH", "") + ":/usr/sbin:/sbin"  # smbd is in sbin
TOOLS = ["smbd", "smbnetfs", "fusermount3"]

# smbd as an ordinary user: everything it keeps lives in FOLDER; no NetBIOS,
# no printers, no RPC helpers started on demand (nothing here lists shares);
# every name is a guest, mapped to the user running it. Case is folded and
# kept, as on Windows and the usual NAS.
SMB_CONF = """\
[global]
  server role = standalone server
  netbios name = CUECARRY-TEST
  interfaces = 127.0.0.1
  bind interfaces only = yes
  smb ports = {port}
  disable netbios = yes
  map to guest = Bad User
  guest account = {user}
  passdb backend = tdbsam:{folder}/private/passdb.tdb
  private dir = {folder}/private
  binddns dir = {folder}/private
  lock directory = {folder}/lock
  state directory = {folder}/state
  cache directory = {folder}/cache
  pid directory = {folder}/pid
  ncalrpc dir = {folder}/ncalrpc
  usershare path =
  log file = {folder}/log/smbd.log
  max log size = 0
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  rpc start on demand helpers = no
[share]
  path = {folder}/share
  guest ok = yes
  guest only = yes
  read only = no
  case sensitive = no
  preserve case = yes
"""
# smbnetfs: the one guest login, no browsing of the network, no keyring.
# libsmbclient reads its own smb.conf beside it rather than the system's.
SMBNETFS_CONF = 'auth "guest" ""\nsmb_query_browsers false\nuse_libsecret false\n'
CLIENT_SMB_CONF = "[global]\n  client min protocol = SMB2\n"


class Link(str):
    """A symbolic link in a tree, to this target."""


def bulk(count, published=False):
    """Content folders that keep the workers busy before the cases that
    matter, in the source or as published (case folded)."""
    return {(f"cou_{n:02}/part{k}/video/vtt/part{k}.vtt" if published else f"Course{n:02}/part{k}.vtt"):
            f"WEBVTT\n\ncourse {n} part {k}\n".encode() for n in range(count) for k in range(4)}


# A tree with nothing a folding destination changes: as a local run gives it.
# "Lesson 1 Part 01" and "Lesson01" share the short name Les_01.
PLAIN = {**bulk(12),
         "Lesson 1 Part 01/intro.vtt": b"WEBVTT\n\nreplaced later in the run\n",
         "Lesson01/intro.vtt": b"WEBVTT\n\nintro\n",
         "Lesson01/intro.en.vtt": b"WEBVTT\n\nintro in English\n",
         "Lesson01/slides.pdf": b"%PDF-1.4\n",
         "Lesson01/extra/q.vtt": b"WEBVTT\n\ntoo deep\n",
         "Lab/demo.VTT": b"WEBVTT\n\ndemo\n",
         "Empty": None,
         "notes.vtt": b"WEBVTT\n\nnot in a content folder\n"}
CHANGED = ("Lesson01/intro.en.vtt", b"WEBVTT\n\nintro in English, corrected and longer\n")

# Names that differ only in case, in walk order (upper-cased UTF-16, then
# code units): DEMO.vtt before demo.vtt, LESSON01 before Lesson01. On the
# share each pair has one target, and the later caption must win. The
# earlier ones are long: copied at the same time, they would land last.
LONG = b"00:00.000 --> 00:01.000\nA cue among many: a long caption takes a while to copy.\n\n" * 16384
CASE = {**bulk(6),
        "Lab/DEMO.vtt": b"WEBVTT\n\nDEMO, earlier\n" + LONG,
        "Lab/demo.vtt": b"WEBVTT\n\ndemo, later\n",
        "LESSON01/intro.vtt": b"WEBVTT\n\nLESSON01, earlier\n" + LONG,
        "LESSON01/upper.vtt": b"WEBVTT\n\nonly in LESSON01\n",
        "Lesson01/intro.vtt": b"WEBVTT\n\nLesson01, later\n",
        "Lesson01/lower.vtt": b"WEBVTT\n\nonly in Lesson01\n"}
CASE_PUBLISHED = {**bulk(6, published=True),  # paths with case folded
                  "lab_lab/demo/video/vtt/demo.vtt": CASE["Lab/demo.vtt"],
                  "les_01/intro/video/vtt/intro.vtt": CASE["Lesson01/intro.vtt"],
                  "les_01/upper/video/vtt/upper.vtt": CASE["LESSON01/upper.vtt"],
                  "les_01/lower/video/vtt/lower.vtt": CASE["Lesson01/lower.vtt"]}
CASE_REPLACED = [("Lab/demo.vtt", "Lab_Lab/demo/video/vtt/demo.vtt", "Lab/DEMO.vtt"),
                 ("Lesson01/intro.vtt", "Les_01/intro/video/vtt/intro.vtt", "LESSON01/intro.vtt")]

# Linked and Mirror, content folders, are the caption folder that Lab's
# demo.vtt is published to: the walk lists them right after handing that
# caption out, whose copy takes a while. Mirror spells the folder in other
# letter case, which this client gives another inode number.
LINKED_FOLDER = "Lab_Lab/demo/video/vtt"
LINKED = {**bulk(6), "Lab/demo.vtt": b"WEBVTT\n\ndemo\n" + LONG}
LINKS = {"Linked": LINKED_FOLDER, "Mirror": LINKED_FOLDER.upper()}
LINKS_PUBLISHED = ["Lin_ed/demo/video/vtt/demo.vtt", "Mir_or/demo/video/vtt/demo.vtt"]


# ------------------------------------------------ the server and the mount ----

def dies_with_parent():
    """In a child before exec: SIGTERM when this script ends, however."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def start(command, log, env=None):
    # A session of its own: smbnetfs signals its whole process group as it ends.
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                            env=env, preexec_fn=dies_with_parent, start_new_session=True)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def wait_until(predicate):
    deadline = time.monotonic() + WAIT
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def tail(path, lines=40):
    try:
        with open(path, errors="replace") as log:
            return "".join(log.readlines()[-lines:])
    except OSError as error:
        return f"({error})"


def answers(port):
    with socket.socket() as probe:
        probe.settimeout(1)
        return probe.connect_ex(("127.0.0.1", port)) == 0


@contextlib.contextmanager
def samba(folder):
    """smbd serving FOLDER/share: yields its port; stopped on the way out."""
    for name in ("share", "private", "lock", "state", "cache", "pid", "ncalrpc", "log"):
        os.makedirs(os.path.join(folder, name))
    log = os.path.join(folder, "log", "smbd.log")
    for _ in range(3):  # a port found free may be taken before smbd binds it
        with socket.socket() as free:
            free.bind(("127.0.0.1", 0))
            port = free.getsockname()[1]
        config = os.path.join(folder, "smb.conf")
        with open(config, "w") as out:
            out.write(SMB_CONF.format(port=port, folder=folder, user=pwd.getpwuid(os.getuid()).pw_name))
        with open(os.path.join(folder, "log", "smbd.out"), "a") as out:
            server = start([shutil.which("smbd", path=SYSTEM_PATH), "--foreground", "--no-process-group",
                            f"--configfile={config}"], out)
        if wait_until(lambda: server.poll() is not None or answers(port)) and server.poll() is None:
            break
        stop(server)
    else:
        raise RuntimeError(f"smbd did not answer on 127.0.0.1; its log:\n{tail(log)}"
                           f"{tail(os.path.join(folder, 'log', 'smbd.out'))}")
    try:
        yield port
    finally:
        stop(server)


@contextlib.contextmanager
def smbnetfs(folder, port, server_log):
    """The server mounted at FOLDER/mnt: yields the share's path there."""
    home, mountpoint = os.path.join(folder, "home"), os.path.join(folder, "mnt")
    os.makedirs(os.path.join(home, ".smb"))
    os.makedirs(mountpoint)
    for name, text in (("smbnetfs.conf", SMBNETFS_CONF), ("smb.conf", CLIENT_SMB_CONF)):
        path = os.path.join(home, ".smb", name)
        with open(os.open(path, os.O_WRONLY | os.O_CREAT, 0o600), "w") as out:
            out.write(text)  # smbnetfs takes no login from a file others may read
    log = os.path.join(folder, "smbnetfs.log")
    options = (f"config={home}/.smb/smbnetfs.conf,log_file={log},auto_unmount,"
               "attr_timeout=0,entry_timeout=0,negative_timeout=0")
    with open(os.path.join(folder, "smbnetfs.out"), "w") as out:
        client = start(["smbnetfs", mountpoint, "-f", "-o", options], out, env={**os.environ, "HOME": home})
    # A host folder with a port names the server on that port.
    share = os.path.join(mountpoint, f"127.0.0.1:{port}", "share")
    try:
        if not wait_until(lambda: client.poll() is not None or os.path.isdir(share)) or client.poll() is not None:
            raise RuntimeError(f"{share} did not open; smbnetfs says:\n{tail(log)}"
                               f"{tail(os.path.join(folder, 'smbnetfs.out'))}\nsmbd's log:\n{tail(server_log)}")
        yield share
    finally:
        subprocess.run(["fusermount3", "-u", "-z", mountpoint], capture_output=True)
        stop(client)


# ------------------------------------------------------------ the runs ----

def make_tree(root, files):
    """Files last written long ago, so that a copy stamped with its own time shows."""
    for relative, content in files.items():
        path = os.path.join(root, relative)
        os.makedirs(path if content is None else os.path.dirname(path), exist_ok=True)
        if isinstance(content, Link):
            os.symlink(content, path)
        elif content is not None:
            with open(path, "wb") as out:
                out.write(content)
            os.utime(path, ns=(LONG_AGO, LONG_AGO))


def published(folder):
    """Every file (its bytes) and empty folder (None) below FOLDER."""
    found = {}
    for top, folders, files in os.walk(folder):
        relative = os.path.relpath(top, folder)
        for name in files:
            with open(os.path.join(top, name), "rb") as data:
                found[os.path.normpath(os.path.join(relative, name))] = data.read()
        if not folders and not files and top != folder:
            found[relative + "/"] = None
    return found


def folded(tree):
    return {path.lower(): data for path, data in tree.items()}


def brief(tree):
    """One line per path: short contents whole, long ones by their start."""
    return [f"{path}: {data!r}" if data is None or len(data) < 80 else f"{path}: {data[:40]!r}... ({len(data)} bytes)"
            for path, data in sorted(tree.items())]


def shown(outcome):
    status, out, err, tree = outcome
    return ([f"exit status {status}", "-- stdout"] + out.splitlines() + ["-- stderr"] + err.splitlines()
            + ["-- published"] + brief(tree))


def difference(expected, got):
    return "\n".join(list(difflib.unified_diff(shown(expected), shown(got), "expected", "got", lineterm=""))[:60])


def as_dry_run(outcome, tree):
    """What a dry run before OUTCOME's run prints, TREE being what it left."""
    status, out, err, _ = outcome
    out = re.sub(r"^(\d+ caption files?) copied\.$", r"\1 would be copied.", out, flags=re.M)
    return status, out + "\nThis was a dry run: nothing was written.\n", err, tree


class Rig:
    """Runs of the program, with the share on either side."""

    def __init__(self, program, local, share, served, checks):
        self.program, self.local, self.share, self.served, self.checks = program, local, share, served, checks

    def folder(self, on_share, name):
        path = os.path.join(self.share if on_share else self.local, name)
        os.makedirs(self.on_server(path))
        return path

    def on_server(self, path):
        """PATH as the server holds it, where it lies on the share."""
        return self.served + path[len(self.share):] if path.startswith(self.share + os.sep) else path

    def tree(self, dest):
        return published(self.on_server(dest))

    def times_not_kept(self, source, dest, outcome):
        """The copies whose last-write time is not their source's, to the
        second (the client sets no finer): the later source where two met."""
        copied = {target: caption for caption, target in re.findall(r"^copy SRC/(.*) -> DEST/(.*)$", outcome[1], re.M)}
        return [target for target, caption in copied.items()
                if int(os.stat(self.on_server(os.path.join(source, caption))).st_mtime)
                != int(os.stat(self.on_server(os.path.join(dest, target))).st_mtime)]

    def run(self, label, source, dest, *options):
        done = subprocess.run([self.program, "-v", *options, source, dest], capture_output=True, text=True,
                              timeout=300)

        def plain(text):
            # How many workers fit the limits is said, and may differ.
            text = "".join(line for line in text.splitlines(True) if " workers instead of " not in line)
            return text.replace(dest, "DEST").replace(source, "SRC")
        if self.on_server(source) != source or self.on_server(dest) != dest:
            left = [os.path.join(top, name) for top, _, names in os.walk(self.served)
                    for name in fnmatch.filter(names, ".cuecarry-*.tmp")]
            self.checks.check(f"{label}: no temporary file left on the share", not left, "\n".join(left))
        return done.returncode, plain(done.stdout), plain(done.stderr), self.tree(dest)

    def same(self, name, expected, got):
        return self.checks.check(name, expected == got, difference(expected, got))


def publish_plain(rig):
    """Both ways, 1 and 8 workers, a run and a re-run after a change: as locally."""
    def sequence(name, source_on_share, dest_on_share, jobs):
        source = os.path.join(rig.folder(source_on_share, name), "VOD")
        make_tree(rig.on_server(source), PLAIN)
        dest = rig.folder(dest_on_share, name + "-out")
        first = rig.run(f"{name}, first run", source, dest, "-j", str(jobs))
        make_tree(rig.on_server(source), dict([CHANGED]))
        again = rig.run(f"{name}, re-run", source, dest, "-j", str(jobs))
        # Onto the share this client keeps no time: it sets one by path, and
        # the server's close of the written handle, sent after close()
        # returned, stamps its own.
        if source_on_share:
            stale = rig.times_not_kept(source, dest, again)
            rig.checks.check(f"{name}: every copy has its source's last-write time", not stale, "\n".join(stale))
        return first, again, source, dest

    reference = sequence("local", False, False, 1)
    for direction, source_on_share in (("to", False), ("from", True)):
        for jobs in (1, 8):
            first, again, source, dest = sequence(f"{direction}-share-j{jobs}", source_on_share,
                                                  not source_on_share, jobs)
            rig.same(f"publish {direction} the share -j {jobs}: as between local folders", reference[0], first)
            rig.same(f"publish {direction} the share -j {jobs}, re-run into the filled destination after a "
                     "change: as between local folders", reference[1], again)
            rig.checks.check(f"publish {direction} the share -j {jobs}, re-run: only this run's replacement told",
                             again[2] == first[2] and first[2].count("replaces the copy") == 1, again[2])
            if direction == "to" and jobs == 1:
                filled = rig.run("dry run into the filled share", source, dest, "-n")
                empty = rig.run("dry run into an empty share folder", source, rig.folder(True, "dry-plain"), "-n")
                rig.same("dry run into the filled share: lists as the re-run, writes nothing",
                         as_dry_run(again, again[3]), filled)
                rig.same("dry run into an empty share folder: lists as the re-run, writes nothing",
                         as_dry_run(again, {}), empty)


def case_collisions(rig):
    """Captions and content folders that differ only in case: one target each."""
    source = os.path.join(rig.folder(False, "case"), "VOD")
    make_tree(source, CASE)
    dests = {jobs: rig.folder(True, f"case-j{jobs}") for jobs in (1, 2, 8, 64)}
    runs = {jobs: rig.run(f"case-only collisions -j {jobs}", source, dest, "-j", str(jobs))
            for jobs, dest in dests.items()}
    status, out, err, tree = runs[1]
    captions = sum(1 for path in CASE if path.endswith(".vtt"))
    told = "".join(f"cuecarry: SRC/{later} -> DEST/{target}: replaces the copy of SRC/{earlier} made earlier in "
                   "this run\n" for later, target, earlier in CASE_REPLACED)
    rig.checks.check("case-only collisions -j 1: exit status 0", status == 0, err)
    rig.checks.check("case-only collisions -j 1: one file per target, the later caption in walk order",
                     folded(tree) == CASE_PUBLISHED,
                     "\n".join(difflib.unified_diff(brief(CASE_PUBLISHED), brief(folded(tree)), lineterm="")))
    rig.checks.check("case-only collisions -j 1: each replacement told, with the earlier caption", err == told, err)
    rig.checks.check("case-only collisions -j 1: copies and replacements counted",
                     f"{captions} caption files copied." in out.splitlines()
                     and f"{len(CASE_REPLACED)} caption files replaced a copy made earlier in this run."
                     in out.splitlines(), "\n".join(out.splitlines()[-4:]))
    for jobs in (2, 8, 64):
        rig.same(f"case-only collisions -j {jobs}: as with -j 1", runs[1], runs[jobs])
    again = rig.run("case-only collisions, re-run", source, dests[1], "-j", "1")
    rig.same("case-only collisions, re-run into the filled destination: as the first run", runs[1], again)
    dry = rig.run("case-only collisions, dry run", source, rig.folder(True, "case-dry"), "-n")
    rig.same("case-only collisions, dry run: lists as the run, writes nothing", as_dry_run(runs[1], {}), dry)


def linked_into_destination(rig):
    """A content folder of the source is a link to a folder the run writes."""
    runs = {}
    for jobs in (1, 2, 8, 64):
        dest = rig.folder(True, f"linked-j{jobs}")
        os.makedirs(rig.on_server(os.path.join(dest, LINKED_FOLDER)))
        source = os.path.join(rig.folder(False, f"linked-j{jobs}"), "VOD")
        make_tree(source, {**LINKED, **{name: Link(os.path.join(dest, to)) for name, to in LINKS.items()}})
        runs[jobs] = rig.run(f"content folder linked into the destination -j {jobs}", source, dest,
                             "-j", str(jobs))
    rig.checks.check("content folder linked into the destination -j 1: the walk lists what the run wrote",
                     all(runs[1][3].get(path) == LINKED["Lab/demo.vtt"] for path in LINKS_PUBLISHED),
                     "\n".join(shown(runs[1])))
    for jobs in (2, 8, 64):
        rig.same(f"content folder linked into the destination -j {jobs}: as with -j 1", runs[1], runs[jobs])


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    missing = [tool for tool in TOOLS if shutil.which(tool, path=SYSTEM_PATH) is None]
    if not os.access("/dev/fuse", os.R_OK | os.W_OK):
        missing.append("/dev/fuse (not open to this user)")
    if missing:
        print(f"{'FAIL' if os.environ.get('CI') == 'true' else 'SKIPPED'}: missing {', '.join(missing)}")
        return 1 if os.environ.get("CI") == "true" else 77
    # A mount left by a run that was killed outright would stop the clean-up.
    subprocess.run(["fusermount3", "-u", "-z", os.path.join(work, "client", "mnt")], capture_output=True)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "local"))
    checks = Checks()
    started = time.monotonic()
    try:
        with samba(os.path.join(work, "server")) as port, \
                smbnetfs(os.path.join(work, "client"), port, os.path.join(work, "server", "log", "smbd.log")) as share:
            print(f"share: {share}", flush=True)
            rig = Rig(program, os.path.join(work, "local"), share, os.path.join(work, "server", "share"), checks)
            for scenario in (publish_plain, case_collisions, linked_into_destination):
                scenario(rig)
    except (RuntimeError, OSError, subprocess.SubprocessError) as failure:
        checks.check("the share suite ran to its end", False, str(failure))
    print(f"share suite: {time.monotonic() - started:.1f} s")
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())

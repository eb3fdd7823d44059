#!/usr/bin/python3
"""Same source trees, two builds: the destination trees must be equal.

    differential.py --linux build/app/cuecarry \\
                    --driver build-windows/tests/windows/copy_driver.exe \\
                    --wine /usr/bin/wine --work DIR [--keep] [--case NAME ...]

Builds each source tree of the table below under DIR, copies it with the
Linux build (the program `cuecarry`, through its line protocol) and with the
Windows build's engine under Wine (copy_driver.exe, with the tree's Z:\\ path),
each into its own destination, and compares the two destination trees byte
for byte: every name (as bytes on disk), the folder structure, every file's
content, the count of caption files that could not be copied, the count
of folders that could not be read, whether the layout was recognised, the
count of content folders whose folder could not be made and the count of
copies that replaced one the run made
(and the Linux build's exit status must say the same). Nothing may appear beside the
destinations.

Where the platforms really differ, the case states what each one does
(`windows_only`, `linux_only`: paths that only one copy holds, and why;
`counts`: each platform's counts, where they differ);
anything else that differs is a fault in the stand-in or in the engine.

Where two caption files meet at one destination, the one listed later stays,
so the result depends on the listing order. Those cases say so
(`order_dependent`); when they differ, the report gives each platform's
listing order of the competing folders, which is where such a difference
comes from. They fail the test all the same: both platforms list in NTFS
order (upper-cased UTF-16 names), so the same tree has the same winner.

Runs as an ordinary user: root writes read-only files under Wine, and the
read-only case would then differ for the wrong reason.

Exit status 0 when every case agrees, 1 when any differs, 2 on a broken set-up.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

ROOT_NAMES = ("VOD", "Zelvora")

# Each case: a source root (its last component picks the layout), the files
# below it (path relative to the root -> bytes), extra empty folders, what the
# destination holds before the copy (path -> bytes, None for a folder; paths
# ending in "!ro" are made read-only), links in the source to a place in each
# build's own destination (source path -> path below the destination, so that
# each build gets a source tree of its own), and what differs by platform.
CASES = [
    {
        "name": "flat-worked-example",
        "root": "media/VOD",
        "files": {
            "Lesson01/intro.vtt": b"WEBVTT\n\n1\n00:00.000 --> 00:01.000\nintro\n",
            "Lesson01/intro.en.vtt": b"WEBVTT\n\nen\n",
            "Lesson01/slides.pdf": b"%PDF-1.4\n",
            "Lesson01/extra/q.vtt": b"too deep\n",
            "Lab/demo.VTT": b"WEBVTT\n\ndemo\n",
            "Lab/demo.mp4": b"\x00\x00\x00\x18ftypmp42",
            "notes.vtt": b"not in a content folder\n",
        },
        "dirs": ["Empty", "Unit/sub"],
    },
    {
        "name": "nested-worked-example",
        "root": "media/Zelvora",
        "files": {
            "Chemistry/Part1/atoms.vtt": b"WEBVTT\n\nPart1 atoms\n",
            "Chemistry/Part2/bonds.vtt": b"WEBVTT\n\nbonds\n",
            "Chemistry/Part2/atoms.vtt": b"WEBVTT\n\nPart2 atoms, the one listed later\n",
            "Chemistry/overview.vtt": b"not in a segment folder\n",
            "Chemistry/Part2/deeper/no.vtt": b"too deep\n",
            "Unit/Week1/welcome.vtt": b"WEBVTT\n\nwelcome\n",
            "Unit/Week1/welcome.de.vtt": b"WEBVTT\n\nwillkommen\n",
            "Unit/Week2/extra/bonus.vtt": b"too deep\n",
            "Unit/Week2/recap.vtt": b"WEBVTT\n\nrecap\n",
            "top.vtt": b"not in a content folder\n",
        },
        "dirs": ["Empty", "Unit/Week3"],
        "order_dependent": ["Chemistry"],
    },
    {
        "name": "layout-name-letter-case",
        "root": "a/vod",
        "files": {"Unit/cue.vtt": b"WEBVTT\n", "Lab/cue.Vtt": b"WEBVTT\nlab\n"},
    },
    {
        "name": "nested-layout-name-letter-case",
        "root": "a/zelVORA",
        "files": {"Course/Seg/cue.vtt": b"WEBVTT\n"},
    },
    {
        "name": "no-layout",
        "root": "a/Videos",
        "files": {"Unit/cue.vtt": b"WEBVTT\n"},
    },
    {
        # Lesson01 and Lessons01 share the short name Les_01.
        "name": "short-name-collision",
        "root": "VOD",
        "files": {
            "Lesson01/intro.vtt": b"WEBVTT\n\nfrom Lesson01\n",
            "Lessons01/intro.vtt": b"WEBVTT\n\nfrom Lessons01\n",
            "Lessons01/intro.de.vtt": b"WEBVTT\n\nde\n",
            "Lesson01/only01.vtt": b"WEBVTT\n\nonly in Lesson01\n",
            "Lesson-01/dash.vtt": b"WEBVTT\n\nLes_01 as well\n",
        },
        "order_dependent": [""],
    },
    {
        "name": "short-name-collision-same-content",
        "root": "VOD",
        "files": {
            "Lesson01/intro.vtt": b"WEBVTT\n\nsame\n",
            "Lessons01/intro.vtt": b"WEBVTT\n\nsame\n",
        },
    },
    {
        # Lesson01 makes Les_01 and LESSON01X01 makes LES_01. Windows file
        # systems ignore letter case, so under Wine LES_01 is the existing
        # Les_01 and both content folders meet there; Linux keeps two folders.
        "name": "short-names-differing-in-letter-case",
        "root": "VOD",
        "files": {
            "Lesson01/intro.vtt": b"WEBVTT\n\nsame\n",
            "LESSON01X01/intro.vtt": b"WEBVTT\n\nsame\n",
            "LESSON01X01/upper.vtt": b"WEBVTT\n\nupper\n",
        },
        "counts": {"linux": (0, 0, 1, 0, 0), "windows": (0, 0, 1, 0, 1)},
        "linux_only": [
            "LES_01", "LES_01/intro", "LES_01/intro/video", "LES_01/intro/video/vtt", "LES_01/intro/video/vtt/intro.vtt",
            "LES_01/upper", "LES_01/upper/video", "LES_01/upper/video/vtt", "LES_01/upper/video/vtt/upper.vtt",
        ],
        "windows_only": [
            "Les_01/upper", "Les_01/upper/video", "Les_01/upper/video/vtt", "Les_01/upper/video/vtt/upper.vtt",
        ],
    },
    {
        # A file where a content folder's folder belongs: that folder and its
        # captions are counted, the next content folder is copied.
        "name": "content-folder-not-made",
        "root": "VOD",
        "files": {"Lesson01/intro.vtt": b"WEBVTT\n\nintro\n", "Unit/cue.vtt": b"WEBVTT\n\ncue\n"},
        "before": {"Les_01": b"a file in the way"},
    },
    {
        "name": "earlier-dot-copies",
        "root": "VOD",
        "files": {"Unit/.vtt": b"WEBVTT\n\nnew\n", "Unit/.x.vtt": b"WEBVTT\n\nnew x\n"},
        "before": {"Unit_Unit/video/vtt/.vtt": b"old", "Unit_Unit/.x/video/vtt/.x.vtt": b"old x"},
    },
    {
        "name": "segment-overwrites",
        "root": "Zelvora",
        "files": {
            "Course/Seg1/a.vtt": b"WEBVTT\n\nSeg1\n",
            "Course/Seg2/a.vtt": b"WEBVTT\n\nSeg2\n",
            "Course/seg3/a.vtt": b"WEBVTT\n\nseg3\n",
            "Course/Seg10/a.vtt": b"WEBVTT\n\nSeg10\n",
            "Course/_first/a.vtt": b"WEBVTT\n\n_first\n",
            "Course/Seg1/b.vtt": b"WEBVTT\n\nb\n",
        },
        "order_dependent": ["Course"],
    },
    {
        "name": "odd-names",
        "root": "VOD",
        "files": {
            "My Course.v2/a b..c.vtt": b"WEBVTT\n\nspaces and dots\n",
            "My Course.v2/.vtt": b"WEBVTT\n\nempty base name\n",
            "My Course.v2/trailing.vtt.vtt": b"WEBVTT\n\ndouble extension\n",
            "My Course.v2/UPPER.VtT": b"WEBVTT\n\nmixed case\n",
            "My Course.v2/a.vtt.bak": b"not a caption file\n",
            "My Course.v2/x.vtt/inside.vtt": b"below a folder named like a caption\n",
            "Gr\u00fc\u00dfe \U0001F3AC/\u65e5\u672c\u8a9e \U0001F600.vtt".encode(): b"WEBVTT\n\nbeyond the BMP\n",
            "Gr\u00fc\u00dfe \U0001F3AC/\u00dcn\u00efc\u00f6d\u00e9.VTT".encode(): b"WEBVTT\n\nLatin\n",
            "ab\U0001F600cdef/k.vtt".encode(): b"WEBVTT\n\npair in the head\n",
            "abcde\U0001F600g/k.vtt".encode(): b"WEBVTT\n\npair in the tail\n",
            "\u0416\u0443\u0440\u043d\u0430\u043b/\u0437\u0430\u043f\u0438\u0441\u044c.vtt".encode(): b"WEBVTT\n\nCyrillic\n",
            "a.b.c/'q' & (p) [b] {c} ;,=+!@#$%^~`.vtt": b"WEBVTT\n\npunctuation\n",
            "...dots/x.vtt": b"WEBVTT\n\nfolder of dots\n",
            "Unit/cue.vtt": b"WEBVTT\n\n" + bytes(range(256)) + b"\r\n\x00end",
        },
        "dirs": ["Unit/empty.vtt"],
    },
    {
        # Long names, and paths far beyond 260 characters.
        "name": "long-names",
        "root": "VOD",
        "files": {
            ("L" * 120 + "01") + "/" + ("n" * 200) + ".vtt": b"WEBVTT\n\nlong\n",
            ("L" * 120 + "01") + "/" + ("\u00e9" * 120) + ".vtt": b"WEBVTT\n\n240 bytes of name\n",
        },
    },
    {
        "name": "earlier-copies",
        "root": "VOD",
        "files": {
            "Lab/demo.vtt": b"WEBVTT\n\nnew\n",
            "Lab/locked.vtt": b"WEBVTT\n\nnew, yet the old copy is read-only\n",
            "Lab/fresh.vtt": b"WEBVTT\n\nfresh\n",
            "Lesson01/intro.vtt": b"WEBVTT\n\nintro\n",
        },
        "before": {
            "Lab_Lab/demo/video/vtt/demo.vtt": b"stale",
            "Lab_Lab/locked/video/vtt/locked.vtt!ro": b"published, read-only",
            "Lab_Lab/other/video/vtt/other.vtt": b"kept: nothing replaces it",
            # A plain file where a caption folder belongs: that copy fails.
            "Les_01/intro": b"a file in the way",
        },
    },
    {
        # Names that Windows never lists, yet Wine passes on from the Unix
        # file system, as file servers may: "\\" and ":" inside a name. The
        # Linux build carries them as the ordinary names they are there; the
        # Windows build never joins them into a path ("..\\VOD\\Lesson01"
        # beside a real Lesson01 would publish outside the destination) and
        # counts them: one folder not read, two captions not copied.
        "name": "names-that-are-no-single-name",
        "root": "media/VOD",
        "files": {
            "Lesson01/intro.vtt": b"WEBVTT\n\nthe real one\n",
            b"..\\VOD\\Lesson01/intro.vtt": b"WEBVTT\n\nplanted beside it\n",
            "Unit/a:b.vtt": b"WEBVTT\n\ncolon\n",
            b"Unit/back\\slash.vtt": b"WEBVTT\n\nbackslash\n",
        },
        "counts": {"linux": (0, 0, 1, 0, 0), "windows": (2, 1, 1, 0, 0)},
        "linux_only": [
            b"..\\_01", b"..\\_01/intro", b"..\\_01/intro/video", b"..\\_01/intro/video/vtt",
            b"..\\_01/intro/video/vtt/intro.vtt",
            "Unit_Unit/a:b", "Unit_Unit/a:b/video", "Unit_Unit/a:b/video/vtt", "Unit_Unit/a:b/video/vtt/a:b.vtt",
            b"Unit_Unit/back\\slash", b"Unit_Unit/back\\slash/video", b"Unit_Unit/back\\slash/video/vtt",
            b"Unit_Unit/back\\slash/video/vtt/back\\slash.vtt",
        ],
    },
    {
        # "*.vtt" matches c.vttx through its short name "C~....VTT" under
        # Wine, which makes up short names for names that are not 8.3, as a
        # Windows volume with 8.3 names does; the stand-in has no short names.
        "name": "longer-extension",
        "root": "VOD",
        "files": {
            "Unit/a.vtt": b"WEBVTT\n",
            "Unit/c.vttx": b"not WebVTT, yet matched on Windows\n",
            "Unit/d.vtt.bak": b"matched nowhere\n",
        },
        "windows_only": [
            "Unit_Unit/c", "Unit_Unit/c/video", "Unit_Unit/c/video/vtt", "Unit_Unit/c/video/vtt/c.vttx",
        ],
    },
    {
        # A content folder that is a link to the destination, and a segment
        # folder that is a link into it: the walk lists what the run writes
        # there. Each caption's base folder "cNNN.vtt" is named like a
        # caption, so what such a listing finds depends on what the workers
        # have made by then; both builds list it once the work handed out
        # is done, as one caption at a time would.
        "name": "links-into-the-destination",
        "root": "Zelvora",
        "files": dict(("Alpha/S/c%d.vtt.vtt" % n, b"WEBVTT\n") for n in range(100, 160)),
        "dirs": ["Beta"],
        "before": {"Alp_ha": None},
        "links": {"Linked": "", "Beta/Linked": "Alp_ha"},
    },
]


def fail_setup(message):
    sys.stderr.write("differential.py: %s\n" % message)
    sys.exit(2)


def as_bytes(path):
    return path if isinstance(path, bytes) else path.encode()


def write_tree(base, files, dirs=()):
    base = os.fsencode(base)
    for relative in dirs:
        os.makedirs(os.path.join(base, as_bytes(relative)), exist_ok=True)
    for relative, content in files.items():
        read_only = as_bytes(relative).endswith(b"!ro")
        relative = as_bytes(relative)[:-3] if read_only else as_bytes(relative)
        path = os.path.join(base, relative)
        if content is None:
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)
        if read_only:
            os.chmod(path, 0o444)


def snapshot(base):
    """{relative path (bytes): None for a folder, the content for a file}."""
    base = os.fsencode(base)
    tree = {}
    for folder, subfolders, files in os.walk(base):
        for name in subfolders:
            tree[os.path.relpath(os.path.join(folder, name), base)] = None
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as data:
                tree[os.path.relpath(path, base)] = data.read()
    return tree


def show(path):
    return path.decode("utf-8", "backslashreplace")


def describe(content):
    if content is None:
        return "folder"
    head = content[:40]
    return "file, %d bytes: %r%s" % (len(content), head, "..." if len(content) > 40 else "")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_linux(program, source, destination):
    """(captions not copied, folders not read, layout recognised, folders not
    made, copies replacing one the run made), from the message; the exit
    status must agree with them."""
    protocol = "%s\n\n%s\n\n" % (source, destination)
    done = subprocess.run([program], input=protocol.encode(), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120)
    output = done.stdout.decode("utf-8", "replace")
    message = re.search(r"^Cuecarry: (.*)", output, re.M | re.S)
    if message is None or not message.group(1).startswith("Cuecarry complete"):
        fail_setup("the Linux build did not complete (status %d):\n%s%s" %
                   (done.returncode, output, done.stderr.decode("utf-8", "replace")))
    def count(pattern):
        counted = re.search(pattern, message.group(1))
        return int(counted.group(1)) if counted else 0
    counts = (count(r"(\d+) caption files? could not be copied"), count(r"(\d+) folders? could not be read"),
              0 if "Nothing was copied" in message.group(1) else 1, count(r"(\d+) folders? could not be made"),
              count(r"(\d+) caption files? replaced a copy made earlier in this run"))
    expected_status = 2 if counts[2] == 0 else 1 if counts[0] or counts[1] or counts[3] else 0
    if done.returncode != expected_status:
        fail_setup("the Linux build ended with status %d after %s; expected %d" %
                   (done.returncode, message.group(1).strip(), expected_status))
    return counts


def run_windows(wine, driver, *arguments):
    done = subprocess.run([wine, driver] + list(arguments), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=300)
    if done.returncode != 0:
        fail_setup("copy_driver.exe %s failed (status %d): %s%s" %
                   (" ".join(arguments), done.returncode, done.stdout.decode("utf-8", "replace"),
                    done.stderr.decode("utf-8", "replace")))
    return done.stdout.decode("utf-8")


def ntfs_order(names):
    """The stand-in's listing order: ordinal comparison of upper-cased UTF-16
    names (each code unit upper-cased on its own, as a one-unit mapping)."""
    def key(name):
        units = []
        encoded = name.encode("utf-16-le", "surrogatepass")
        for i in range(0, len(encoded), 2):
            unit = int.from_bytes(encoded[i:i + 2], "little")
            char = chr(unit)
            upper = char.upper() if 0xD800 > unit or unit > 0xDFFF else char
            units.append(ord(upper) if len(upper) == 1 and ord(upper) <= 0xFFFF else unit)
        return units
    return sorted(names, key=key)


def run_case(case, args):
    base = os.path.join(args.work, case["name"])
    sources = {}
    destinations = {}
    for side in ("linux", "windows"):
        # One source for both, unless links lead into each one's destination.
        sources[side] = os.path.join(base, "source-" + side if case.get("links") else "source", case["root"])
        destinations[side] = os.path.join(base, "to-" + side)
        os.makedirs(destinations[side])
        write_tree(destinations[side], case.get("before", {}))
        if not os.path.isdir(sources[side]):
            os.makedirs(sources[side])
            write_tree(sources[side], case["files"], case.get("dirs", ()))
        for link, into in case.get("links", {}).items():
            os.symlink(os.path.join(destinations[side], into), os.path.join(sources[side], link))
    source = sources["linux"]

    counts = {
        "linux": run_linux(args.linux, sources["linux"], destinations["linux"]),
        "windows": tuple(int(n) for n in run_windows(args.wine, args.driver, windows_path(sources["windows"]),
                                                     windows_path(destinations["windows"])).split()),
    }
    trees = {side: snapshot(destinations[side]) for side in destinations}

    expected_windows_only = {as_bytes(p) for p in case.get("windows_only", [])}
    expected_linux_only = {as_bytes(p) for p in case.get("linux_only", [])}
    problems = []
    beside = sorted(set(os.listdir(base)) - {"source", "source-linux", "source-windows", "to-linux", "to-windows"})
    if beside:
        problems.append("written beside the destinations: %s" % ", ".join(beside))
    stated_counts = case.get("counts")
    if stated_counts:
        for side in counts:
            if counts[side] != stated_counts[side]:
                problems.append("(not copied, not read, layout, not made, replaced) on %s: %s, stated %s" %
                                (side, counts[side], stated_counts[side]))
    elif counts["linux"] != counts["windows"]:
        problems.append("(not copied, not read, layout, not made, replaced): Linux %s, Windows %s" % (counts["linux"], counts["windows"]))
    for path in sorted(set(trees["linux"]) | set(trees["windows"])):
        on_linux, on_windows = path in trees["linux"], path in trees["windows"]
        if path in expected_windows_only:
            if on_linux or not on_windows:
                problems.append("%s: the Windows copy alone should hold it (Linux: %s, Windows: %s)" %
                                (show(path), "yes" if on_linux else "no", "yes" if on_windows else "no"))
        elif path in expected_linux_only:
            if on_windows or not on_linux:
                problems.append("%s: the Linux copy alone should hold it (Linux: %s, Windows: %s)" %
                                (show(path), "yes" if on_linux else "no", "yes" if on_windows else "no"))
        elif not on_windows:
            problems.append("%s: only in the Linux copy (%s)" % (show(path), describe(trees["linux"][path])))
        elif not on_linux:
            problems.append("%s: only in the Windows copy (%s)" % (show(path), describe(trees["windows"][path])))
        elif trees["linux"][path] != trees["windows"][path]:
            problems.append("%s: Linux %s; Windows %s" % (show(path), describe(trees["linux"][path]),
                                                          describe(trees["windows"][path])))

    orders = []
    if problems and case.get("order_dependent"):
        for folder in case["order_dependent"]:
            listed = os.path.join(source, folder) if folder else source
            names = [n for n in os.listdir(listed)]
            windows = [n for n in run_windows(args.wine, args.driver, "--list", windows_path(listed)).split("\n")
                       if n and n not in (".", "..")]
            orders.append("listing of %s: the stand-in's NTFS order %s; Wine's %s" %
                          (folder or case["root"], ntfs_order(names), windows))
    return counts, problems, orders


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--linux", required=True, help="the Linux build's cuecarry")
    parser.add_argument("--driver", required=True, help="the Windows build's copy_driver.exe")
    parser.add_argument("--wine", default="wine", help="the Wine loader")
    parser.add_argument("--work", required=True, help="folder for the trees (emptied first)")
    parser.add_argument("--case", action="append", help="run only this case (repeatable)")
    args = parser.parse_args()

    if os.geteuid() == 0:
        fail_setup("running as root: Wine would write read-only files; run as an ordinary user")
    for program in (args.linux, args.driver):
        if not os.path.isfile(program):
            fail_setup("%s not found" % program)
    if shutil.which(args.wine) is None:
        fail_setup("%s not found" % args.wine)

    if os.path.isdir(args.work):
        for folder, subfolders, files in os.walk(args.work):
            os.chmod(folder, 0o755)
        shutil.rmtree(args.work)
    os.makedirs(args.work)

    selected = [c for c in CASES if not args.case or c["name"] in args.case]
    if not selected:
        fail_setup("no such case")
    failures = 0
    for case in selected:
        counts, problems, orders = run_case(case, args)
        if not problems:
            stated = len(case.get("windows_only", [])) + len(case.get("linux_only", []))
            note = ", platform differences as stated: %d path(s)" % stated if stated else ""
            print("same  %-36s (not copied, not read, layout, not made, replaced): %s%s" % (case["name"], counts["linux"], note))
            continue
        failures += 1
        kind = "DIFFERS (order-dependent)" if case.get("order_dependent") else "DIFFERS"
        print("%s  %s" % (kind, case["name"]))
        for problem in problems:
            print("      " + problem)
        for order in orders:
            print("      " + order)
    print("%d of %d cases agree; trees kept in %s" % (len(selected) - failures, len(selected), args.work))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

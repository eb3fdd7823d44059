#!/usr/bin/env python3
"""The Linux program's full-screen folder browser in a real terminal.

    browser_terminal_test.py CUECARRY WORK_DIR

Runs cuecarry in tmux (a server of its own, on a socket in WORK_DIR) and
drives it with keys as a person would, reading the screen with
capture-pane. Every wait polls the screen until the text it expects is
there, with a generous time limit; the only deliberate pause is the one
second after which type-ahead starts a new search. After each run the
pane must have its terminal back: the same `stty -g` as before the
program started, the normal screen, the cursor shown, the keypad mode
off, and a title that no folder name changed.

One line per check, then "N passed, N failed"; the exit status is 1 when
a check failed.
"""

import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402

# What a run that copied everything ends with: the count, then the message.
COUNT_AND_MESSAGE = r"\d+ caption files? copied\.\nCuecarry: Cuecarry complete"

WAIT = 30  # seconds a screen may take on a loaded machine
# What cuecarry-gtk, run here without a display, says first; the screens
# are judged without it (main() sets it for that program).
FALLBACK_NOTE = ""
WIDTH, HEIGHT = 100, 30
ITSELF = "./  (this folder)"  # an opened folder's own row


class Terminal:
    """A tmux server of the test's own, one window per run."""

    def __init__(self, work):
        self.socket = os.path.join(work, "tmux.sock")
        config = os.path.join(work, "tmux.conf")
        with open(config, "w") as conf:
            # screen-256color is in ncurses-base, on every Debian machine.
            conf.write("set -g default-terminal screen-256color\n"
                       f"set -g default-size {WIDTH}x{HEIGHT}\n"
                       "set -g status off\n")
        env = {k: v for k, v in os.environ.items() if not k.startswith("TMUX")}
        env.update(LANG="C.UTF-8", HOME=work, SHELL="/bin/sh")
        env.pop("LC_ALL", None)
        self.env = env
        self.tmux("-f", config, "new-session", "-d", "-s", "e2e", "-n", "idle", "sleep 100000")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket, *args], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def close(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], env=self.env, capture_output=True)

    def start(self, name, command):
        self.tmux("new-window", "-d", "-t", "e2e", "-n", name, command)
        return f"e2e:{name}"

    def screen(self, target):
        return without_fallback_note(self.tmux("capture-pane", "-p", "-t", target))

    def fmt(self, target, template):
        return self.tmux("display-message", "-p", "-t", target, template).strip()

    def keys(self, target, *keys):
        self.tmux("send-keys", "-t", target, *keys)

    def text(self, target, text):
        self.tmux("send-keys", "-t", target, "-l", text)


def without_fallback_note(screen):
    """The screen less the rows at its top that hold the fallback note,
    however the terminal's width wrapped it."""
    rows = screen.split("\n")
    shown = ""
    for count, row in enumerate(rows):
        shown += row
        if shown == FALLBACK_NOTE:
            return "\n".join(rows[count + 1:])
        if not FALLBACK_NOTE.startswith(shown):
            break
    return screen


def wait_for(term, target, predicate, what):
    """The screen once `predicate` holds for it; raises after WAIT seconds."""
    deadline = time.monotonic() + WAIT
    while True:
        screen = term.screen(target)
        if predicate(screen):
            return screen
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}; the screen:\n{screen}")
        time.sleep(0.05)


def wait_text(term, target, text):
    return wait_for(term, target, lambda screen: text in screen, repr(text))


def highlighted(screen):
    return [line[2:].rstrip() for line in screen.splitlines() if line.startswith("> ")]


def wait_highlight(term, target, name):
    return wait_for(term, target, lambda screen: highlighted(screen) == [name], f"highlight on {name}")


def check_wait(checks, name, wait, *args):
    """A check that passes when `wait` sees what it waits for in time."""
    try:
        wait(*args)
        return checks.check(name, True)
    except AssertionError as failure:
        return checks.check(name, False, str(failure))


class Run:
    """cuecarry in a fresh window, wrapped so that the pane records the
    terminal modes before and after it, and its exit status. A
    non-interactive sh, so that no job-control shell puts the modes back
    for the program."""

    def __init__(self, term, program, work, name, cwd, held=False, arguments=(), tee=False):
        """A held run starts the program only once go() is called, so that
        keys can be typed before its screen appears. With `tee`, standard
        output goes through `| tee` into the file "log"."""
        self.term, self.files = term, os.path.join(work, name)
        os.makedirs(self.files)
        f, q = self.files, shlex.quote
        command = " ".join(q(a) for a in (program,) + tuple(arguments))
        script = os.path.join(f, "wrapper.sh")
        hold = f"while [ ! -e {q(f)}/go ]; do sleep 0.05; done\n" if held else ""
        run = (f"sh -c 'echo $$ > \"$1\"/pid; shift; exec \"$@\"' sh {q(f)} {command}; "
               f"echo \"exit=$?\" > {q(f)}/status")
        with open(script, "w") as wrapper:
            wrapper.write(f"stty -g > {q(f)}/before\n"
                          f"cd {q(cwd)}\n" + hold +
                          (f"{{ {run}; }} | tee {q(f)}/log\n" if tee else run + "\n") +
                          f"stty -g > {q(f)}/after\n"
                          "echo 'wrapper done'\n"
                          # A pane that ends scrolls its screen for tmux's
                          # notice, and its modes are no longer the program's.
                          "exec sleep 100000\n")
        self.target = term.start(name, f"sh {q(script)}")

    def go(self):
        open(os.path.join(self.files, "go"), "w").close()

    def read(self, name):
        with open(os.path.join(self.files, name)) as file:
            return file.read().strip()

    def ended(self):
        wait_for(self.term, self.target, lambda screen: "wrapper done" in screen, "the program to end")
        return self.read("status")

    def check_terminal_back(self, checks, name):
        t, fmt = self.target, self.term.fmt
        checks.check(f"{name}: stty modes as before", self.read("before") == self.read("after"),
                     f"before {self.read('before')}\nafter  {self.read('after')}")
        checks.check(f"{name}: normal screen back", fmt(t, "#{alternate_on}") == "0")
        checks.check(f"{name}: cursor shown", fmt(t, "#{cursor_flag}") == "1")
        checks.check(f"{name}: keypad mode off", fmt(t, "#{keypad_cursor_flag}") == "0")
        checks.check(f"{name}: title untouched", "pwned" not in fmt(t, "#{pane_title}"))


def make_tree(work):
    shares = os.path.join(work, "shares")
    vod = os.path.join(shares, "media", "VOD")
    os.makedirs(os.path.join(vod, "Lesson01"))
    os.makedirs(os.path.join(vod, "Lab"))
    with open(os.path.join(vod, "Lesson01", "intro.vtt"), "w") as f:
        f.write("WEBVTT\n")
    for i in range(1, 301):
        os.makedirs(os.path.join(shares, "www", f"site{i:03}"))
    # Names that must not drive the terminal or break the screen.
    hostile = [b"x\x1b]0;pwned\x07y", "rtl\u202egpj".encode(), b"bad\xff\xfeutf8", b"L" * 255]
    for name in hostile:
        os.makedirs(os.path.join(os.fsencode(shares), b"media", name))
    # A folder whose path is too long to hand back (260 UTF-16 units or more).
    deep = os.path.join(shares, "deep")
    while len(deep) < 300:
        deep = os.path.join(deep, "d" * 40)
    os.makedirs(deep)
    return shares, deep


def full_run(term, program, work, shares, checks):
    """Two levels in and out, a typed path with Tab, type-ahead and PageDown
    among 300 folders, then a copy into the folder found; with --pause, as
    the desktop entry starts it."""
    run = Run(term, program, work, "full", shares, arguments=["--pause"])
    t = run.target
    wait_text(term, t, "Browse to the starting folder:")
    checks.check("opens with the working directory highlighted", highlighted(term.screen(t)) == ["shares/"])
    term.keys(t, "Right")
    check_wait(checks, "Right opens a folder on its own row", wait_highlight, term, t, ITSELF)
    term.keys(t, "Down")
    wait_highlight(term, t, "deep/")
    term.keys(t, "Down", "Right", "Down")
    screen = wait_highlight(term, t, "bad\ufffd\ufffdutf8/")
    checks.check("control characters shown as ?", "  x?]0;pwned?y/" in screen, screen)
    checks.check("bidirectional controls escaped", "  rtl<U+202E>gpj/" in screen, screen)
    long_rows = [line for line in screen.splitlines() if line.startswith("  LLLL")]
    checks.check("a long name is cut with an ellipsis, not wrapped",
                 len(long_rows) == 1 and long_rows[0].endswith("\u2026") and len(long_rows[0]) == WIDTH, screen)
    term.text(t, "v")
    wait_highlight(term, t, "VOD/")
    term.keys(t, "Right")
    screen = wait_highlight(term, t, ITSELF)
    checks.check("Right opens a level, the folder itself highlighted",
                 "/shares/media/VOD/" in screen and "  Lab/" in screen and "Selected: " + shares + "/media/VOD" in screen,
                 screen)
    term.keys(t, "Left")
    check_wait(checks, "Left goes up with the folder we came from highlighted", wait_highlight, term, t, "VOD/")
    term.keys(t, "Left")
    check_wait(checks, "... through two levels", wait_highlight, term, t, "media/")
    term.keys(t, "Right")
    wait_highlight(term, t, ITSELF)
    time.sleep(1.1)  # a new type-ahead search, not "vv"
    term.text(t, "v")
    wait_highlight(term, t, "VOD/")
    term.keys(t, "Enter")
    wait_text(term, t, "Select copy to folder:")

    term.text(t, "/")
    wait_text(term, t, "Go to: /")
    term.text(t, shares[1:] + "/ww")
    term.keys(t, "Tab")
    check_wait(checks, "Tab completes a folder name in the path prompt", wait_text, term, t, f"Go to: {shares}/www/")
    term.keys(t, "Enter")
    wait_highlight(term, t, "www/")
    term.keys(t, "Right", "Down")
    screen = wait_highlight(term, t, "site001/")
    checks.check("a long list shows where the highlight is", "2 of 301" in screen, screen)

    term.text(t, "site2")
    wait_highlight(term, t, "site200/")
    time.sleep(1.2)  # type-ahead starts a new search after a second
    term.text(t, "site217")
    check_wait(checks, "type-ahead finds a folder among 300", wait_highlight, term, t, "site217/")

    term.keys(t, "Home")
    wait_highlight(term, t, ITSELF)
    presses = 0
    while "site150/" not in term.screen(t) and presses < 20:
        before = highlighted(term.screen(t))
        term.keys(t, "NPage")
        wait_for(term, t, lambda s: highlighted(s) != before, "PageDown to move")
        presses += 1
    while highlighted(term.screen(t)) != ["site150/"] and presses < 60:
        before = highlighted(term.screen(t))
        term.keys(t, "Up" if before and before[0] > "site150/" else "Down")
        wait_for(term, t, lambda s: highlighted(s) != before, "the highlight to move")
        presses += 1
    checks.check("PageDown reaches a folder deep in the list", highlighted(term.screen(t)) == ["site150/"])
    term.keys(t, "Enter")
    wait_text(term, t, "Press Enter to close.")
    term.keys(t, "C-d")
    status = run.ended()
    screen = term.screen(t)
    checks.check("the program completed", "Cuecarry: Cuecarry complete" in screen and status == "exit=0", screen)
    checks.check("Ctrl-D at the closing message ends its line",
                 "Press Enter to close.\nwrapper done" in screen, screen)
    copied = os.path.join(shares, "www", "site150", "Les_01", "intro", "video", "vtt", "intro.vtt")
    checks.check("the captions went to the folder chosen", os.path.isfile(copied))
    run.check_terminal_back(checks, "full run")


def refused_then_cancelled(term, program, work, shares, deep, checks):
    """A folder the picker refuses: Enter does nothing and the screen says
    why; then Esc cancels the second picker and nothing is copied."""
    run = Run(term, program, work, "refused", shares)
    t = run.target
    wait_text(term, t, "Browse to the starting folder:")
    term.text(t, "/")
    term.text(t, shares[1:] + "/media/VOD")
    term.keys(t, "Enter")
    wait_highlight(term, t, "VOD/")
    term.keys(t, "Enter")
    wait_text(term, t, "Select copy to folder:")
    term.text(t, "/")
    term.text(t, deep[1:])
    term.keys(t, "Enter")
    screen = wait_text(term, t, "too long to be chosen")
    checks.check("a refused folder says why", "Enter does nothing here" in screen, screen)
    # Keys are read in order: once the prompt that "/" opens is on the
    # screen, Enter has been read, and it left the browser open.
    term.keys(t, "Enter")
    term.text(t, "/")
    check_wait(checks, "Enter on a refused folder does nothing", wait_text, term, t, "Go to: /")
    term.keys(t, "Escape")
    wait_for(term, t, lambda screen: "Go to:" not in screen, "the prompt to close")
    term.keys(t, "Escape")
    status = run.ended()
    screen = term.screen(t)
    checks.check("Esc on the second picker cancels the run, and the status says nothing was copied",
                 "Cuecarry: Cuecarry complete" in screen and status == "exit=2", screen)
    checks.check("without --pause the program does not wait", "Press Enter" not in screen, screen)
    checks.check("nothing copied after a cancel", not os.path.exists(os.path.join(deep, "Les_01")))
    run.check_terminal_back(checks, "Esc")


def raw_keys(term, program, work, shares, checks):
    """Keys typed before the screen appears, and keys in the forms that
    terminals send, `ESC [` and `ESC O` alike, as raw bytes; the key table;
    then Right and Enter choose the folder opened as the source, which the
    second picker shows."""
    media = os.path.join(shares, "media")
    run = Run(term, program, work, "raw", media, held=True)
    t = run.target
    # Before the program runs: the terminal echoes what it holds for it.
    for keys in ("\x1b[C", "v", "\x1b[C"):
        term.text(t, keys)
    wait_text(term, t, "^[[Cv^[[C")
    run.go()
    screen = wait_text(term, t, "Browse to the starting folder:")
    check_wait(checks, "keys typed before the screen appears are all read, in order",
               wait_highlight, term, t, ITSELF)
    checks.check("... Right, v, Right: VOD opened", "/shares/media/VOD/" in term.screen(t), term.screen(t))
    for keys, name in (("\x1b[B", "Lab/"), ("\x1bOB", "Lesson01/"), ("\x1b[1~", ITSELF), ("\x1b[4~", "Lesson01/"),
                       ("\x1b[H", ITSELF), ("\x1bOF", "Lesson01/"), ("\x1b[5~", ITSELF), ("\x1b[6~", "Lesson01/"),
                       ("\x1bOH", ITSELF), ("\x1b[D", "VOD/"), ("\x1bOC", ITSELF), ("\x1b[F", "Lesson01/"),
                       ("\x1b[7~", ITSELF)):
        term.text(t, keys)
        check_wait(checks, f"{keys[1:]!r} goes to {name}", wait_highlight, term, t, name)
    # F5 and Ctrl-Down, then End: neither Esc nor type-ahead.
    term.text(t, "\x1b[15~\x1b[1;5B\x1bOF")
    screen = wait_highlight(term, t, "Lesson01/")
    checks.check("sequences of other keys are dropped whole", "No folder" not in screen, screen)
    term.text(t, "?")
    screen = wait_text(term, t, "Any key closes this table.")
    checks.check("? shows the key table", "Esc        cancel the picker" in screen, screen)
    term.text(t, "L")
    screen = wait_for(term, t, lambda s: "Any key closes" not in s, "the key table to close")
    checks.check("any key closes the key table, and does nothing else", highlighted(screen) == ["Lesson01/"], screen)
    term.text(t, "\x1bOP")
    wait_text(term, t, "Any key closes this table.")
    term.text(t, "\x1b[11~")
    wait_for(term, t, lambda s: "Any key closes" not in s, "the key table to close")
    term.text(t, "/xyz\x1b[D\x1bOD\x1b[3~")
    check_wait(checks, "Left and Delete in the path prompt", wait_text, term, t, "Go to: /xz")
    term.text(t, "\x1b")
    wait_for(term, t, lambda s: "Go to:" not in s, "a lone Esc to close the prompt")
    term.text(t, "\x1b[D")
    wait_highlight(term, t, "VOD/")
    term.text(t, "\x1b[C\r")
    screen = wait_text(term, t, "Select copy to folder:")
    checks.check("the second picker shows the folder the first one chose",
                 f"Browse to the starting folder: {media}/VOD\nSelected: {media}\n" in screen, screen)
    term.text(t, "\r")  # into media, where the run started
    checks.check("the run with raw keys completed", run.ended() == "exit=0")
    copied = os.path.join(media, "Les_01", "intro", "video", "vtt", "intro.vtt")
    checks.check("Enter right after Right chose the folder opened: VOD's captions copied", os.path.isfile(copied))
    run.check_terminal_back(checks, "raw keys")


def resized_and_interrupted(term, program, work, shares, checks):
    """A resize redraws at the new size; shrunk and grown back, the list
    starts at its top again, the highlight in view; Ctrl-C cancels."""
    run = Run(term, program, work, "resize", os.path.join(shares, "www"))
    t = run.target
    wait_text(term, t, "Browse to the starting folder:")
    term.keys(t, "Right", *["Down"] * 8)
    wait_highlight(term, t, "site008/")
    term.tmux("resize-window", "-t", t, "-x", "50", "-y", "12")
    # The selection's row is the third from the bottom.
    screen = wait_for(term, t, lambda s: len(s.splitlines()) > 9 and s.splitlines()[9].startswith("Selected:"),
                      "the screen redrawn at 50x12")
    checks.check("a resize redraws at the new size, no row wrapped, Enter and Esc in view",
                 all(len(line) <= 50 for line in screen.splitlines())
                 and screen.splitlines()[11].startswith("Enter: choose  Esc: cancel"), screen)
    checks.check("... the list scrolled to keep the highlight in its six rows",
                 ITSELF not in screen and highlighted(screen) == ["site008/"], screen)
    term.tmux("resize-window", "-t", t, "-x", str(WIDTH), "-y", str(HEIGHT))
    # The level's heading ends at the right edge with the highlight's place.
    screen = wait_for(term, t, lambda s: len(s.splitlines()) > 2 and len(s.splitlines()[2]) == WIDTH,
                      f"the screen redrawn at {WIDTH}x{HEIGHT}")
    checks.check("grown back, the list starts at ./ again with the highlight in view",
                 screen.splitlines()[3] == "  " + ITSELF and highlighted(screen) == ["site008/"], screen)
    term.keys(t, "C-c")
    checks.check("Ctrl-C cancels", run.ended() == "exit=2")
    run.check_terminal_back(checks, "Ctrl-C")


def piped(term, program, work, shares, checks):
    """`cuecarry | tee log` at a terminal: the browser on the terminal, the
    message down the pipe, each shown once; then SIGTERM while a browser
    drawn that way is open gives the terminal back too."""
    destination = os.path.join(work, "piped-out")
    os.makedirs(destination)
    run = Run(term, program, work, "tee", os.path.join(shares, "media"), tee=True)
    t = run.target
    check_wait(checks, "with standard output a pipe, the full-screen browser appears",
               wait_highlight, term, t, "media/")
    term.keys(t, "Right")
    wait_highlight(term, t, ITSELF)
    term.text(t, "v")
    wait_highlight(term, t, "VOD/")
    term.keys(t, "Enter")
    wait_text(term, t, "Select copy to folder:")
    term.text(t, "/" + destination[1:])
    term.keys(t, "Enter")
    wait_highlight(term, t, "piped-out/")
    term.keys(t, "Enter")
    status = run.ended()
    screen = term.screen(t)
    checks.check("the count and the message show once, and nothing typed shows at all",
                 status == "exit=0" and re.match(COUNT_AND_MESSAGE + r"\nwrapper done", screen) is not None, screen)
    checks.check("the log holds the count and the message and nothing of the browser",
                 re.fullmatch(COUNT_AND_MESSAGE, run.read("log")) is not None, run.read("log"))
    checks.check("the run through a pipe copied",
                 os.path.isfile(os.path.join(destination, "Les_01", "intro", "video", "vtt", "intro.vtt")))
    run.check_terminal_back(checks, "through tee")

    run = Run(term, program, work, "tee-sigterm", shares, tee=True)
    t = run.target
    wait_text(term, t, "Browse to the starting folder:")
    os.kill(int(run.read("pid")), signal.SIGTERM)
    checks.check("SIGTERM ends the program drawing beside the pipe", run.ended() == f"exit={128 + signal.SIGTERM}")
    checks.check("... and the log holds nothing", run.read("log") == "")
    run.check_terminal_back(checks, "SIGTERM through tee")


def key_table_pages(term, program, work, shares, checks):
    """At 40x12 the key table does not fit: it says which lines show and
    how to see more, pages with Space and the arrows, and q closes it
    without doing anything else."""
    run = Run(term, program, work, "pages", shares, held=True)
    t = run.target
    term.tmux("resize-window", "-t", t, "-x", "40", "-y", "12")
    run.go()
    wait_highlight(term, t, "shares/")
    term.text(t, "?")
    screen = wait_for(term, t, lambda s: re.search(r"Lines 1-8 of \d+$", s, re.M), "the key table's first page")
    checks.check("a key table taller than the screen says there is more",
                 screen.splitlines()[-1].startswith("Space: more  Esc: close") and "Home/End" not in screen
                 and all(len(line) <= 40 for line in screen.splitlines()), screen)
    term.text(t, "  ")
    screen = wait_text(term, t, "PgUp: back  Esc: close")
    end = re.search(r"Lines (\d+)-(\d+) of (\d+)$", screen, re.M)
    checks.check("Space pages to the end of the table",
                 end is not None and end.group(2) == end.group(3) and "  Home/End   move to the first" in screen,
                 screen)
    term.keys(t, "Up")
    check_wait(checks, "Up scrolls it back a line", wait_for, term, t,
               lambda s: end and f"Lines {int(end.group(1)) - 1}-{int(end.group(2)) - 1} of" in s, "one line up")
    term.text(t, "q")
    screen = wait_for(term, t, lambda s: "Lines " not in s, "the key table to close")
    checks.check("q closes the table and does nothing else",
                 highlighted(screen) == ["shares/"] and "No folder" not in screen, screen)
    term.keys(t, "Escape")
    checks.check("the run with the key table cancelled", run.ended() == "exit=2")
    run.check_terminal_back(checks, "key table")


def progress_tree(work):
    """A source whose copy takes more than a second when stopped early.
    Every content folder has a short name of its own ("042_se"), so that no
    copy replaces another."""
    source = os.path.join(work, "progress-tree", "VOD")
    for folder in range(400):
        os.makedirs(os.path.join(source, f"{folder:03} Course"))
        for caption in range(30):
            open(os.path.join(source, f"{folder:03} Course", f"part{caption:02}.vtt"), "w").close()
    return source


def copy_past_a_second(term, program, work, name, source, width=WIDTH):
    """A copy from the command line in a window `width` columns wide,
    stopped a while early in the copy, so that its second has passed
    whatever the machine's speed, and again once it may have drawn its
    progress line; the run, and the screen then."""
    destination = os.path.join(work, "progress-tree", name)
    os.makedirs(destination)
    run = Run(term, program, work, name, work, held=True, arguments=[source, destination])
    t = run.target
    term.tmux("resize-window", "-t", t, "-x", str(width), "-y", str(HEIGHT))
    run.go()
    wait_for(term, t, lambda screen: os.path.exists(os.path.join(run.files, "pid")) and os.listdir(destination),
             "the copy to begin")
    pid = int(run.read("pid"))
    os.kill(pid, signal.SIGSTOP)
    time.sleep(1.2)
    os.kill(pid, signal.SIGCONT)
    time.sleep(0.1)
    os.kill(pid, signal.SIGSTOP)
    screen = term.screen(t)
    os.kill(pid, signal.SIGCONT)
    return run, screen


def progress(term, program, work, checks):
    """A copy that runs for more than a second: one progress line on the
    terminal, which the message then replaces; as wide as the terminal
    allows; none on a terminal too narrow for it."""
    source = progress_tree(work)
    run, screen = copy_past_a_second(term, program, work, "progress", source)
    t = run.target
    checks.check("a copy of more than a second shows how far it is",
                 re.search(r"^\d+ captions? copied, now in \d{3} Course$", screen, re.M) is not None, screen)
    status = run.ended()
    screen = term.screen(t)
    checks.check("the progress line is gone before the count and the message",
                 re.match(COUNT_AND_MESSAGE + r"\nwrapper done", screen) is not None, screen)
    checks.check("the command line run copied everything", status == "exit=0"
                 and len(os.listdir(os.path.join(work, "progress-tree", "progress", "000_se"))) == 30)

    run, screen = copy_past_a_second(term, program, work, "progress-30", source, width=30)
    checks.check("at 30 columns the progress line is cut to 29",
                 re.search(r"^\d+ captions? copied, now", screen, re.M) is not None
                 and all(len(line) <= 29 for line in screen.splitlines()), screen)
    os.kill(int(run.read("pid")), signal.SIGTERM)  # seen enough
    run.ended()

    # Each row of a one-column terminal holds one character: the history,
    # its wrapped rows joined, shows every character the program wrote.
    # The window stays that narrow to the end: a wider one would let the
    # program draw over what it left.
    run, screen = copy_past_a_second(term, program, work, "progress-1", source, width=1)
    wait_for(term, run.target, lambda screen: os.path.exists(os.path.join(run.files, "status")), "the copy to end")
    status = run.read("status")
    written = term.tmux("capture-pane", "-p", "-J", "-S", "-", "-t", run.target)
    checks.check("a one-column terminal gets no progress line, only the count and the message",
                 status == "exit=0" and "captions copied" not in written and "now in" not in written
                 and written.count("caption files copied.") == 1
                 and written.count("Cuecarry: Cuecarry complete") == 1, written[-2000:])


def terminated(term, program, work, shares, checks):
    """SIGTERM while the browser is open: the process ends as the signal
    says, and the terminal is given back all the same."""
    run = Run(term, program, work, "sigterm", shares)
    t = run.target
    wait_text(term, t, "Browse to the starting folder:")
    os.kill(int(run.read("pid")), signal.SIGTERM)
    checks.check("SIGTERM ends the program", run.ended() == f"exit={128 + signal.SIGTERM}")
    run.check_terminal_back(checks, "SIGTERM")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if os.path.basename(program) == "cuecarry-gtk":
        global FALLBACK_NOTE
        FALLBACK_NOTE = ("cuecarry-gtk: no display is named (DISPLAY and WAYLAND_DISPLAY are not set); "
                         "the pickers and the message show at the terminal")
    if shutil.which("tmux") is None:
        print("FAIL: tmux is not installed (Debian package tmux)")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shares, deep = make_tree(work)
    checks = Checks()
    term = Terminal(work)
    try:
        for scenario in (lambda: full_run(term, program, work, shares, checks),
                         lambda: refused_then_cancelled(term, program, work, shares, deep, checks),
                         lambda: raw_keys(term, program, work, shares, checks),
                         lambda: resized_and_interrupted(term, program, work, shares, checks),
                         lambda: key_table_pages(term, program, work, shares, checks),
                         lambda: piped(term, program, work, shares, checks),
                         lambda: progress(term, program, work, checks),
                         lambda: terminated(term, program, work, shares, checks)):
            try:
                scenario()
            except AssertionError as failure:
                checks.check("scenario ran to its end", False, str(failure))
    finally:
        term.close()
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())

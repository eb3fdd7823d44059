#!/usr/bin/env python3
"""cuecarry-gtk on a desktop: its choosers and its message, end to end.

    desktop_test.py CUECARRY_GTK WORK_DIR EXAMPLES

Starts an X server of its own (Xvfb, on the first free display) and, with
a scratch HOME and XDG folders set before the bus starts, a session bus
(dbus-run-session) that brings up the accessibility bus when the program
asks for it. Inside, a small window manager (matchbox) runs and the
program is driven as a person drives it: keys typed with xdotool into the
focused window (Ctrl-L, the path, Return; Esc), never a screen position.
What the windows hold is read through the accessibility bus (pyatspi): the
titles, the instruction, the buttons, the message's text and icon.
Screenshots of every step stay in WORK_DIR/artefacts.

The runs: both choosers and a copy of the example tree (the copy checked);
a cancel (exit status 2); folders given on the command line into a target
where seven captions cannot be copied (no chooser; the message names five
and where the record of the run is, which holds all seven; exit status 1)
and as a dry run; a missing source and a file as the destination, both
named; and the fallback where no display opens (no DISPLAY nor
WAYLAND_DISPLAY, or one that does not open): the line protocol on standard
input, as cuecarry, with a line on standard error that says why.

One line per check, then "N passed, N failed"; the exit status is 1 when a
check failed, 77 when a tool is missing (a failure under CI=true).
"""

import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import Checks  # noqa: E402

WAIT = 30  # seconds a window may take on a loaded machine
SCREEN = "1280x800x24"
PYTHON = "/usr/bin/python3"  # the system's, which has pyatspi
TOOLS = ["Xvfb", "xdotool", "xprop", "dbus-run-session", "matchbox-window-manager", "import", "convert"]
FIRST = "Browse to the starting folder:"
SECOND = "Select copy to folder:"
# The files and empty folders that examples/media/VOD gives (examples/README.md).
PUBLISHED_VOD = [
    "Emp_ty/",
    "Int_ro/welcome/video/vtt/welcome.vtt",
    "Lab_Lab/demo/video/vtt/demo.VTT",
    "Les_01/intro.en/video/vtt/intro.en.vtt",
    "Les_01/intro/video/vtt/intro.vtt",
]


def published(folder):
    """Every file and empty folder below `folder`, as sorted relative paths."""
    found = []
    for top, folders, files in os.walk(folder):
        relative = os.path.relpath(top, folder)
        for name in files:
            found.append(os.path.normpath(os.path.join(relative, name)))
        if not folders and not files and top != folder:
            found.append(relative + "/")
    return sorted(found)


# ------------------------------------------------------------ outside ----

def scratch_environment(work):
    """The environment for everything inside: scratch HOME and XDG folders,
    for GTK's services write there, and nothing of the caller's session."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("XDG_", "DBUS_", "AT_SPI", "GTK_", "GDK_", "WAYLAND"))
           and k not in ("DISPLAY", "NO_AT_BRIDGE", "GSETTINGS_BACKEND", "LC_ALL")}
    home = os.path.join(work, "home")
    places = {"XDG_CONFIG_HOME": ".config", "XDG_DATA_HOME": ".local/share", "XDG_CACHE_HOME": ".cache",
              "XDG_STATE_HOME": ".local/state", "XDG_RUNTIME_DIR": "runtime"}
    for variable, place in places.items():
        path = os.path.join(home, place)
        os.makedirs(path, exist_ok=True)
        env[variable] = path
    os.chmod(env["XDG_RUNTIME_DIR"], 0o700)
    env.update(HOME=home, LANG="C.UTF-8",
               # Settings kept in memory: every run starts from GTK's defaults.
               GSETTINGS_BACKEND="memory")
    return env


def start_x_server(work, env):
    """Xvfb on the first free display: (process, ":N")."""
    reader, writer = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                              pass_fds=[writer], env=env, stdout=subprocess.DEVNULL,
                              stderr=open(os.path.join(work, "artefacts", "xvfb.log"), "w"))
    os.close(writer)
    number = b""
    deadline = time.monotonic() + WAIT
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(reader, 16)
        if not chunk:
            break
        number += chunk
    os.close(reader)
    if not number.strip():
        server.kill()
        server.wait()
        raise RuntimeError("Xvfb did not start; see xvfb.log")
    return server, ":" + number.decode().strip()


def outside(program, work, examples):
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if subprocess.run([PYTHON, "-c", "import pyatspi"], capture_output=True).returncode != 0:
        missing.append("python3-pyatspi")
    if missing:
        print(f"{'FAIL' if os.environ.get('CI') == 'true' else 'SKIPPED'}: missing {' '.join(missing)}")
        return 1 if os.environ.get("CI") == "true" else 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "artefacts"))
    env = scratch_environment(work)
    server, display = start_x_server(work, env)
    try:
        env["DISPLAY"] = display
        inner = subprocess.run(["dbus-run-session", "--", PYTHON, os.path.abspath(__file__), "--inside",
                                program, work, examples], env=env,
                               stderr=open(os.path.join(work, "artefacts", "session.log"), "w"))
        return inner.returncode
    finally:
        server.terminate()
        server.wait()


# ------------------------------------------------------------- inside ----

class Desktop:
    """The X display, the window manager and the accessibility bus."""

    def __init__(self, work):
        import pyatspi  # only inside: it needs the session bus
        self.atspi = pyatspi
        self.artefacts = os.path.join(work, "artefacts")
        self.manager = None

    def manage(self):
        """Starts the window manager: frames with titles in the screenshots."""
        self.manager = subprocess.Popen(["matchbox-window-manager", "-use_titlebar", "yes"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        if self.manager:
            self.manager.terminate()
            self.manager.wait()

    def screenshot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(self.artefacts, name + ".png")],
                       capture_output=True)

    @staticmethod
    def xdotool(*args):
        return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.split()

    def window(self, title):
        """The visible top-level window of that title, or None."""
        found = self.xdotool("search", "--onlyvisible", "--name", f"^{title}$")
        return found[0] if found else None

    def wait_window(self, title):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            window = self.window(title)
            if window:
                return window
            time.sleep(0.1)
        return None

    def wait_gone(self, title):
        deadline = time.monotonic() + WAIT
        while self.window(title) and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.window(title) is None

    def keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, window, text):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("type", "--clearmodifiers", "--delay", "20", text)

    def kept_above(self, window):
        """The window asked to be kept above others. Only without a window
        manager does the state that GTK maps the window with stay as it is:
        matchbox knows no such state and puts its own in its place."""
        state = subprocess.run(["xprop", "-id", window, "_NET_WM_STATE"], capture_output=True, text=True).stdout
        return "_NET_WM_STATE_ABOVE" in state

    def red_pixels(self, window, name):
        """How many clearly red pixels the window shows (the stop icon)."""
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                  capture_output=True, text=True).stdout
        values = dict(line.split("=", 1) for line in geometry.split())
        crop = f"{values['WIDTH']}x{values['HEIGHT']}+{values['X']}+{values['Y']}"
        path = os.path.join(self.artefacts, name + ".png")
        shown = subprocess.run(["convert", path, "-crop", crop, "+repage", "-fx",
                                "r > 0.6 && g < 0.35 && b < 0.35 ? 1 : 0", "-format", "%[fx:mean*w*h]", "info:"],
                               capture_output=True, text=True).stdout
        try:
            return float(shown)
        except ValueError:
            return 0

    # The accessibility bus.

    def application(self, pid):
        """The program's accessible application, once it is there."""
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            desktop = self.atspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                app = desktop.getChildAtIndex(index)
                try:
                    if app is not None and app.get_process_id() == pid and app.childCount > 0:
                        return app
                except Exception:  # an application that went away meanwhile
                    continue
            time.sleep(0.1)
        return None

    def top_level(self, pid, title):
        """The program's top-level accessible of that name."""
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            app = self.application(pid)
            for index in range(app.childCount if app else 0):
                child = app.getChildAtIndex(index)
                if child is not None and child.name == title and child.childCount > 0:
                    return child
            time.sleep(0.1)
        return None

    def descendants(self, accessible, role=None):
        found = []
        stack = [accessible]
        while stack:
            node = stack.pop()
            for index in range(node.childCount):
                child = node.getChildAtIndex(index)
                if child is None:
                    continue
                if role is None or child.getRoleName() == role:
                    found.append(child)
                stack.append(child)
        return found

    def showing(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SHOWING)

    def sensitive(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SENSITIVE)

    def texts(self, accessible, role):
        shown = []
        for node in self.descendants(accessible, role):
            if self.showing(node):
                text = node.queryText()
                shown.append(text.getText(0, text.characterCount))
        return shown


class Run:
    """One run of the program, its streams kept in files."""

    def __init__(self, program, work, name, arguments=(), cwd=None, env=None):
        self.name = name
        self.out_path = os.path.join(work, "artefacts", name + ".out")
        self.err_path = os.path.join(work, "artefacts", name + ".err")
        with open(self.out_path, "w") as out, open(self.err_path, "w") as err:
            self.process = subprocess.Popen([program, *arguments], stdin=subprocess.DEVNULL, stdout=out,
                                            stderr=err, cwd=cwd, env=env)
        self.pid = self.process.pid

    def finish(self):
        """The exit status, or None when the program does not end in time."""
        try:
            return self.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def output(self):
        with open(self.out_path) as out:
            return out.read()

    def errors(self):
        with open(self.err_path) as err:
            return err.read()


def check_chooser(checks, desktop, run, title, step):
    """The chooser of that title: its window, kept above, its instruction and
    buttons; the window id, or None."""
    window = desktop.wait_window(title)
    desktop.screenshot(step)
    if not checks.check(f"{run.name}: the chooser \"{title}\" opens", window is not None):
        return None
    dialog = desktop.top_level(run.pid, title)
    if not checks.check(f"{run.name}: \"{title}\" is on the accessibility bus", dialog is not None):
        return window
    # The instruction, which a GTK chooser has no place for, is its
    # description, not a label alone above the path bar.
    labels = desktop.texts(dialog, "label")
    checks.check(f"{run.name}: \"{title}\" has the instruction \"Open\" as its description and shows no stray "
                 f"label", dialog.description == "Open" and "Open" not in labels, repr((dialog.description, labels)))
    buttons = {button.name: button for button in desktop.descendants(dialog, "push button")
               if desktop.showing(button) and button.name in ("_Cancel", "Cancel", "_OK", "OK")}
    ok = buttons.get("OK") or buttons.get("_OK")
    checks.check(f"{run.name}: \"{title}\" has Cancel and OK, OK enabled",
                 len(buttons) == 2 and ok is not None and desktop.sensitive(ok), repr(sorted(buttons)))
    return window


def choose_by_typing(checks, desktop, run, window, title, path, step):
    """Ctrl-L, the path and Return: the chooser must close."""
    desktop.keys(window, "ctrl+l")
    # The trailing separator leaves GTK nothing to complete inline, so that
    # Return takes the folder itself.
    desktop.type(window, path + "/")
    time.sleep(0.5)
    desktop.screenshot(step)
    desktop.keys(window, "Return")
    return checks.check(f"{run.name}: Return in \"{title}\" chooses {path}", desktop.wait_gone(title))


def check_message(checks, desktop, run, expected, step):
    """The message: title "Cuecarry", kept above, the stop icon, the text
    read through the accessibility bus, one OK button. Return dismisses it.
    `expected` may be a function that gives the text once the message shows."""
    window = desktop.wait_window("Cuecarry")
    time.sleep(0.3)  # drawn, not only mapped
    desktop.screenshot(step)
    if not checks.check(f"{run.name}: the message \"Cuecarry\" shows", window is not None):
        return
    if callable(expected):
        expected = expected()
    alert = desktop.top_level(run.pid, "Cuecarry")
    texts = desktop.texts(alert, "label") if alert else []
    checks.check(f"{run.name}: the message reads {expected!r}", texts == [expected], repr(texts))
    icons = [icon.name for icon in desktop.descendants(alert, "icon")] if alert else []
    buttons = [button.name for button in desktop.descendants(alert, "push button")] if alert else []
    checks.check(f"{run.name}: the message has the stop icon and one button, OK",
                 icons == ["Error"] and buttons in (["OK"], ["_OK"]), repr((icons, buttons)))
    red = desktop.red_pixels(window, step)
    checks.check(f"{run.name}: the stop icon is drawn red ({red:.0f} red pixels)", red > 500)
    others = [title for title in (FIRST, SECOND) if desktop.window(title)]
    checks.check(f"{run.name}: no chooser is left beside the message", not others, repr(others))
    desktop.keys(window, "Return")


def check_quiet(checks, run, expected_errors=""):
    errors = run.errors()
    checks.check(f"{run.name}: standard error says {expected_errors or 'nothing'!r}", errors == expected_errors, errors)


def kept_above(checks, desktop, program, work, examples):
    """Before the window manager starts: both kinds of window ask to be
    kept above the others, as the callback's SetWindowPos(HWND_TOPMOST)
    and the message's MB_SYSTEMMODAL ask."""
    run = Run(program, work, "kept-above", cwd=examples)
    for title, key in ((FIRST, "Escape"), ("Cuecarry", "Return")):
        window = desktop.wait_window(title)
        checks.check(f"kept above: \"{title}\" asks to be kept above other windows",
                     window is not None and desktop.kept_above(window))
        if window:
            desktop.keys(window, key)
    status = run.finish()
    checks.check(f"kept above: Esc, then Return, end the run with status 2 (got {status})", status == 2)
    desktop.manage()


def typo_refused(checks, desktop, run, window, work):
    """A typed path that names no folder: the chooser stays open and says
    why below the folders, and makes no folder of it."""
    typo = os.path.join(work, "no-such-folder")
    desktop.keys(window, "ctrl+l")
    desktop.type(window, typo)
    time.sleep(0.5)
    desktop.keys(window, "Return")
    dialog = desktop.top_level(run.pid, FIRST)
    expected = f"No folder at {typo}"
    deadline = time.monotonic() + WAIT
    while dialog and expected not in desktop.texts(dialog, "label") and time.monotonic() < deadline:
        time.sleep(0.1)
    desktop.screenshot("01-first-chooser-typo-refused")
    checks.check(f"full-run: a typed path that names no folder keeps the chooser open, saying {expected!r}",
                 desktop.window(FIRST) is not None and dialog is not None
                 and expected in desktop.texts(dialog, "label"))
    checks.check("full-run: and makes no folder of it", not os.path.exists(typo))
    # The path typed next replaces it.
    desktop.keys(window, "ctrl+a")


def full_run(checks, desktop, program, work, examples):
    target = os.path.join(work, "published")
    os.makedirs(target)
    run = Run(program, work, "full-run", cwd=examples)
    window = check_chooser(checks, desktop, run, FIRST, "01-first-chooser")
    if window:
        typo_refused(checks, desktop, run, window, work)
    if window and choose_by_typing(checks, desktop, run, window, FIRST, os.path.join(examples, "VOD"),
                                   "02-first-chooser-path-typed"):
        window = check_chooser(checks, desktop, run, SECOND, "03-second-chooser")
        if window and choose_by_typing(checks, desktop, run, window, SECOND, target, "04-second-chooser-path-typed"):
            check_message(checks, desktop, run, "Cuecarry complete", "05-message")
    status = run.finish()
    checks.check(f"full run: exit status 0 (got {status})", status == 0)
    checks.check("full run: the copy is examples/media/VOD published", published(target) == PUBLISHED_VOD,
                 repr(published(target)))
    checks.check("full run: standard output says how many were copied, and nothing else",
                 run.output() == "4 caption files copied.\n", run.output())
    check_quiet(checks, run)


def cancel(checks, desktop, program, work, examples):
    run = Run(program, work, "cancel", cwd=examples)
    window = check_chooser(checks, desktop, run, FIRST, "11-cancel-chooser")
    if window:
        desktop.keys(window, "Escape")
        checks.check("cancel: Esc closes the chooser", desktop.wait_gone(FIRST))
        checks.check("cancel: no second chooser", desktop.window(SECOND) is None)
        check_message(checks, desktop, run, "Cuecarry complete", "12-cancel-message")
    status = run.finish()
    checks.check(f"cancel: exit status 2 (got {status})", status == 2)
    check_quiet(checks, run, "cuecarry: no folder was chosen; nothing was copied\n")


def left_behind(checks, desktop, program, work, examples):
    """Seven captions that cannot be copied (read-only copies at their
    targets), the folders given on the command line: the message names the
    first five, each short, "and 2 more.", and where the record of the run
    is, which holds all seven."""
    source = os.path.join(work, "seven", "VOD")
    target = os.path.join(work, "seven", "published")
    for number in range(1, 8):
        os.makedirs(os.path.join(source, f"Lesson0{number}"))
        with open(os.path.join(source, f"Lesson0{number}", f"part{number}.vtt"), "w") as caption:
            caption.write("WEBVTT\n")
        kept = os.path.join(target, f"Les_0{number}", f"part{number}", "video", "vtt", f"part{number}.vtt")
        os.makedirs(os.path.dirname(kept))
        with open(kept, "w") as copy:
            copy.write("kept\n")
        os.chmod(kept, 0o444)
    shutil.copytree(os.path.join(examples, "VOD", "Lab"), os.path.join(source, "Lab"))
    records = os.path.join(os.environ["XDG_STATE_HOME"], "cuecarry")
    before = set(os.listdir(records)) if os.path.isdir(records) else set()

    def record():
        made = sorted(set(os.listdir(records)) - before) if os.path.isdir(records) else []
        return os.path.join(records, made[0]) if len(made) == 1 else "(no record)"

    def entry(number):
        return (f"Lesson0{number}/part{number}.vtt -> Les_0{number}/part{number}/video/vtt/part{number}.vtt: "
                "the file there is read-only")

    def expected():
        return ("Cuecarry complete\n\n7 caption files could not be copied.\n\n"
                f"Starting folder: {source}\nCopy to folder: {target}\n\n"
                + "\n\n".join(entry(number) for number in range(1, 6))
                + f"\n\nand 2 more.\n\nThe whole list is in the record of this run:\n{record()}")

    run = Run(program, work, "left-behind", [source, target])
    check_message(checks, desktop, run, expected, "21-left-behind-message")
    status = run.finish()
    checks.check(f"left behind: exit status 1 (got {status})", status == 1)
    lines = [f"cuecarry: {source}/Lesson0{number}/part{number}.vtt -> "
             f"{target}/Les_0{number}/part{number}/video/vtt/part{number}.vtt: the file there is read-only\n"
             for number in range(1, 8)]
    check_quiet(checks, run, "".join(lines))
    text = open(record()).read() if os.path.isfile(record()) else ""
    if text:  # kept beside the screenshot
        shutil.copy(record(), os.path.join(desktop.artefacts, "21-left-behind-record.txt"))
    checks.check("left behind: the record holds all seven lines of standard error, the folders and the counts",
                 f"Starting folder: {source}\nCopy to folder: {target}\n\n" + "".join(lines)
                 + "\n1 caption file copied.\nCuecarry complete\n\n7 caption files could not be copied.\n" in text,
                 text)

    untouched = os.path.join(work, "dry-run-target")
    os.makedirs(untouched)
    dry = Run(program, work, "dry-run", ["--dry-run", os.path.join(examples, "VOD"), untouched])
    check_message(checks, desktop, dry, "Cuecarry complete\n\nThis was a dry run: nothing was written.",
                  "22-dry-run-message")
    status = dry.finish()
    checks.check(f"dry run: exit status 0, nothing written (got {status})",
                 status == 0 and os.listdir(untouched) == [])


def not_a_folder(checks, desktop, program, work, examples):
    """A file given as the destination and a missing source: both named on
    standard error before anything runs, and the message of a starting
    path that is not accessible."""
    missing = os.path.join(work, "no-such-source")
    readme = os.path.join(examples, "..", "README.md")
    run = Run(program, work, "not-a-folder", [missing, readme])
    check_message(checks, desktop, run, "starting path not accessible", "23-not-a-folder-message")
    status = run.finish()
    checks.check(f"not a folder: exit status 2 (got {status})", status == 2)
    check_quiet(checks, run, f"cuecarry: {missing}: No such file or directory\n"
                             f"cuecarry: {os.path.realpath(readme)}: not a folder\n")


def fallback(checks, program, work, examples):
    """Where no display opens, the line protocol answers as in cuecarry."""
    for name, display in (("no-display", None), ("display-not-there", ":4711")):
        target = os.path.join(work, name)
        os.makedirs(target)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        if display:
            env["DISPLAY"] = display
        script = f"{os.path.join(examples, 'VOD')}\n\n{target}\n\n"
        ran = subprocess.run([program], input=script, capture_output=True, text=True, env=env, timeout=WAIT)
        why = ("no display is named (DISPLAY and WAYLAND_DISPLAY are not set)" if display is None
               else f"the display {display} cannot be opened")
        checks.check(f"{name}: the line protocol runs, prints \"Cuecarry: Cuecarry complete\" and exits 0",
                     ran.returncode == 0 and ran.stdout.startswith(f"== {FIRST} ==\nOpen\n")
                     and ran.stdout.endswith("\nCuecarry: Cuecarry complete\n"),
                     f"status {ran.returncode}\n{ran.stdout}\n{ran.stderr}")
        checks.check(f"{name}: standard error says why, and nothing else",
                     ran.stderr == f"cuecarry-gtk: {why}; the pickers and the message show at the terminal\n",
                     ran.stderr)
        checks.check(f"{name}: the copy is examples/media/VOD published", published(target) == PUBLISHED_VOD,
                     repr(published(target)))


def inside(program, work, examples):
    checks = Checks()
    desktop = Desktop(work)
    try:
        for flow in (kept_above, full_run, cancel, left_behind, not_a_folder):
            try:
                flow(checks, desktop, program, work, examples)
            except Exception as failure:  # one flow's surprise must not hide the others
                desktop.screenshot(f"{flow.__name__}-failure")
                checks.check(f"{flow.__name__} ran to its end", False, repr(failure))
                if desktop.manager is None:
                    desktop.manage()
        fallback(checks, program, work, examples)
    finally:
        desktop.close()
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "--inside":
        return inside(*sys.argv[2:])
    if len(sys.argv) != 4:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    program, work, examples = (os.path.abspath(argument) for argument in sys.argv[1:])
    return outside(program, work, examples)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())

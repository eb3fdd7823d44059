#!/usr/bin/env bash
# End-to-end tests of the Windows program Cuecarry.exe as a user meets it:
# under Wine, on an X display (its own Xvfb unless DISPLAY is set), driven
# by keyboard with xdotool, with screenshots kept as test artefacts.
#
#   run_gui_tests.sh EXE ARTEFACT_DIR LINUX_CUECARRY
#
# Flow 1 cancels the first folder picker; flow 2 is a full run into a
# prepared VOD tree, compared with what the Linux build makes of the same
# source; flow 3 runs into a destination whose copy of one caption is
# read-only, and the message names it with the system's reason. One line
# per check, then "N passed, M failed"; the exit status is
# non-zero when a check failed. See README.md beside this script.
#
# The caller sets WINEPREFIX and WINEDEBUG (a persistent wineserver may be
# running). The program runs on a Wine desktop of its own, the size of the
# X screen: Wine draws the window frames there, as Windows would, and the
# test does not depend on which display the prefix's default desktop was
# started with (a persistent wineserver keeps the one it first had, which is
# none when the unit tests ran before without a display).

set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 EXE ARTEFACT_DIR LINUX_CUECARRY" >&2
    exit 2
fi

PASSED=0
FAILED=0
pass() { PASSED=$((PASSED + 1)); echo "PASS: $*"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL: $*"; }
note() { echo "NOTE: $*"; }
# check NAME CONDITION...: passes when the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
summary() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
}

mkdir -p "$2" || { echo "cannot create $2" >&2; exit 2; }
ART=$(cd "$2" && pwd)
EXE=$(readlink -f "$1" 2>/dev/null || echo "$1")
LINUX=$(readlink -f "$3" 2>/dev/null || echo "$3")

IMPORT=/usr/bin/import     # ImageMagick's, not any stand-in earlier on PATH
CONVERT=/usr/bin/convert
MINGW_CC=""
for cc in x86_64-w64-mingw32-gcc x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc-win32; do
    if command -v "$cc" >/dev/null 2>&1; then MINGW_CC=$cc; break; fi
done

# ---------------------------------------------------------------- tools ----
missing=""
for tool in wine winepath wineboot xdotool timeout diff; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
[ -x "$IMPORT" ] || missing="$missing $IMPORT(imagemagick)"
[ -x "$CONVERT" ] || missing="$missing $CONVERT(imagemagick)"
[ -n "$MINGW_CC" ] || missing="$missing x86_64-w64-mingw32-gcc(gcc-mingw-w64-x86-64)"
if [ -z "${DISPLAY:-}" ] && ! command -v Xvfb >/dev/null 2>&1; then missing="$missing Xvfb(xvfb)"; fi
[ -f "$EXE" ] || missing="$missing $EXE"
[ -x "$LINUX" ] || missing="$missing $LINUX"
if [ -n "$missing" ]; then
    fail "tools and programs present (missing:$missing)"
    summary
    exit 1
fi
pass "tools and programs present"
HAVE_XWININFO=0
command -v xwininfo >/dev/null 2>&1 && HAVE_XWININFO=1

# -------------------------------------------------------- state, cleanup ----
WORK=$(mktemp -d /tmp/ccg.XXXXXX)     # short: its name is typed in the picker
XVFB_PID=""
PRIVATE_PREFIX=0
LAUNCH_PID=""       # the `wine explorer` that starts the current run
APP_UNIX_PIDS=""    # Cuecarry.exe as the X server names it (_NET_WM_PID)
RESULT=""           # where the launcher writes the program's exit status
DESK=""             # the Wine desktop of the current run

end_run_processes() {
    local pid winpid
    if [ -n "$RESULT" ] && [ -f "$RESULT.pid" ] && [ ! -s "$RESULT" ]; then
        winpid=$(sed -n 's/^pid=//p' "$RESULT.pid")
        [ -n "$winpid" ] && timeout 20 wine taskkill /f /pid "$winpid" >/dev/null 2>&1
    fi
    for pid in $APP_UNIX_PIDS $LAUNCH_PID; do
        kill -0 "$pid" 2>/dev/null && kill "$pid" 2>/dev/null
    done
    sleep 1
    for pid in $APP_UNIX_PIDS $LAUNCH_PID; do
        kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
    done
    [ -n "$LAUNCH_PID" ] && wait "$LAUNCH_PID" 2>/dev/null
    APP_UNIX_PIDS=""
    LAUNCH_PID=""
}

cleanup() {
    end_run_processes
    if [ "$PRIVATE_PREFIX" = 1 ]; then
        timeout 20 wineserver -k >/dev/null 2>&1
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- Wine -----
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$WORK/wineprefix"
    PRIVATE_PREFIX=1
    note "WINEPREFIX not set: using a private prefix for this run"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# English display names in the shell's tree ("My Computer"), whatever the
# caller's locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# ------------------------------------------------------------- display -----
if [ -z "${DISPLAY:-}" ]; then
    for number in $(seq 97 140); do
        [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
        Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >"$ART/xvfb.log" 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$number"
        deadline=$((SECONDS + 15))
        while [ $SECONDS -lt $deadline ] && kill -0 "$XVFB_PID" 2>/dev/null; do
            timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1 && break
            sleep 0.3
        done
        if timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1; then break; fi
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
        unset DISPLAY
    done
    if [ -z "${DISPLAY:-}" ]; then
        fail "an Xvfb display could be started"
        summary
        exit 1
    fi
    note "started Xvfb on $DISPLAY"
fi
read -r SCREEN_W SCREEN_H < <(timeout 10 xdotool getdisplaygeometry)
if [ -z "${SCREEN_W:-}" ]; then
    fail "the X display $DISPLAY answers"
    summary
    exit 1
fi

# A new prefix is set up first: that alone can take a minute or two. The
# test walks to its folders through drive Z:, which Wine maps to /.
if [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    note "initialising the Wine prefix $WINEPREFIX (up to 120 s)"
    timeout 120 wineboot -i >"$ART/wineboot.log" 2>&1
fi
check "Wine prefix is ready, with drive Z: on /" \
    test -d "$WINEPREFIX/drive_c/windows/system32" -a "$(readlink "$WINEPREFIX/dosdevices/z:")" = /

# ---------------------------------------------------------------- probe ----
mkdir -p "$WORK/bin"
if "$MINGW_CC" -O1 -municode -mwindows -static -o "$WORK/bin/probe.exe" \
    "$(dirname "$(readlink -f "$0")")/Probe.c" -lcomctl32 >"$ART/probe-build.log" 2>&1; then
    pass "probe.exe builds"
else
    fail "probe.exe builds (see $ART/probe-build.log)"
    summary
    exit 1
fi
PROBE_W=$(timeout 60 winepath -w "$WORK/bin/probe.exe" 2>/dev/null)
EXE_W=$(timeout 60 winepath -w "$EXE" 2>/dev/null)

# probe ARGS...: the probe on the current run's desktop.
probe() { timeout 30 wine "$WORK/bin/probe.exe" --desktop "$DESK" "$@" 2>/dev/null | tr -d '\r'; }
value() { sed -n "s/^$1=//p" | head -n 1; }    # value KEY < probe output
window_class() { sed -n 's/^window=0 .* class=//p' | head -n 1; }

shot() {    # shot NAME: the whole screen, into the artefacts
    timeout 20 "$IMPORT" -window root "$ART/$1.png" >/dev/null 2>&1 || note "screenshot $1.png failed"
}

# start_run NAME: the program on a Wine desktop of its own, the size of the
# screen, through the launcher that records its exit status. Wine traces the
# program's window calls (only the program's) into ARTEFACT_DIR/NAME-wine.log.
start_run() {
    DESK="cuecarry-$1-$$"
    RESULT="$WORK/bin/$1.result"
    rm -f "$RESULT" "$RESULT.pid"
    local result_w
    result_w=$(timeout 60 winepath -w "$RESULT" 2>/dev/null)
    wine explorer "/desktop=$DESK,${SCREEN_W}x$SCREEN_H" "$PROBE_W" run "$result_w" 600 \
        --trace -all,+win "$EXE_W" >"$ART/$1-wine.log" 2>&1 &
    LAUNCH_PID=$!
}

# wait_window TITLE SECONDS: polls the X server for a window named exactly
# TITLE (xdotool's --sync can crash when a window closes during its scan).
# Sets WINDOW_ID; remembers the program's process id for the cleanup.
wait_window() {
    local title=$1 deadline=$((SECONDS + $2)) id pid
    WINDOW_ID=""
    while [ $SECONDS -lt $deadline ]; do
        id=$(timeout 10 xdotool search --name "^${title}\$" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            pid=$(timeout 10 xdotool getwindowpid "$id" 2>/dev/null)
            case " $APP_UNIX_PIDS " in *" $pid "*) ;; *) [ -n "$pid" ] && APP_UNIX_PIDS="$APP_UNIX_PIDS $pid" ;; esac
            WINDOW_ID=$id
            return 0
        fi
        sleep 0.3
    done
    return 1
}

# gone TITLE SECONDS: true once no window named TITLE is left.
gone() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        [ -z "$(timeout 10 xdotool search --name "^$1\$" 2>/dev/null)" ] && return 0
        sleep 0.3
    done
    return 1
}

# Keyboard input goes to the window named TARGET: it gets the X input focus
# and the pointer rests on its title bar, away from the tree (its tooltips)
# and the buttons. (Focus on the desktop's own X window is not enough: X
# hands the keys to the window under the pointer.)
TARGET=""
focus_target() {
    local id wx wy
    id=$(timeout 10 xdotool search --name "^${TARGET}\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] || return 0
    if [ "$HAVE_XWININFO" = 1 ]; then
        # xdotool misplaces windows that are not top-level X windows.
        local info
        info=$(timeout 10 xwininfo -id "$id" 2>/dev/null)
        wx=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
        wy=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
    else
        local dx dy
        read -r dx dy < <(desktop_origin)
        read -r wx wy _ < <(probe windows "$TARGET" | value rect)
        wx=$((${wx:-0} + dx))
        wy=$((${wy:-0} + dy))
    fi
    timeout 10 xdotool mousemove "$((wx + 8))" "$((wy + 8))" 2>/dev/null
    timeout 10 xdotool windowfocus "$id" 2>/dev/null
    sleep 0.2
}
key() { focus_target; timeout 20 xdotool key --delay 100 "$@"; sleep 0.5; }
type_text() { focus_target; timeout 60 xdotool type --delay 100 "$1"; sleep 0.5; }

# wait_exit SECONDS: the launcher's record of the program's exit status.
wait_exit() {
    local deadline=$((SECONDS + $1))
    while [ $SECONDS -lt $deadline ]; do
        [ -s "$RESULT" ] && break
        sleep 0.2
    done
    cat "$RESULT" 2>/dev/null | tr -d '\r'
}

# ------------------------------------------------------- picker checks -----
# check_picker TITLE TAG: the picker window as the browse callback places
# it. Prints the probe's view into ARTEFACT_DIR/TAG-probe.txt.
check_picker() {
    local title=$1 tag=$2 view hwnd x y w h scr_w scr_h cw ch
    view=$(probe windows "$title")
    echo "$view" >"$ART/$tag-probe.txt"
    check "$tag: one window titled \"$title\", a dialog" \
        test "$(echo "$view" | value count)" = 1 -a "$(echo "$view" | window_class)" = "#32770"
    check "$tag: instruction text above the tree is \"Open\"" \
        test "$(echo "$view" | grep -c '^child class=Static .* visible=1 .* text=Open$')" = 1
    check "$tag: the picker is the old-style one (a tree, no edit box)" \
        test "$(echo "$view" | grep -c '^child class=SysTreeView32 ')" = 1 -a \
             "$(echo "$view" | grep -c '^child class=Edit ')" = 0

    read -r x y w h <<<"$(echo "$view" | value rect)"
    read -r scr_w scr_h <<<"$(echo "$view" | value screen)"
    echo "$tag: window at ($x,$y) size ${w}x$h on a ${scr_w}x$scr_h screen (Wine's view)"

    # The callback's own call, from Wine's trace of the program: the client
    # size it read (calc_ncsize's old client), where it put the window, the
    # insert-after handle and the flags.
    hwnd=$(echo "$view" | sed -n 's/.* hwnd=\([0-9A-Fa-f]*\) .*/\1/p' | head -n 1)
    hwnd=$(printf '0x%x' "$((16#${hwnd:-0}))")
    local call ncsize after cx cy cwid chei flags l t r b
    read -r call ncsize < <(awk -v h="$hwnd" -v cap="$title" '
        index($0, "set_window_text L\"" cap "\"") { seen = 1; next }
        seen && pos == "" && index($0, "NtUserSetWindowPos hwnd " h ",") { pos = NR; next }
        pos != "" && index($0, "calc_ncsize hwnd " h " ") { print pos, NR; exit }
    ' "$ART/$RUN-wine.log")
    if [ -z "${call:-}" ]; then
        fail "$tag: the browse callback's SetWindowPos is in Wine's trace ($ART/$RUN-wine.log)"
        return
    fi
    read -r after cx cy cwid chei flags < <(sed -n "${call}p" "$ART/$RUN-wine.log" |
        sed -E 's/.*after ([^,]*), (-?[0-9]+),(-?[0-9]+) \(([0-9]+)x([0-9]+)\), flags ([0-9a-fA-F]+).*/\1 \2 \3 \4 \5 \6/')
    read -r l t r b < <(sed -n "${ncsize}p" "$ART/$RUN-wine.log" |
        sed -E 's/.*old client \((-?[0-9]+),(-?[0-9]+)\)-\((-?[0-9]+),(-?[0-9]+)\).*/\1 \2 \3 \4/')
    cw=$((r - l))
    ch=$((b - t))
    echo "$tag: callback read client ${cw}x$ch, called SetWindowPos(after=$after, $cx, $cy, ${cwid}x$chei, flags=0x$flags)"
    check "$tag: callback puts the window in the topmost band (HWND_TOPMOST) and shows it (SWP_SHOWWINDOW only)" \
        test "$after" = 0xffffffffffffffff -a "$flags" = 00000040
    check "$tag: callback places it at ((W-w)/2, (H-h)/2) = ($(((scr_w - cw) / 2)), $(((scr_h - ch) / 2))) with size (w+25)x(h+60) = $((cw + 25))x$((ch + 60))" \
        test "$cx" = $(((scr_w - cw) / 2)) -a "$cy" = $(((scr_h - ch) / 2)) -a "$cwid" = $((cw + 25)) -a "$chei" = $((ch + 60))
    check "$tag: the window stays where the callback put it" \
        test "$x $y $w $h" = "$cx $cy $cwid $chei"

    # The X server's view, as a user sees the screen: the window's centre
    # near the screen's. The callback centres by the client size, so the
    # window's centre lies about 12 px right of and 30 px below the middle.
    if [ "$HAVE_XWININFO" = 1 ]; then
        local xid ax ay aw ah dx dy info
        xid=$(timeout 10 xdotool search --name "^${title}\$" 2>/dev/null | head -n 1)
        info=$(timeout 10 xwininfo -id "$xid" 2>/dev/null)
        ax=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
        ay=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
        aw=$(echo "$info" | sed -n 's/.*Width: *//p')
        ah=$(echo "$info" | sed -n 's/.*Height: *//p')
        dx=$((ax + aw / 2 - SCREEN_W / 2))
        dy=$((ay + ah / 2 - SCREEN_H / 2))
        echo "$tag: X window at ($ax,$ay) size ${aw}x$ah; centre off the screen's by ($dx,$dy)"
        check "$tag: window centred on the X screen (within 40 px)" \
            test "${dx#-}" -le 40 -a "${dy#-}" -le 40
    else
        note "$tag: xwininfo not installed (package x11-utils): the window's position on the X screen was not read; Wine's view above was checked"
    fi

    # What Wine made of the request. Wine 8 links a window that owns a
    # topmost popup (the tree's tooltip window) just below that popup and
    # keeps it topmost only when the next window down is topmost too, so the
    # resulting state depends on the other windows and is not a check of
    # the program; the request itself is checked above.
    note "$tag: Wine reports the picker's WS_EX_TOPMOST as $(echo "$view" | value topmost) (information only)"
}

# check_box TEXT TAG SHOT [REST]: the one message box and its text, read
# inside Wine (WM_GETTEXT on its controls) rather than from the screen; the
# text as the probe writes it (line ends as \n, backslashes as \\). With
# REST, TEXT is how the message starts, and REST a pattern (grep -E) for
# the rest: the system's own words for a reason vary with its version.
check_box() {
    local text=$1 tag=$2 shotname=$3 rest=${4:-} view statics buttons icon
    view=$(probe windows Cuecarry)
    echo "$view" >"$ART/$tag-probe.txt"
    check "$tag: exactly one window captioned \"Cuecarry\", a message box dialog" \
        test "$(echo "$view" | value count)" = 1 -a "$(echo "$view" | window_class)" = "#32770"
    statics=$(echo "$view" | sed -n 's/^child class=Static .* visible=1 .* text=\(..*\)$/\1/p')
    echo "$tag: message text: \"$statics\""
    if [ -z "$rest" ]; then
        check "$tag: message text is exactly \"$text\"" test "$statics" = "$text"
    else
        check "$tag: message text is \"$text\" and then a reason" \
            test "${statics:0:${#text}}" = "$text" -a -n "$(printf '%s' "${statics:${#text}}" | grep -E -x -- "$rest")"
    fi
    buttons=$(echo "$view" | sed -n 's/^child class=Button .* visible=1 .* text=\(.*\)$/\1/p')
    check "$tag: one button, OK" test "$buttons" = "OK"
    check "$tag: system-modal (the box is topmost)" test "$(echo "$view" | value topmost)" = 1
    # The stop icon: the 32x32 picture left of the text, read off the
    # screenshot.
    icon=$(echo "$view" | sed -n 's/^child class=Static .* visible=1 .* rect=\([-0-9]*,[-0-9]*,32,32\) text=$/\1/p' | head -n 1)
    if [ -n "$icon" ] && [ -f "$ART/$shotname.png" ]; then
        local ix iy dx dy red
        IFS=, read -r ix iy _ _ <<<"$icon"
        read -r dx dy < <(desktop_origin)
        red=$(timeout 20 "$CONVERT" "$ART/$shotname.png" -crop "32x32+$((ix + dx))+$((iy + dy))" +repage \
            -format '%[fx:int(100*mean.r)] %[fx:int(100*mean.g)] %[fx:int(100*mean.b)]' info: 2>/dev/null)
        local r g b
        read -r r g b <<<"$red"
        echo "$tag: icon's mean colour (percent) red $r, green $g, blue $b"
        # Wine's stop icon measures about (90, 55, 55); its warning icon,
        # yellow, about (93, 74, 55); information and question are blue.
        local gb=$((${g:-0} - ${b:-100}))
        check "$tag: the stop icon (red, not the yellow warning or a blue one) is shown" \
            test "${r:-0}" -ge $((${g:-100} + 25)) -a "${gb#-}" -le 10
    else
        fail "$tag: the stop icon (red, not the yellow warning or a blue one) is shown (no 32x32 icon control found)"
    fi
}

desktop_origin() {
    local id
    id=$(timeout 10 xdotool search --name "^$DESK - Wine desktop\$" 2>/dev/null | head -n 1)
    timeout 10 xdotool getwindowgeometry --shell "$id" 2>/dev/null | sed -n 's/^[XY]=//p' | tr '\n' ' '
    echo
}

# finish_run TAG: Return on the box, then the program's exit status.
finish_run() {
    local tag=$1 status started
    TARGET=Cuecarry
    key Return
    started=$(date +%s%N)
    status=$(wait_exit 3)
    echo "$tag: launcher recorded \"$status\" $((($(date +%s%N) - started) / 1000000 + 500)) ms after Return"
    check "$tag: process exits with status 0 (within 3 s of the last box)" test "$status" = "exit=0"
    check "$tag: no window of the program is left" gone Cuecarry 5
    end_run_processes
}

# ---------------------------------------------------------------- flow 1 ---
echo "== flow 1: cancel the first picker =="
RUN=flow1
start_run "$RUN"
if wait_window "Browse to the starting folder:" 120; then
    pass "flow1: window \"Browse to the starting folder:\" appears"
    sleep 1     # let it paint
    shot 01-first-picker
    check_picker "Browse to the starting folder:" flow1
    TARGET="Browse to the starting folder:"
    key Escape
    if wait_window Cuecarry 30; then
        pass "flow1: a box captioned \"Cuecarry\" appears after Escape"
        sleep 0.5
        shot 02-message-box
        check "flow1: the first picker is gone" gone "Browse to the starting folder:" 5
        check "flow1: no second picker after a cancel" \
            test -z "$(timeout 10 xdotool search --name '^Select copy to folder:$' 2>/dev/null)"
        check_box "Cuecarry complete" flow1 02-message-box
        finish_run flow1
    else
        shot 09-flow1-failure
        fail "flow1: a box captioned \"Cuecarry\" appears after Escape"
    fi
else
    shot 09-flow1-failure
    fail "flow1: window \"Browse to the starting folder:\" appears (waited 120 s; see $ART/flow1-wine.log)"
fi
end_run_processes

# ---------------------------------------------------------------- flow 2 ---
echo "== flow 2: a full run =="
RUN=flow2
SRC="$WORK/VOD"
DST="$WORK/out"
REF="$WORK/ref"
# Content folders of 3, 4, 5 and 8 characters (the short name doubles names
# under 5 characters), a deeper folder and files the flat layout leaves.
mkdir -p "$SRC/Lesson01/Part2" "$SRC/Lab" "$SRC/Quiz" "$SRC/Empty" "$DST" "$REF"
printf 'WEBVTT\n\n00:00.000 --> 00:02.000\nWelcome to lesson one.\n' >"$SRC/Lesson01/intro.vtt"
printf 'WEBVTT\n\n00:00.000 --> 00:01.500\nSee you next time.\n' >"$SRC/Lesson01/outro.vtt"
printf 'not a caption\n' >"$SRC/Lesson01/notes.txt"
printf 'WEBVTT\n\n00:00.000 --> 00:01.000\nOne level too deep for this layout.\n' >"$SRC/Lesson01/Part2/deep.vtt"
printf 'WEBVTT\n\n00:00.000 --> 00:03.000\nThe lab demo.\n' >"$SRC/Lab/demo.vtt"
printf 'WEBVTT\n\n00:00.000 --> 00:04.000\nQuestion one.\n' >"$SRC/Quiz/q1.vtt"
printf 'WEBVTT\n\nNot in a content folder.\n' >"$SRC/stray.vtt"

# The Linux build on the same source: the reference for the destination.
printf '%s\n\n%s\n\n' "$SRC" "$REF" | timeout 60 "$LINUX" >"$ART/flow2-linux.log" 2>&1
check "flow2: the Linux build copies the same source (status 0)" test $? = 0
expected_files="Emp_ty
Lab_Lab/demo/video/vtt/demo.vtt
Les_01/intro/video/vtt/intro.vtt
Les_01/outro/video/vtt/outro.vtt
Quiz_Quiz/q1/video/vtt/q1.vtt"
check "flow2: the Linux reference holds the expected layout" \
    test "$(cd "$REF" && find . -mindepth 1 \( -type f -o -type d -empty \) | sed 's|^\./||' | LC_ALL=C sort)" = "$expected_files"

# navigate TITLE PATH TAG SHOT: in the picker's tree, by keyboard only.
# Tab Tab moves the focus from OK through Cancel into the tree, at Desktop.
# Wine's tree lists "/" (its view of the Unix root) first under Desktop, so
# a plain Down would land there: the test goes the way a Windows user goes,
# to My Computer by type-ahead, Right to expand it, then Down to the drive
# Z: (Wine maps / to Z:; a drive's name starts with a blank, " (Z:)", which
# the tree's type-ahead does not take), Right, and then type-ahead and
# Right for each folder of PATH. Every step is read back from the tree; on
# any surprise the picker is cancelled (Escape), never confirmed.
navigate() {
    local title=$1 path=$2 tag=$3 chain="Desktop" got focus tries name last
    local -a parts
    IFS=/ read -r -a parts <<<"${path#/}"
    TARGET=$title

    key Tab Tab
    focus=$(probe windows "$title" | value focus)
    tries=0
    while [ "${focus%% *}" != SysTreeView32 ] && [ $tries -lt 3 ]; do
        note "$tag: focus after Tab Tab is on \"$focus\", not the tree: one more Tab"
        key Tab
        focus=$(probe windows "$title" | value focus)
        tries=$((tries + 1))
    done
    # A tree that has just taken the focus may not have selected its first
    # item yet (seen on a busy machine): give it a few seconds.
    got=$(probe tree "$title" | value selection)
    tries=0
    while [ -z "$got" ] && [ $tries -lt 10 ]; do
        sleep 0.5
        got=$(probe tree "$title" | value selection)
        tries=$((tries + 1))
    done
    if [ "${focus%% *}" != SysTreeView32 ] || [ "$got" != "$chain" ]; then
        fail "$tag: Tab Tab puts the focus on the folder tree, at Desktop (focus \"$focus\", selection \"$got\")"
        return 1
    fi
    pass "$tag: Tab Tab puts the focus on the folder tree, at Desktop"
    shot "$4-tree"

    select_by_typing "My Computer" || return 1
    expand || return 1
    tries=0
    while [ $tries -lt 8 ]; do
        key Down
        got=$(probe tree "$title" | value selection)
        last=${got##* > }
        case "$got" in "$chain > "*) ;; *) break ;; esac
        [ "${last%(Z:)}" != "$last" ] && break
        tries=$((tries + 1))
    done
    if [ "${got%(Z:)}" = "$got" ] || [ "${got%"$last"}" != "$chain > " ]; then
        fail "$tag: Down reaches drive Z: under My Computer (selected \"$got\")"
        return 1
    fi
    chain=$got
    shot "$4-my-computer"
    expand || return 1

    local i=0
    for name in "${parts[@]}"; do
        i=$((i + 1))
        select_by_typing "$name" || return 1
        [ $i -lt ${#parts[@]} ] && { expand || return 1; }
    done
    got=$(probe tree "$title" | value selection)
    check "$tag: keyboard reached \"$chain\"" test "$got" = "$chain"
    [ "$got" = "$chain" ]
}

# select_by_typing NAME: type-ahead in the tree (navigate's helpers share
# its title, tag and chain). A pause first lets the tree forget what was
# typed before; one retry when the first try did not land.
select_by_typing() {
    local name=$1 got
    sleep 1
    type_text "$name"
    got=$(probe tree "$title" | value selection)
    if [ "$got" != "$chain > $name" ]; then
        note "$tag: typing \"$name\" selected \"$got\": typing it again"
        sleep 1.5
        type_text "$name"
        got=$(probe tree "$title" | value selection)
    fi
    if [ "$got" != "$chain > $name" ]; then
        fail "$tag: type-ahead \"$name\" selects \"$chain > $name\" (selected \"$got\")"
        return 1
    fi
    chain="$chain > $name"
}

# expand: Right on the selected folder, then up to 10 s for the tree to
# show it expanded (its listing fills the branch). Right is pressed once:
# on an expanded folder it would move the selection to the first child.
expand() {
    local deadline=$((SECONDS + 10))
    key Right
    while [ $SECONDS -lt $deadline ]; do
        [ "$(probe tree "$title" | value expanded)" = 1 ] && return 0
        sleep 0.3
    done
    fail "$tag: Right expands \"$chain\""
    return 1
}

# confirm_or_cancel RESULT TAG: Return only on the selection that was
# checked; otherwise Escape, so that the default is never confirmed.
confirm_or_cancel() {
    if [ "$1" = 0 ]; then
        key Return
    else
        shot "19-$2-failure"
        key Escape
    fi
}

start_run "$RUN"
if wait_window "Browse to the starting folder:" 120; then
    pass "flow2: window \"Browse to the starting folder:\" appears"
    sleep 1
    shot 11-first-picker
    check_picker "Browse to the starting folder:" flow2-first
    navigate "Browse to the starting folder:" "$SRC" flow2-first 12-first-picker
    ok=$?
    shot 13-first-picker-source-selected
    confirm_or_cancel $ok flow2-first
    if [ $ok = 0 ] && wait_window "Select copy to folder:" 60; then
        pass "flow2: window \"Select copy to folder:\" appears after the first choice"
        sleep 1
        shot 21-second-picker
        check "flow2: the first picker is gone" gone "Browse to the starting folder:" 5
        check "flow2-second: opens with no pre-selection" test -z "$(probe tree "Select copy to folder:" | value selection)"
        check_picker "Select copy to folder:" flow2-second
        navigate "Select copy to folder:" "$DST" flow2-second 22-second-picker
        ok=$?
        shot 23-second-picker-destination-selected
        confirm_or_cancel $ok flow2-second
    elif [ $ok = 0 ]; then
        fail "flow2: window \"Select copy to folder:\" appears after the first choice"
    fi
    if wait_window Cuecarry 60; then
        pass "flow2: a box captioned \"Cuecarry\" appears"
        sleep 0.5
        shot 31-message-box
        check_box "Cuecarry complete" flow2 31-message-box
        finish_run flow2
    else
        shot 39-flow2-failure
        fail "flow2: a box captioned \"Cuecarry\" appears"
    fi
else
    shot 19-flow2-failure
    fail "flow2: window \"Browse to the starting folder:\" appears (waited 120 s; see $ART/flow2-wine.log)"
fi
end_run_processes

if diff -r "$DST" "$REF" >"$ART/flow2-diff.txt" 2>&1; then
    pass "flow2: the destination tree is exactly what the Linux build makes (diff -r)"
else
    fail "flow2: the destination tree is exactly what the Linux build makes (diff -r, see $ART/flow2-diff.txt)"
    sed 's/^/    /' "$ART/flow2-diff.txt" | head -n 20
fi
(cd "$DST" && find . | LC_ALL=C sort) >"$ART/flow2-destination.txt"

# ---------------------------------------------------------------- flow 3 ---
echo "== flow 3: what was left behind is named, and the whole list kept =="
RUN=flow3
SRC3="$WORK/seven/VOD"
DST3="$WORK/out3"
# Seven captions whose copies at the destination are read-only, and one
# that is copied.
for n in 1 2 3 4 5 6 7; do
    mkdir -p "$SRC3/Lesson0$n" "$DST3/Les_0$n/part$n/video/vtt"
    printf 'WEBVTT\n\n00:00.000 --> 00:01.000\nPart %s.\n' "$n" >"$SRC3/Lesson0$n/part$n.vtt"
    printf 'published, read-only\n' >"$DST3/Les_0$n/part$n/video/vtt/part$n.vtt"
    chmod 444 "$DST3/Les_0$n/part$n/video/vtt/part$n.vtt"
done
mkdir -p "$SRC3/Lab"
printf 'WEBVTT\n\n00:00.000 --> 00:03.000\nThe lab demo.\n' >"$SRC3/Lab/demo.vtt"
# Paths as the probe writes the message: backslashes doubled, line ends \n.
escaped() { timeout 60 winepath -w "$1" 2>/dev/null | sed 's/\\/\\\\/g'; }
entry() { printf '%s' "Lesson0$1\\\\part$1.vtt -> Les_0$1\\\\part$1\\\\video\\\\vtt\\\\part$1.vtt: the file there is read-only"; }
left_behind="Cuecarry complete\\n\\n7 caption files could not be copied.\\n\\nStarting folder: $(escaped "$SRC3")\\nCopy to folder: $(escaped "$DST3")"
for n in 1 2 3 4 5; do left_behind="$left_behind\\n\\n$(entry $n)"; done
left_behind="$left_behind\\n\\nand 2 more.\\n\\nThe whole list is in the record of this run:\\n"
# The record, in the user's local application data folder, named by the
# time of the run.
record_pattern='[A-Z]:(\\\\[^\\]+)+\\\\AppData\\\\Local\\\\Cuecarry\\\\run-[0-9]{8}T[0-9]{6}\.[0-9]{3}Z-[0-9]+\.txt'
start_run "$RUN"
if wait_window "Browse to the starting folder:" 120; then
    navigate "Browse to the starting folder:" "$SRC3" flow3-first 51-first-picker
    ok=$?
    confirm_or_cancel $ok flow3-first
    if [ $ok = 0 ] && wait_window "Select copy to folder:" 60; then
        sleep 1
        navigate "Select copy to folder:" "$DST3" flow3-second 52-second-picker
        ok=$?
        confirm_or_cancel $ok flow3-second
    fi
    if wait_window Cuecarry 60; then
        pass "flow3: a box captioned \"Cuecarry\" appears"
        sleep 0.5
        shot 53-message-box-names-what-was-left-behind
        check_box "$left_behind" flow3 53-message-box-names-what-was-left-behind "$record_pattern"
        finish_run flow3
    else
        shot 59-flow3-failure
        fail "flow3: a box captioned \"Cuecarry\" appears"
    fi
else
    shot 59-flow3-failure
    fail "flow3: window \"Browse to the starting folder:\" appears (waited 120 s; see $ART/flow3-wine.log)"
fi
end_run_processes
# The record that the message names holds all seven, with the reasons.
record_w=$(sed -n 's/^child class=Static .* visible=1 .* text=.*\\n\(..*\.txt\)$/\1/p' "$ART/flow3-probe.txt" | sed 's/\\\\/\\/g')
record_u=$(timeout 60 winepath -u "$record_w" 2>/dev/null)
if [ -n "$record_w" ] && [ -f "$record_u" ]; then
    tr -d '\r' <"$record_u" | sed '1s/^\xEF\xBB\xBF//' >"$ART/flow3-record.txt"
    pass "flow3: the record the message names is there ($record_w)"
else
    fail "flow3: the record the message names is there (\"$record_w\")"
fi
# Each winepath starts Wine: two, not fourteen, on a busy machine.
src3_w=$(timeout 60 winepath -w "$SRC3")
dst3_w=$(timeout 60 winepath -w "$DST3")
lines_ok=1
[ -n "$src3_w" ] && [ -n "$dst3_w" ] || lines_ok=0
for n in 1 2 3 4 5 6 7; do
    line="cuecarry: $src3_w\\Lesson0$n\\part$n.vtt -> $dst3_w\\Les_0$n\\part$n\\video\\vtt\\part$n.vtt: the file there is read-only"
    grep -qxF -- "$line" "$ART/flow3-record.txt" 2>/dev/null || lines_ok=0
done
check "flow3: the record holds all seven captions left behind, with the reason" test "$lines_ok" = 1
check "flow3: the record names the starting folder" \
    grep -qxF "Starting folder: $(timeout 60 winepath -w "$SRC3")" "$ART/flow3-record.txt"
check "flow3: the record gives the counts" grep -qxF "7 caption files could not be copied." "$ART/flow3-record.txt"
check "flow3: the read-only copies are kept" \
    test "$(cat "$DST3/Les_01/part1/video/vtt/part1.vtt")" = "published, read-only"
check "flow3: the other caption is copied" test -f "$DST3/Lab_Lab/demo/video/vtt/demo.vtt"
chmod 644 "$DST3"/Les_0*/part*/video/vtt/part*.vtt

summary

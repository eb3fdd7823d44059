# Shared by the scripts in this folder; sourced, not run.

BUILD_DIR=${CUECARRY_BUILD_DIR:-build}
# The Windows build (scripts/test-windows) sits beside the native one.
WINDOWS_BUILD_DIR=${CUECARRY_WINDOWS_BUILD_DIR:-$BUILD_DIR-windows}
TEST_USER=cuecarry-test
# The Linux build and its unit tests: curses for the terminal browser,
# GTK 3 (found with pkg-config) for cuecarry-gtk's choosers and message,
# Python for the icon drawn at build time.
NATIVE_PACKAGES=(cmake ninja-build g++ googletest libncurses-dev libgtk-3-dev pkgconf python3)
# cuecarry-gtk's end-to-end test: an X server of its own, a session bus and
# the accessibility bus that it reads the windows through, a small window
# manager, keys typed with xdotool, window states read with xprop
# (x11-utils) and screenshots taken with ImageMagick.
DESKTOP_TEST_PACKAGES=(xvfb xdotool x11-utils imagemagick dbus-x11 at-spi2-core python3-pyatspi
                       matchbox-window-manager)
# The share suite's file server and client: Samba's smbd, smbnetfs (a FUSE
# SMB client) with fuse3's fusermount3, and setfacl to open /dev/fuse.
SHARE_TEST_PACKAGES=(samba smbnetfs fuse3 acl)
# The MinGW-w64 cross toolchain of the Windows build.
MINGW_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64)
# What scripts/release needs: both builds, CPack's helpers (dpkg-shlibdeps
# from dpkg-dev, file) and Python for the zip.
RELEASE_PACKAGES=("${NATIVE_PACKAGES[@]}" "${MINGW_PACKAGES[@]}" dpkg-dev file)
# Two cores on CI and on the shared development machine.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# Prints the given Debian packages that are not installed, space-separated.
missing_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  echo "${missing[*]}"
}

# Installs the Debian packages that are missing, or says how to.
require_packages() {
  local missing=()
  read -r -a missing <<<"$(missing_packages "$@")"
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${missing[*]} ..."
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

build_native() {
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUECARRY_WERROR=ON >/dev/null
  cmake --build "$BUILD_DIR"
}

# The same build under the thread sanitizer, which proves the caption
# workers and the file services they share free of data races.
TSAN_BUILD_DIR=${CUECARRY_TSAN_BUILD_DIR:-$BUILD_DIR-tsan}
build_thread_sanitized() {
  cmake -S . -B "$TSAN_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUECARRY_WERROR=ON \
        -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
  cmake --build "$TSAN_BUILD_DIR"
}

# Runs a command as an unprivileged user when we are root and the tree is
# reachable for that user; otherwise as we are.
ensure_test_user() {
  id "$TEST_USER" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$TEST_USER"
}

run_as_test_user() {
  if [ "$(id -u)" -ne 0 ]; then
    "$@"
    return
  fi
  ensure_test_user
  for folder in "$BUILD_DIR" "$TSAN_BUILD_DIR"; do
    if [ -d "$folder" ]; then chmod -R a+rwX "$folder"; fi
  done
  if setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --clear-groups test -r "$PWD/$BUILD_DIR/CTestTestfile.cmake"; then
    setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --clear-groups env HOME="$PWD/$BUILD_DIR" "$@"
  else
    echo "note: $PWD is not readable by $TEST_USER; running the tests as root, so the permission cases are skipped" >&2
    "$@"
  fi
}

# The share suite mounts its server with FUSE as $TEST_USER. fusermount3
# opens /dev/fuse with its caller's rights, and where no udev made it 0666,
# as Debian's rules do, only root may: give $TEST_USER access for this
# script's run (an ACL entry; the ACL it had is put back at the exit).
open_fuse_to_test_user() {
  [ "$(id -u)" -eq 0 ] && [ -c /dev/fuse ] || return 0
  ensure_test_user
  setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --clear-groups sh -c 'test -r /dev/fuse && test -w /dev/fuse' && return 0
  FUSE_ACL=$(getfacl -cp /dev/fuse 2>/dev/null) || FUSE_ACL=
  if [ -n "$FUSE_ACL" ] && setfacl -m "u:$TEST_USER:rw" /dev/fuse; then
    trap 'setfacl --set-file=- /dev/fuse <<<"$FUSE_ACL"' EXIT
  else
    echo "note: /dev/fuse could not be opened to $TEST_USER; the share suite will say so" >&2
  fi
}

# The tests run as $TEST_USER when we are root, so the checkout must be
# reachable for that user. A checkout below a private folder (such as
# /root) is copied once to a world-readable place and the calling script
# runs again from there; its build folders then live in that copy.
run_from_readable_checkout() {
  [ "$(id -u)" -eq 0 ] || return 0
  ensure_test_user
  setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --clear-groups test -r "$PWD/scripts/lib.sh" && return 0
  local copy=/var/tmp/cuecarry-checkout
  echo "note: $PWD is not readable by $TEST_USER; testing a copy in $copy"
  mkdir -p "$copy"
  chmod 755 "$copy"
  # A fresh copy of the sources each time; earlier builds there are kept.
  find "$copy" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
  tar -C "$PWD" --exclude='./build*' -cf - . | tar -C "$copy" -xf -
  chmod -R a+rX "$copy"
  cd "$copy" && exec "$@"
}

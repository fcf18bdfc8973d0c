# Shared by the tools: where the tree is, and installing what a fresh Debian machine lacks.

PIXTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Everything the build, the tests and the benchmarks need, as Debian packages.
PIXTREL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libgtest-dev libbenchmark-dev
  libx11-dev libxext-dev libxi-dev libxrandr-dev libx11-xcb-dev libxcb-shm0-dev
  qt6-base-dev fonts-liberation2
  xvfb xdotool trayer xclip imagemagick x11-utils openbox
  python3
  clang libclang-rt-dev  # tools/fuzz: libFuzzer comes with clang's runtime libraries
)

# The headless Wayland desktops of the tests labelled "wayland" (tests/support/wayland_session.h):
# KWin with KDE's portal, whose screenshot dialog is QML from plasma-workspace and which is a Qt 5
# program (qtwayland5); sway with the wlroots portal, which needs PipeWire, and GTK's for the
# Access backend that the Screenshot portal needs; GNOME Shell with its portal. Our input client
# is built from KWin's fake-input protocol (plasma-wayland-protocols).
PIXTREL_WAYLAND_PACKAGES=(
  kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde plasma-workspace
  qml-module-org-kde-kirigami2 qml-module-qtquick-layouts qml-module-qtquick-controls2
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtgraphicaleffects
  qml-module-org-kde-kquickcontrolsaddons qtwayland5 qt6-wayland
  plasma-wayland-protocols libwayland-dev dbus-daemon
  sway xdg-desktop-portal-wlr xdg-desktop-portal-gtk grim pipewire
  gnome-shell xdg-desktop-portal-gnome
  wl-clipboard
)

# The unprivileged user that the tests run sway and GNOME Shell as, when they run as root: sway
# refuses root, and GNOME Shell puts a warning over the screen. Made once; no home, no login.
PIXTREL_WAYLAND_USER=pixtrel-wayland
need_wayland_user() {
  id -u "$PIXTREL_WAYLAND_USER" >/dev/null 2>&1 && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" useradd --system --no-create-home --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$PIXTREL_WAYLAND_USER"
}

# Installs the packages that are not installed yet; does nothing when all are there.
need_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  apt_update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# apt-get update, tried again while a mirror is in the middle of a sync. One index that stays
# stale is no reason to stop: apt keeps the lists it did fetch, and an install that needs the
# stale one says which package it cannot get.
apt_update() {
  local sudo=() i
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  for i in 1 2 3; do
    "${sudo[@]}" apt-get update -qq && return 0
    [ "$i" -lt 3 ] && sleep $((i * 15))
  done
  echo "apt-get update failed three times; going on with the package lists it fetched" >&2
}

# Configures (once) and builds one build folder: build_tree DIR [cmake options...]
build_tree() {
  local dir="$1"
  shift
  cmake -S "$PIXTREL_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}

# The colour of one pixel of a picture file, as #RRGGBB: pixel FILE X Y
pixel() {
  /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'
}

# Makes a picture the background of $DISPLAY's root window and checks that the screen shows
# it. The server must run with -noreset: a server that resets when its last client leaves
# drops the background with it.
paint_root() {
  local picture="$1" shot
  shot=$(mktemp --suffix=.png)
  # display sets the background, then reports failure all the same.
  display -window root "$picture" 2>/dev/null || true
  import -window root "$shot"
  if [ "$(pixel "$shot" 10 10)" = "#000000" ]; then
    rm -f "$shot"
    echo "The virtual screen did not take its background." >&2
    return 1
  fi
  rm -f "$shot"
}

# A virtual screen to show or try the program on, where there is no display: Xvfb with a
# desktop-like background and a tray host. Sets DISPLAY; stop_virtual_desktop ends it.
#   start_virtual_desktop WORK_FOLDER [WIDTHxHEIGHT]
VIRTUAL_DESKTOP_PIDS=()
start_virtual_desktop() {
  local work="$1" size="${2:-1280x800}"
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" \
    >/dev/null 2>&1 &
  VIRTUAL_DESKTOP_PIDS+=($!)
  until [ -s "$work/display" ]; do
    kill -0 "${VIRTUAL_DESKTOP_PIDS[-1]}" 2>/dev/null || { echo "Xvfb did not start" >&2; return 1; }
    sleep 0.1
  done
  export DISPLAY=":$(head -1 "$work/display")"
  /usr/bin/convert -size "$size" gradient:'#2a4870-#e8c890' "$work/desktop.png"
  paint_root "$work/desktop.png"
  trayer --edge top --align right --widthtype request --height 24 --expand false >/dev/null 2>&1 &
  VIRTUAL_DESKTOP_PIDS+=($!)
  # Its panel shows once it holds the tray: wine's explorer, started before that, would keep
  # its icons in a window of its own.
  window_shown panel || { echo "the tray host did not start" >&2; return 1; }
}

# Ends what start_virtual_desktop started, and whatever was added to VIRTUAL_DESKTOP_PIDS.
stop_virtual_desktop() {
  local i
  # The last started first: the X server goes last.
  for ((i = ${#VIRTUAL_DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${VIRTUAL_DESKTOP_PIDS[i]}" 2>/dev/null || true
    wait "${VIRTUAL_DESKTOP_PIDS[i]}" 2>/dev/null || true
  done
  VIRTUAL_DESKTOP_PIDS=()
}

# Starts the Linux program on $DISPLAY with a home of its own in WORK_FOLDER/home, so that it
# leaves the user's settings alone, and waits until its icon is in the tray.
#   start_linux_program WORK_FOLDER PROGRAM
start_linux_program() {
  local work="$1" program="$2"
  mkdir -p "$work/home" "$work/run"
  chmod 700 "$work/run"
  HOME="$work/home" XDG_CONFIG_HOME= XDG_RUNTIME_DIR="$work/run" "$program" \
    >"$work/program.log" 2>&1 &
  VIRTUAL_DESKTOP_PIDS+=($!)
  local _
  for _ in $(seq 100); do
    # grep -q would stop reading early, and pipefail count xwininfo's broken pipe as a miss.
    if xwininfo -root -tree | grep '"pixtrel": ("pixtrel"' >/dev/null; then
      # It paints a moment after it is docked.
      sleep 0.5
      return 0
    fi
    sleep 0.1
  done
  echo "$program put no icon in the tray:" >&2
  cat "$work/program.log" >&2
  return 1
}

# Whether a window of that title is mapped on $DISPLAY, waiting up to 5 s for it.
window_shown() {
  local _
  for _ in $(seq 50); do
    xwininfo -name "$1" 2>/dev/null | grep 'Map State: IsViewable' >/dev/null && return 0
    sleep 0.1
  done
  return 1
}

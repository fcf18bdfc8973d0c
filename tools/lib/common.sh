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
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
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

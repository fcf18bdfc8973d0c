# Shared by the tools: where the tree is, and installing what a fresh Debian machine lacks.

PIXTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Everything the build, the tests and the benchmarks need, as Debian packages.
PIXTREL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libgtest-dev libbenchmark-dev
  libx11-dev libxext-dev libxi-dev libxrandr-dev
  qt6-base-dev fonts-liberation2
  xvfb xdotool trayer xclip imagemagick x11-utils openbox
  python3
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

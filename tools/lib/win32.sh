# The 32-bit Windows build: the mingw-w64 toolchain, our cross-built libraries and a wine
# session to run the tests in. Sourced after common.sh.

WIN32_TOOLCHAIN="$PIXTREL_ROOT/cmake/mingw-i686.cmake"

# What cross-building needs, on top of PIXTREL_PACKAGES; and running under wine.
WIN32_PACKAGES=(
  cmake ninja-build g++-mingw-w64-i686-posix nasm
  dpkg-dev googletest
  xvfb x11-utils
  locales
)
WINE_PACKAGES=(wine wine32:i386)

# The locales whose ANSI code pages the Windows tests try besides 1252: 1251 and 932.
WIN32_TEST_LOCALES=(ru_RU ja_JP)

# Another apt or dpkg may be at work (an unattended upgrade, a second tool): let it finish.
wait_for_apt() {
  command -v fuser >/dev/null || return 0
  while fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock \
    >/dev/null 2>&1; do
    sleep 2
  done
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Whether this machine runs 32-bit x86 programs, as wine must to run Pixtrel.exe. Some kernels
# are built or booted with that off (ia32_emulation=off): then every wine run ends in "Exec
# format error". Asked of a 91-byte program that only exits.
can_run_32bit() {
  local probe="$PIXTREL_ROOT/build/.exit32" ok=1
  mkdir -p "$PIXTREL_ROOT/build"
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\x31\xc0\x40\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null && ok=0
  rm -f "$probe"
  return $ok
}

NO_32BIT="this machine cannot run 32-bit x86 programs (its kernel has 32-bit emulation off), and wine runs Pixtrel.exe as one"

# Installs what is missing: the cross toolchain, and wine with the i386 architecture that
# wine32 comes from where this machine can run it.
need_win32_packages() {
  wait_for_apt
  if ! can_run_32bit; then
    need_packages "${WIN32_PACKAGES[@]}"
    return
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    # No update here: wine32:i386 cannot be installed yet, so need_packages runs one.
  fi
  need_packages "${WIN32_PACKAGES[@]}" "${WINE_PACKAGES[@]}"
}

# Makes the UTF-8 locales of WIN32_TEST_LOCALES that this machine lacks.
need_test_locales() {
  local locale
  for locale in "${WIN32_TEST_LOCALES[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "$locale.utf-\?8"; then
      echo "Making the locale $locale.UTF-8"
      as_root localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
  done
}

# Adds deb-src lines for this machine's release when apt knows no source packages.
need_deb_src() {
  apt-cache showsrc libjpeg-turbo >/dev/null 2>&1 && return 0
  local list=/etc/apt/sources.list.d/pixtrel-deb-src.sources
  if [ ! -e "$list" ]; then
    local suite
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    as_root tee "$list" >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $suite-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  wait_for_apt
  apt_update
}

# Static libjpeg (the 62 API) for i686 Windows into DEST/include and DEST/lib, built from
# Debian's source of the libjpeg the Linux build uses. Does nothing when DEST has it already.
build_libjpeg_win32() {
  local dest="$1"
  local version
  version=$(dpkg-query -W -f='${source:Version}\n' libjpeg62-turbo 2>/dev/null | head -1 || true)
  local stamp="$dest/.libjpeg-built"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "libjpeg-turbo $version" ]; then
    return 0
  fi
  need_deb_src
  local work="$dest.libjpeg-work"
  rm -rf "$work"
  mkdir -p "$work" "$dest/include" "$dest/lib"
  if ! (cd "$work" && apt-get source "libjpeg-turbo${version:+=$version}") >"$work/log" 2>&1; then
    cat "$work/log" >&2
    return 1
  fi
  local src
  src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*')
  # SIMD kept: it encodes byte for byte as Linux does (q75/95/100, BGR/BGRX, MMX to AVX2).
  cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN32_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DENABLE_SHARED=OFF \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -Wno-dev >/dev/null
  cmake --build "$work/build" --target jpeg-static -j 2 >/dev/null
  cp "$work/build/jconfig.h" "$src"/{jerror.h,jmorecfg.h,jpeglib.h} "$dest/include/"
  cp "$work/build/libjpeg.a" "$dest/lib/"
  rm -rf "$work"
  echo "libjpeg-turbo $version" >"$stamp"
}

# Static GoogleTest and GoogleMock for i686 Windows, installed into DEST for find_package(GTest).
# Does nothing when DEST has them already.
build_gtest_win32() {
  local dest="$1"
  local version
  version=$(dpkg-query -W -f='${Version}' googletest)
  local stamp="$dest/.gtest-built"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "googletest $version" ]; then
    return 0
  fi
  local work="$dest.gtest-work"
  rm -rf "$work"
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$WIN32_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$work" -j 2 >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
  echo "googletest $version" >"$stamp"
}

# A 32-bit wine prefix in DIR/wineprefix with a wineserver that stays up, so that each of the
# many short test runs skips wine's start-up; and an Xvfb when there is no display to use.
# wine-run needs what this exports. Pair it with stop_wine_session in an EXIT trap.
start_wine_session() {
  local dir
  if ! can_run_32bit; then
    echo "wine: $NO_32BIT" >&2
    return 1
  fi
  dir=$(mkdir -p "$1" && cd "$1" && pwd)
  export WINEPREFIX="$dir/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  # A server left over by a run that was killed would answer with that run's display.
  wineserver -k 2>/dev/null || true
  WIN32_XVFB_PID=
  if [ -z "${DISPLAY:-}" ] || ! xwininfo -root >/dev/null 2>&1; then
    local display_file="$dir/xvfb-display"
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    WIN32_XVFB_PID=$!
    until [ -s "$display_file" ]; do
      kill -0 "$WIN32_XVFB_PID" 2>/dev/null || { echo "Xvfb did not start" >&2; return 1; }
      sleep 0.1
    done
    DISPLAY=":$(head -1 "$display_file")"
    export DISPLAY
  fi
  # A prefix that wineboot did not finish, or one from another wine, is made again.
  local stamp="$WINEPREFIX/.pixtrel-ready"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$(wine --version)" ] ||
    [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX"
    # No offer to download Mono or Gecko: a dialog nobody would answer.
    WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1
    # A crashing test prints its backtrace and ends, instead of waiting on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1
    # Stopping the server is what writes the registry out.
    wineserver -k 2>/dev/null || true
    wineserver -w
    wine --version >"$stamp"
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  if [ -n "$WIN32_XVFB_PID" ]; then
    # No window manager on a server of our own: wine frames its windows itself, as Windows
    # does, instead of waiting 2 s for a manager to withdraw each window that goes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  fi
  # Wine's own services start with the first program and live as long as the server. Started
  # here, they hold /dev/null; started by a test, they would hold its output pipe open, and
  # ctest or gtest_discover_tests would wait for its end until their timeout.
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot </dev/null >/dev/null 2>&1
}

# Stops what start_wine_session started; safe to call whatever state that was left in.
stop_wine_session() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
  fi
  if [ -n "${WIN32_XVFB_PID:-}" ]; then
    kill "$WIN32_XVFB_PID" 2>/dev/null || true
    wait "$WIN32_XVFB_PID" 2>/dev/null || true
    WIN32_XVFB_PID=
  fi
}

# Shared by bench/capture, bench/capture_win32 and bench/soak: a virtual screen with a desktop
# on it, a tray host, the two programs started in auto-record, and their held-key captures
# timed from their files. Sourced after tools/lib/common.sh (and tools/lib/win32.sh for the
# wine functions), with $work a scratch folder of the caller's and $xvfb_pid, $tray_pid,
# $pixtrel_pid for its cleanup.

# Starts an Xvfb of SIZE (WxH, 24-bit) that keeps its background, exports its DISPLAY and
# paints something like a desktop to compress on it: gradients, text and a noisy photo area.
start_screen() {
  local size=$1
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  until [ -s "$work/display" ]; do sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
  /usr/bin/convert -size "$size" gradient:'#2a4870-#e8e8f0' \
    \( -size "$size" xc: +noise Random -blur 0x2 -crop 50%x50%+0+0 \) -gravity southeast \
    -composite -gravity northwest -pointsize 14 -annotate +20+40 "$(seq -s ' ' 1 400)" \
    "$work/desktop.png"
  paint_root "$work/desktop.png"
}

stop_screen() {
  kill "$xvfb_pid"
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

# CPU ticks (user + system) a process has used so far.
cpu_ticks() {
  local stat
  stat=$(<"/proc/$1/stat")
  stat=${stat##*) }  # the command name may hold spaces
  awk '{ print $12 + $13 }' <<<"$stat"
}

# Waits until the files in $shots stop changing: the capture under way at a release has landed.
wait_for_last_file() {
  local now='' before i
  for ((i = 0; i < 50; i++)); do
    sleep 0.25
    before=$now
    now=$(find "$shots" -maxdepth 1 -type f -printf '%f %s %T@\n' | sort)
    [ "$now" = "$before" ] && break
  done
}

# Holds F12 for $1 ms, then waits until the capture under way at the release has landed.
# Sets held_from and held_to (ns, as the server took the press and the release) and held_ticks
# (Pixtrel's CPU ticks meanwhile).
hold_f12() {
  local ticks0 times
  ticks0=$(cpu_ticks "$pixtrel_pid")
  times=$(bench/hold_key F12 "$(echo "scale=3; $1 / 1000" | bc)")
  read -r held_from held_to <<<"$times"
  held_ticks=$(($(cpu_ticks "$pixtrel_pid") - ticks0))
  wait_for_last_file
}

# Of the last hold's files: ms a frame, keydown to first file (ms), count, CPU % of one core.
# A file older than the press is a late one from the hold before.
held_figures() {
  find "$shots" -maxdepth 1 -type f -name "*.$1" -exec stat -c %.9Y {} + | sort -n |
    awk -v t0="$held_from" -v t1="$held_to" -v cpu="$held_ticks" -v hz="$(getconf CLK_TCK)" '
      $1 * 1e3 < t0 / 1e6 { next }
      n++ == 0 { first = $1 } { last = $1 }
      END {
        if (n == 0) { print "-", "-", 0, "-", "-"; exit }
        printf "%s %.0f %d %.0f %.2f\n", n < 2 ? "-" : sprintf("%.2f", (last - first) * 1e3 / (n - 1)),
          first * 1e3 - t0 / 1e6, n, cpu * 100 / hz / ((t1 - t0) / 1e9), cpu * 1e3 / hz / n
      }'
}

# Pixtrel in auto-record writing EXT at quality Q into a fresh folder, $shots; returns once it
# polls the key. Runs in the caller's shell so that its cleanup knows the process.
start_pixtrel() {
  local ext=$1 q=$2 i
  run="$work/pixtrel"
  shots="$run/shots"
  rm -rf "$run"
  mkdir -p "$run/home" "$run/config" "$run/runtime" "$shots"
  chmod 700 "$run/runtime"
  printf '%s\r\n' '[Settings]' AutoRec=oui "AutoRecFormat=$ext" "SaveFilePath=$shots" \
    "Compression=$q" Pixtrel=F12 BordBlanc=oui >"$run/config/Pixtrel.cfg"
  : >"$run/log"
  HOME="$run/home" XDG_CONFIG_HOME="$run/config" XDG_RUNTIME_DIR="$run/runtime" \
    build/src/pixtrel 2>"$run/log" &
  pixtrel_pid=$!
  # It polls the key once its icon is in the tray; with no tray host, its one line on stderr
  # says so.
  for ((i = 0; i < 100; i++)); do
    if [ -n "${tray_pid:-}" ]; then
      tray_holds pixtrel && break
    else
      grep -q notification "$run/log" && break
    fi
    kill -0 "$pixtrel_pid" 2>/dev/null || { cat "$run/log" >&2; return 1; }
    sleep 0.1
  done
  sleep 0.3
}

# Waits until a process has used no CPU for 0.3 s (at most 10 s): a user's first press comes
# when the program sits in the tray, not while it is still starting.
wait_until_idle() {
  local before now i
  now=$(cpu_ticks "$1")
  for ((i = 0; i < 33; i++)); do
    sleep 0.3
    before=$now
    now=$(cpu_ticks "$1")
    [ "$now" = "$before" ] && return
  done
}

# Ends what start_pixtrel or start_exe started.
stop_program() {
  kill "$pixtrel_pid"
  wait "$pixtrel_pid" 2>/dev/null || true
  pixtrel_pid=
  rm -rf "$run"
}

# Pixtrel in auto-record writing EXT at quality Q. A first, short hold gives the press-to-file
# time of a fresh process (px_cold, ms), once it sits idle in the tray; the second, HOLD_MS
# long, sets px_rate (ms a frame), px_press (ms), px_files, px_cpu (% of a core) and px_cpu_ms
# (CPU milliseconds a frame, user and system), without the one-off setup.
pixtrel_held() {
  local ext=$1 q=$2 hold_ms=$3
  start_pixtrel "$ext" "$q"
  wait_until_idle "$pixtrel_pid"
  hold_f12 1000
  read -r _ px_cold _ _ <<<"$(held_figures "$ext")"
  find "$shots" -mindepth 1 -delete
  hold_f12 "$hold_ms"
  read -r px_rate px_press px_files px_cpu px_cpu_ms <<<"$(held_figures "$ext")"
  stop_program
}

# A tray host on $DISPLAY, up when this returns.
start_tray() {
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
  tray_pid=$!
  local i
  for ((i = 0; i < 50; i++)); do
    xwininfo -root -tree | grep -q '"panel"' && break
    sleep 0.1
  done
}

stop_tray() {
  kill "$tray_pid"
  wait "$tray_pid" 2>/dev/null || true
  tray_pid=
}

# Whether the tray host has taken in a window of that name.
tray_holds() {
  xwininfo -name panel -tree 2>/dev/null | grep -q "\"$1\""
}

driver=build-win32/tests/pixtrel_driver.exe
exe_title='  Pixtrel v1.2'

windows_path() {
  local path="Z:$1"
  echo "${path//\//\\}"
}

# Wine takes the tray host that is up when its session starts; a later one would not get the
# icon. A session of the caller's own in DIR (not tools/test's, whose server
# start_wine_session would stop); $in_wine tells its cleanup.
start_tray_and_wine() {
  start_tray
  in_wine=true
  start_wine_session "$1"
}

stop_tray_and_wine() {
  stop_wine_session
  in_wine=false
  stop_tray
}

# Pixtrel.exe in auto-record writing EXT at quality Q into a fresh folder, $shots, with a fresh
# Pixtrel.cfg in the prefix's Windows folder; returns once it polls the key.
start_exe() {
  local ext=$1 q=$2
  run="$work/exe"
  shots="$run/shots"
  rm -rf "$run"
  mkdir -p "$shots"
  printf '%s\r\n' '[Settings]' AutoRec=oui "AutoRecFormat=$ext" \
    "SaveFilePath=$(windows_path "$shots")" "Compression=$q" Pixtrel=F12 BordBlanc=oui \
    >"$WINEPREFIX/drive_c/windows/Pixtrel.cfg"
  wine build-win32/src/Pixtrel.exe >"$run/log" 2>&1 &
  pixtrel_pid=$!
  # Its main window is made before the timer starts polling.
  if ! wine "$driver" wait-window "$exe_title" exists 10000 >/dev/null; then
    cat "$run/log" >&2
    return 1
  fi
  sleep 0.3
}

ratio() {
  [[ $1 == - || $2 == - ]] && { echo -; return; }
  printf '%.2f\n' "$(echo "scale=4; $1 / $2" | bc)"
}

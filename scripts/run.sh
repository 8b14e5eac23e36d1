#!/usr/bin/env bash
# Installs what is missing, builds what the program needs and runs OrvelCam with the given
# arguments ("1280" or "1024" forces the screen mode).
#
# Without a display (no DISPLAY and no WAYLAND_DISPLAY) the program runs on a virtual display
# (Xvfb, 1280 x 1024 x 24) and a screenshot of it is saved every few seconds to the file named
# on start (out/screenshot.png). Without a configuration of its own the user gets a private
# demo configuration (out/demo-config/orvelcam.ini, copied fresh from res/demo on every run)
# whose first site is the DVR simulator, started here on port 9000 (or on free ports when
# 9000 to 9002 are taken) with tools/dvrsim/demo/demo.scenario, which holds recordings of today
# and yesterday for the remote search ("remote files" on the site); its log is out/dvrsim.log.
#
# Environment: ORVEL_JOBS (build jobs, default 2), ORVEL_SCREENSHOT (screenshot file),
# ORVEL_SCREENSHOT_SECONDS (interval, default 3), ORVEL_RUN_SECONDS (end the program after
# that many seconds; default: run until it is closed), ORVEL_DISPLAY_MODE (demo configuration
# only: "software" draws through the software path, anything else through OpenGL).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${ORVEL_JOBS:-2}
build_dir=${ORVEL_BUILD_DIR:-$root/build}
out_dir=$root/out
screenshot=${ORVEL_SCREENSHOT:-$out_dir/screenshot.png}
shot_seconds=${ORVEL_SCREENSHOT_SECONDS:-3}
run_seconds=${ORVEL_RUN_SECONDS:-0}
display_mode=${ORVEL_DISPLAY_MODE:-opengl}

# Background processes this script started, ended on exit (newest first).
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

install_deps() {
  bash "$root/scripts/install-deps.sh"
}

build_program() {
  cmake -S "$root" -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j"$jobs" --target orvelcam dvrsim
}

# Set by prepare_config when the demo configuration is used.
demo_ini=

# Uses the user's own orvelcam.ini when it lists sites; otherwise a private demo folder.
# (Starting the program once creates a file without sites; that one does not count.)
prepare_config() {
  local own=${XDG_CONFIG_HOME:-$HOME/.config}/orvelcam.ini
  if [ -f "$own" ] && grep -qiE '^[[:space:]]*num[[:space:]]*=[[:space:]]*[1-9]' "$own"; then
    echo "run: using the configuration $own"
    return
  fi
  local demo=$out_dir/demo-config
  mkdir -p "$demo"
  # Fresh on every run: the program writes its settings back into this file.
  install -m 0600 "$root/res/demo/orvelcam.ini" "$demo/orvelcam.ini"
  demo_ini=$demo/orvelcam.ini
  if [ "$display_mode" = software ]; then
    sed -i 's/^DISPLAY=.*/DISPLAY=GDI/' "$demo_ini"
    echo "run: the demo draws through the software path (DISPLAY=GDI)"
  fi
  export XDG_CONFIG_HOME=$demo
  echo "run: no configuration of your own; using the demo configuration $demo/orvelcam.ini"
}

# Starts the DVR simulator on command port $1 (0: free ports) in the background and sets
# sim_port to the command port once it accepts; returns 2 when a port is taken (sim_taken
# names it), 1 on any other failure.
sim_port=
sim_taken=
start_simulator() {
  local log=$out_dir/dvrsim.log
  mkdir -p "$out_dir"
  : >"$log"
  "$build_dir/tools/dvrsim/dvrsim" --port "$1" --scenario "$root/tools/dvrsim/demo/demo.scenario" \
    --log "$log" >>"$log" 2>&1 &
  local sim=$!
  local waited=0 port=
  # The simulator prints its ports once all three listen (bounded: 10 s).
  until port=$(sed -n 's/^dvrsim listening on .* ports \([0-9]*\) .*/\1/p' "$log") && [ -n "$port" ]; do
    if ! kill -0 "$sim" 2>/dev/null; then
      wait "$sim" 2>/dev/null || true
      sim_taken=$(sed -n 's/.*cannot listen on port \([0-9]*\).*/\1/p' "$log")
      if [ -n "$sim_taken" ]; then return 2; fi
      echo "run: the DVR simulator did not start:" >&2
      cat "$log" >&2
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 100 ]; then
      kill "$sim" 2>/dev/null || true
      echo "run: the DVR simulator did not listen within 10 s (see $log)" >&2
      return 1
    fi
  done
  pids+=($sim)
  # A connection to the command port proves it accepts (bounded: 5 s).
  waited=0
  until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 50 ]; then
      echo "run: the DVR simulator does not accept connections on port $port (see $log)" >&2
      return 1
    fi
  done
  sim_port=$port
}

# With the demo configuration: the DVR simulator the demo's first site points at.
start_services() {
  [ -n "$demo_ini" ] || return 0
  local port rc=0
  start_simulator 9000 || rc=$?
  if [ "$rc" -eq 2 ]; then
    echo "run: port $sim_taken is taken (the DVR simulator needs 9000 to 9002); it takes free ports instead"
    rc=0
    start_simulator 0 || rc=$?
  fi
  [ "$rc" -eq 0 ] || return 1
  port=$sim_port
  # The simulator's site and the default login use the ports it took.
  sed -i -e "s/^port10=.*/port10=$port/" -e "s/^port20=.*/port20=$((port + 1))/" \
    -e "s/^port30=.*/port30=$((port + 2))/" -e "/^\[DEFAULT\]/,/^\[/s/^port=.*/port=$port/" \
    "$demo_ini"
  echo "run: DVR simulator on 127.0.0.1 port $port (log: $out_dir/dvrsim.log)"
}

# Runs the client on the user's display (bounded by ORVEL_RUN_SECONDS when set).
run_client() {
  if [ "$run_seconds" -gt 0 ]; then
    timeout --signal=TERM "$run_seconds" "$build_dir/src/gui/orvelcam" "$@" || true
  else
    "$build_dir/src/gui/orvelcam" "$@"
  fi
}

free_display_number() {
  local n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "$n"
}

# A machine without a sound card would stop the program at "Wave Out Open failed", a box
# nobody can close on a virtual display; there the default sound device becomes ALSA's null
# device (the sound is discarded).
route_sound_to_null_device_without_card() {
  if [ -s /proc/asound/cards ] && ! grep -q "no soundcards" /proc/asound/cards; then return; fi
  [ -f /usr/share/alsa/alsa.conf ] || return 0
  mkdir -p "$out_dir"
  printf 'pcm.!default { type null }\n' >"$out_dir/asound-null.conf"
  export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$out_dir/asound-null.conf
  echo "run: no sound card; sound goes to ALSA's null device"
}

run_on_virtual_display() {
  local n
  n=$(free_display_number)
  echo "run: no display found (DISPLAY and WAYLAND_DISPLAY are unset);"
  echo "run: running on a virtual display (Xvfb :$n, 1280x1024x24)."
  echo "run: a screenshot is saved every ${shot_seconds} s to $screenshot"
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  local waited=0
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 100 ]; then echo "run: Xvfb did not start" >&2; return 1; fi
  done
  export DISPLAY=":$n"
  unset WAYLAND_DISPLAY
  route_sound_to_null_device_without_card
  mkdir -p "$(dirname "$screenshot")"
  QT_QPA_PLATFORM=xcb "$build_dir/src/gui/orvelcam" "$@" &
  local client=$!
  pids+=($client)
  local started=$SECONDS
  while kill -0 "$client" 2>/dev/null; do
    sleep "$shot_seconds"
    kill -0 "$client" 2>/dev/null || break
    import -display "$DISPLAY" -window root "$screenshot.tmp.png" 2>/dev/null &&
      mv -f "$screenshot.tmp.png" "$screenshot"
    if [ "$run_seconds" -gt 0 ] && [ $((SECONDS - started)) -ge "$run_seconds" ]; then
      echo "run: ${run_seconds} s are up; ending the program"
      kill "$client" 2>/dev/null || true
    fi
  done
  wait "$client" 2>/dev/null || true
  echo "run: the last screenshot is $screenshot"
}

main() {
  install_deps
  build_program
  prepare_config
  start_services
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    run_on_virtual_display "$@"
  else
    run_client "$@"
  fi
}

main "$@"

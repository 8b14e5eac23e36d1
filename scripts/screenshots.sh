#!/usr/bin/env bash
# Takes the operator's views on a virtual display, in both screen modes: the demo playing,
# a live pane's context menu (the demo camera 1 has preset names), the settings dialog, the
# dual camera 2 enlarged by a double click (its main picture), zoomed with the wheel and panned
# by a drag, and the full-screen window (F11). Saves
# out/shots/{main,pane-menu,settings,full-view,full-view-zoom,full-view-pan,full-screen}-{1024,1280}.png. Needs Xvfb, xdotool and
# ImageMagick's import (scripts/install-deps.sh) and a built tree (ORVEL_BUILD_DIR, default
# build/). ORVEL_DISPLAY_MODE=software takes them on the software drawing path (names end in
# -software).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${ORVEL_BUILD_DIR:-$root/build}
shots=$root/out/shots
suffix=
[ "${ORVEL_DISPLAY_MODE:-opengl}" = software ] && suffix=-software
work=$(mktemp -d)
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$shots"
printf 'pcm.!default { type null }\n' >"$work/asound-null.conf"
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$work/asound-null.conf

"$build_dir/tools/dvrsim/dvrsim" --port 0 --scenario "$root/tools/dvrsim/demo/demo.scenario" \
  --log "$work/dvrsim.log" >"$work/dvrsim.out" 2>&1 &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^dvrsim listening on .* ports \([0-9]*\) .*/\1/p' "$work/dvrsim.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "screenshots: the simulator did not start" >&2; exit 1; }

shoot() {
  local name=${1%.png}$suffix.png
  import -display "$DISPLAY" -window root "$shots/$name"
  echo "screenshots: $shots/$name"
}

for mode in 1024 1280; do
  if [ "$mode" = 1280 ]; then
    size=1280x1024 pane0="155 133" pane1="421 133" settings="1168 243"
  else
    size=1024x768 pane0="110 91" pane1="312 91" settings="906 39"
  fi
  n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  pids+=($xvfb)
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  mkdir -p "$work/config-$mode"
  install -m 0600 "$root/res/demo/orvelcam.ini" "$work/config-$mode/orvelcam.ini"
  sed -i -e "s/^port10=.*/port10=$port/" -e "s/^port20=.*/port20=$((port + 1))/" \
    -e "s/^port30=.*/port30=$((port + 2))/" -e "/^\[DEFAULT\]/,/^\[/s/^port=.*/port=$port/" \
    "$work/config-$mode/orvelcam.ini"
  [ -n "$suffix" ] && sed -i 's/^DISPLAY=.*/DISPLAY=GDI/' "$work/config-$mode/orvelcam.ini"
  XDG_CONFIG_HOME=$work/config-$mode XDG_STATE_HOME=$work/state QT_QPA_PLATFORM=xcb \
    "$build_dir/src/gui/orvelcam" "$mode" >"$work/client-$mode.log" 2>&1 &
  client=$!
  pids+=($client)
  sleep 8  # login, auto-play, first pictures
  shoot "main-$mode.png"
  # shellcheck disable=SC2086
  xdotool mousemove $pane0 click 3 &
  sleep 1.5
  shoot "pane-menu-$mode.png"
  xdotool key Escape
  sleep 0.5
  # shellcheck disable=SC2086
  xdotool mousemove $settings click 1 &
  sleep 1.5
  shoot "settings-$mode.png"
  xdotool key Escape
  sleep 0.5
  # shellcheck disable=SC2086
  xdotool mousemove $pane1 click --repeat 2 --delay 60 1
  sleep 4  # the main stream from its first key frame
  shoot "full-view-$mode.png"
  # Digital zoom: four wheel notches about the cursor, then a drag to the left.
  xdotool click --repeat 4 --delay 100 4
  sleep 1
  shoot "full-view-zoom-$mode.png"
  xdotool mousedown 1 mousemove_relative -- -150 0 mouseup 1
  sleep 1
  shoot "full-view-pan-$mode.png"
  xdotool click --repeat 2 --delay 60 1
  sleep 1
  xdotool key F11
  sleep 3
  shoot "full-screen-$mode.png"
  xdotool key Escape
  sleep 0.5
  kill "$client" "$xvfb" 2>/dev/null || true
  wait "$client" "$xvfb" 2>/dev/null || true
done

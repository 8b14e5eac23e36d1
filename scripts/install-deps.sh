#!/usr/bin/env bash
# Installs the Debian 12 packages that OrvelCam needs to build, run and test, when missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-svg-dev libgl-dev
  libavcodec-dev libavutil-dev libswscale-dev libxvidcore-dev
  libasound2-dev libspdlog-dev libavformat-dev ffmpeg
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps libgl1-mesa-dri mesa-utils imagemagick xdotool fonts-wqy-microhei
  clang libclang-rt-14-dev
  sox libsox-fmt-all
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

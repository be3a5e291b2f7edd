#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent: only missing packages are installed.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev lua5.4 liblua5.4-dev libglm-dev
  # the mesh benchmarks' yardstick
  libassimp-dev
  # the limb solver's benchmark measures KDL's chain solver beside it
  liborocos-kdl-dev
  # headless display for the program and the GL tests
  xvfb xauth xdotool xfonts-base x11-utils libxfixes-dev
  # window, OpenGL and X11 (X-Resource: whose window is whose); the program that shows the engine's dialogs
  freeglut3-dev libgl-dev libglu1-mesa-dev libegl-dev libx11-dev libxext-dev libxrandr-dev libxres-dev zenity
  # the mouse's raw movement (XInput 2)
  libxi-dev
  # texture pictures; video textures; metafile textures (the WMF player needs its fonts)
  libdevil-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libemf2svg-dev libwmf-dev fonts-urw-base35 librsvg2-dev libcairo2-dev
  # text in the scene: faces by name, glyph polygons, a sans face to fall back on
  libfontconfig-dev libftgl-dev fonts-dejavu-core
  # archives, transfers, crypto
  zlib1g-dev libminizip-dev libcurl4-openssl-dev libssl-dev
  # calls into native libraries from scripts
  libffi-dev
  # game controllers (the kernel's event devices)
  libevdev-dev
  # sound output
  libopenal-dev
  # debugger: JSON, TCP channels, command-language generators
  libjsoncpp-dev flex bison
  # frame streaming: the peer connection and VP8 (the encoder tool is the benchmark's yardstick)
  libenet-dev libvpx-dev vpx-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

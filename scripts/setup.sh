#!/usr/bin/env bash
# Installs what building Varlo needs on a Debian machine (when missing) and
# builds everything into build/. Safe to run again: it only installs what is
# missing and rebuilds what changed. With --packages-only it stops after the
# packages.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config binutils
  qtbase5-dev libqt5serialport5-dev
  libboost-dev nlohmann-json3-dev libeigen3-dev
  libbenchmark-dev
  python3-pytest python3-dev pybind11-dev python3-pybind11
  libjs-three
  chromium chromium-driver python3-selenium
  lua5.4 lua-socket liblua5.4-dev
  mosquitto mosquitto-clients libmosquitto-dev python3-paho-mqtt
  doxygen help2man
  dpkg-dev debhelper dh-python lintian man-db
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages and not root; run as root or install them: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = "--packages-only" ] && exit 0

build_dir=${VARLO_BUILD_DIR:-build}
jobs=${VARLO_JOBS:-$(nproc)}
echo "== configuring ($build_dir)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
echo "== building with $jobs jobs"
cmake --build "$build_dir" -j "$jobs"

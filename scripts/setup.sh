#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent; run as root (or with sudo available) on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev binutils
  libdeflate-dev zlib1g-dev libpng-dev libjpeg62-turbo-dev libmypaint-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev
  libtiff-dev libgif-dev imagemagick libvips-dev
  libevdev-dev libstb-dev
  python3 abigail-tools
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"

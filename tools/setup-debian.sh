#!/usr/bin/env bash
# Installs the Debian packages needed to build and test the plug-in (skips apt when all are present).
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libminizip-dev libpng-dev
  pkg-config libsndfile1-dev sox perl python3
  libfreetype-dev fonts-adf-gillius fonts-ebgaramond fonts-ocr-b fonts-font-awesome
  libx11-dev libxtst-dev libgl-dev libglx-dev libgl1-mesa-dri libglx-mesa0
  xvfb xauth x11-apps xdotool
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

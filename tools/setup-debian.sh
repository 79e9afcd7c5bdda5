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
  # The Windows build (tools/build-windows.sh) and its tests under Wine (tools/test-windows.sh):
  # MinGW-w64 compilers, dpkg-dev for unpacking the source packages of its libraries, and the 64-bit
  # Wine. The 32-bit Wine (wine32:i386, with `dpkg --add-architecture i386`) is left out: it needs a
  # kernel that runs 32-bit programs, which CI machines lack, and hundreds of i386 packages whose
  # versions must match the installed amd64 ones; tools/test-windows.sh runs the 32-bit tests only
  # where it finds one.
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools dpkg-dev
  wine wine64
  # The 32-bit x86 check (tools/test-x86-32.sh): GCC's -m32 libraries and qemu-i386 user-mode emulation,
  # which runs 32-bit programs where the kernel cannot.
  g++-multilib qemu-user-static
  # identify, convert and compare, which the Windows stage uses to check the editor's screenshot
  # (the library it preloads into Wine for that step is built with g++ and libx11-dev, listed above).
  imagemagick
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
# A mirror in the middle of a sync can fail one list (seen with an architecture's security index);
# the install below still works from the lists that did arrive, and fails loudly if it cannot.
"${as_root[@]}" apt-get update -q || echo "warning: some package lists could not be updated"
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

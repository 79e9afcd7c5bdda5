#!/usr/bin/env bash
# Cross-builds TarskVerb for Windows with MinGW-w64: tarskverb.dll, tarskverb-host.exe and the tests
# in build-win32/ (i686) and build-win64/ (x86-64), Release, statically linked.
#
# zlib (with minizip), libpng and libsndfile are compiled from Debian's own source packages, fetched
# once with `apt-get source` into build-windows-sources/ (a private package index: the system's apt
# configuration and state are left alone). The factory archive and the editor's images come from a
# Linux build of the same tree (build/, made here when missing), since their generators are Linux
# programs.
#
# Usage: tools/build-windows.sh [win32|win64]...   (both when none is named)
# TARSK_NATIVE_RESOURCES=DIR takes the resources folder of an existing Linux build instead;
# TARSK_WINDOWS_TESTS=OFF leaves the test programs out (the plug-in and the host only).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
native=${TARSK_NATIVE_BUILD:-build}
sources=${TARSK_WINDOWS_SOURCES:-$PWD/build-windows-sources}
source_packages=(zlib libpng1.6 libsndfile)

# The Debian source packages, unpacked (with Debian's patches) into $sources.
fetch_sources() {
  local missing=()
  local package
  for package in "${source_packages[@]}"; do
    if ! compgen -G "$sources/$package-*/" > /dev/null; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== fetching Debian source packages: ${missing[*]} =="
  local state="$sources/.apt"
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/sources.list.d"
  # The machine's own Debian mirrors, as source entries (the security archive carries no sources
  # for every package: the release suites are enough).
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" } !/security/' /etc/apt/sources.list.d/debian.sources \
      | sed 's/^Types: deb$/Types: deb-src/' > "$state/sources.list.d/debian.sources"
  fi
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' \
      > "$state/sources.list.d/debian.list" || true
  fi
  local apt_options=(-q -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
    -o "Dir::Etc::SourceList=$state/none.list" -o "Dir::Etc::SourceParts=$state/sources.list.d"
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update > "$state/update.log" 2>&1 || { cat "$state/update.log"; return 1; }
  (cd "$sources" && apt-get "${apt_options[@]}" source "${missing[@]}" > "$state/source.log" 2>&1) \
    || { cat "$state/source.log"; return 1; }
}

# The Linux build's resources: the factory archive and the editor's font maps and images.
native_resources() {
  [ -n "${TARSK_NATIVE_RESOURCES:-}" ] && return 0  # given: another build's resources folder
  if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release > "$native.configure.log" 2>&1 \
      || { cat "$native.configure.log"; return 1; }
  fi
  cmake --build "$native" -j "$jobs" --target tarsk_factory_archive tarsk_editor_resources
}

build_one() {
  local name=$1 arch
  case "$name" in
    win32) arch=i686 ;;
    win64) arch=x86_64 ;;
    *) echo "unknown Windows build '$name' (win32 or win64)" >&2; return 2 ;;
  esac
  local dir=build-$name
  echo "== $dir (MinGW-w64 $arch, Release) =="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-$arch.cmake" \
    -DTARSK_WINDOWS_SOURCES="$sources" -DBUILD_TESTING="${TARSK_WINDOWS_TESTS:-ON}" -DTARSK_NATIVE_RESOURCES="${TARSK_NATIVE_RESOURCES:-$PWD/$native/resources}" \
    > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

builds=("$@")
[ ${#builds[@]} -eq 0 ] && builds=(win32 win64)
fetch_sources
native_resources
for name in "${builds[@]}"; do
  build_one "$name"
done

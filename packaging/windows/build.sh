#!/usr/bin/env bash
# Builds the game for 64-bit Windows and packs it as
# build-windows/pellucane-<version>-win64.zip, from Debian's packages alone:
# mingw-w64 cross-compiles the libraries' Debian sources (fetched with
# apt-get source) and the game. The libraries are built once for a set of
# source versions, in a prefix outside the clone (see libraries.sh).
# Options: --tests also builds the test programs that run under wine
# (test-suites.sh names them).
set -euo pipefail
WINDOWS_DIR=$(cd "$(dirname "$0")" && pwd)
cd "$WINDOWS_DIR/../.."
source scripts/packages.sh
source "$WINDOWS_DIR/libraries.sh"
source packaging/zip.sh

tests=OFF
if [ "${1:-}" = --tests ]; then
  tests=ON
fi

# The cross compilers, Debian's static zlib for them, Boost's headers (the
# link to a game server, headers alone), what fetches, unpacks and builds
# the sources and packs the zip, and icotool for the program's icon.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libboost1.81-dev cmake make dpkg-dev patch xz-utils bzip2 zip icoutils)
ensure_packages "${WINDOWS_PACKAGES[@]}"
ensure_libraries

# The game, and with --tests the test programs that need no X-only helper.
build="build-windows"
log="$build/build.log"
start=$SECONDS
fresh_build_folder "$build" PELLUCANE_WINDOWS_PREFIX "$LIBRARIES_PREFIX"
# Boost's headers are the same for every target, but they sit in the build
# machine's /usr/include beside glibc's, which the cross compiler must not
# see: it gets a folder holding a link to them alone.
boost_headers="$PWD/$build/boost-headers"
mkdir -p "$boost_headers"
ln -sfn /usr/include/boost "$boost_headers/boost"
logged "$log" toolchain_cmake "$LIBRARIES_PREFIX" -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DPELLUCANE_WERROR=ON -DPELLUCANE_TESTS="$tests" \
  -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DBoost_NO_BOOST_CMAKE=ON -DBoost_INCLUDE_DIR="$boost_headers"
targets=(--target pellucane pellucane-server)
if [ "$tests" = ON ]; then
  source "$WINDOWS_DIR/test-suites.sh"
  targets+=("${WINDOWS_TEST_SUITES[@]}")
fi
logged "$log" cmake --build "$build" -j"$(nproc)" "${targets[@]}"
echo "build.sh: game built in $((SECONDS - start)) s" >&2

# The zip's own files: the game and its server, every DLL they import and
# those they import, from the prefix (anything else must be Windows's own),
# and the game's data.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|imm32|winmm|version|setupapi|msvcrt|opengl32|glu32|cfgmgr32|ws2_32|mswsock|dinput8|hid|rpcrt4|shlwapi|comdlg32|uuid)\.dll$'
add_windows_files() {
  local stage=$1 pending file dll
  cp "$build/pellucane.exe" "$build/pellucane-server.exe" "$stage/"
  cp -r data/images data/fonts data/sound "$stage/"
  pending=("$stage/pellucane.exe" "$stage/pellucane-server.exe")
  while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
      if [ -f "$stage/$dll" ] || echo "$dll" | tr 'A-Z' 'a-z' | grep -qE "$system_dlls"; then
        continue
      fi
      if [ ! -f "$LIBRARIES_PREFIX/bin/$dll" ]; then
        echo "build.sh: $file imports $dll, which is neither built here nor part of Windows" >&2
        exit 1
      fi
      cp "$LIBRARIES_PREFIX/bin/$dll" "$stage/"
      x86_64-w64-mingw32-strip --strip-unneeded "$stage/$dll"
      pending+=("$stage/$dll")
    done
  done
  x86_64-w64-mingw32-strip "$stage/pellucane.exe" "$stage/pellucane-server.exe"
}

# Text for Windows's editors: CRLF line ends (and .txt names, make_zip's).
crlf() { sed 's/\r*$/\r/'; }

# with a README for players and every licence
make_zip "$build" win64 "$WINDOWS_DIR/README-players.txt" crlf add_windows_files

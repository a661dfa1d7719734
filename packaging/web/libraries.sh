# shellcheck shell=bash
# Sourced by build.sh and tests/web/trajectory-under-node.sh: fetches the web
# build's libraries as Debian source packages and builds them with emscripten
# as static libraries into a prefix kept outside the clone, under
# /var/cache/pellucane-web (PELLUCANE_WEB_CACHE to change it), one folder for
# each set of source versions and build recipe (packaging/debian-sources.sh).
# Read by debian-sources.sh: the variables and functions named there.
# shellcheck disable=SC2034
source "$WEB_DIR/../debian-sources.sh"

TOOLCHAIN=web
LIBRARIES_CACHE=${PELLUCANE_WEB_CACHE:-/var/cache/pellucane-web}
# The game's libraries besides GL and GLUT, which emscripten brings, and
# zlib, which libpng and FreeType read compressed data with.
LIBRARY_SOURCES=(zlib libpng1.6 freetype libsdl2 libsdl2-mixer)

# Installs emscripten, the tools that fetch, unpack and build the sources and
# the packages named, and sets LIBRARIES_PREFIX to the libraries' prefix.
prepare_web_build() {
  ensure_packages emscripten cmake make dpkg-dev patch xz-utils "$@"
  # emcc's optimiser runs on Node with Debian's acorn, which another Node on
  # the path does not see by itself
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  ensure_libraries
}

# emscripten's CMake, static libraries only, those in the prefix found first.
toolchain_cmake() {
  local prefix=$1
  shift
  emcmake cmake -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@"
}

# The compiler's version, which the libraries are built with: its first line,
# read through to the end (emcc fails on a pipe closed early).
toolchain_recipe() {
  emcc --version | sed -n 1p
}

# Builds the libraries from the unpacked sources in the folder given first
# into the prefix given second, with their licences.
build_libraries() {
  local sources_dir=$1 prefix=$2 source
  local licences="$prefix/licences"
  local zlib=(-DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a")

  # zlib, static, with its own configure script (its CMake project also
  # builds a shared library of the same name)
  source=$(unpacked "$sources_dir" zlib)
  local log="$source/build-web.log"
  (cd "$source" && logged "$log" emconfigure ./configure --static --prefix="$prefix" &&
    logged "$log" emmake make -j2 libz.a && logged "$log" emmake make install)

  # libpng on that zlib, without the processor-specific filters
  source=$(unpacked "$sources_dir" libpng1.6)
  build_source "$source" "$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF "${zlib[@]}"
  cp "$source/LICENSE" "$licences/libpng.txt"

  # FreeType on the same zlib (its own copy would clash with it at link),
  # without its other optional libraries
  source=$(unpacked "$sources_dir" freetype)
  build_source "$source" "$prefix" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON "${zlib[@]}"
  cp "$source/LICENSE.TXT" "$licences/freetype.txt"
  cp "$source/docs/FTL.TXT" "$licences/freetype-FTL.txt"

  # SDL2, static, without its tests
  source=$(unpacked "$sources_dir" libsdl2)
  build_source "$source" "$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2.txt"

  # SDL2_mixer with MP3 through its built-in dr_mp3, and WAV, nothing else
  source=$(unpacked "$sources_dir" libsdl2-mixer)
  build_source "$source" "$prefix" -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF \
    -DSDL2MIXER_MP3=ON -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF -DSDL2MIXER_FLAC=OFF \
    -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF \
    -DSDL2MIXER_WAVE=ON -DSDL2MIXER_CMD=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2_mixer.txt"

  # Debian's record of each package's authors and licences (zlib's licence
  # is there)
  local package
  for package in "${LIBRARY_SOURCES[@]}"; do
    cp "$(unpacked "$sources_dir" "$package")/debian/copyright" "$licences/$package-debian-copyright.txt"
  done
}

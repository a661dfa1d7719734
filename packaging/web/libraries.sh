# shellcheck shell=bash
# Sourced by build.sh: fetches the web build's libraries as Debian source
# packages and builds them with emscripten as static libraries into a prefix
# kept outside the clone, under /var/cache/pellucane-web
# (PELLUCANE_WEB_CACHE to change it), one folder for each set of source
# versions and build recipe (packaging/debian-sources.sh).
source "$WEB_DIR/../debian-sources.sh"

# The game's libraries besides GL and GLUT, which emscripten brings, and
# zlib, which libpng and FreeType read compressed data with.
WEB_SOURCES=(zlib libpng1.6 freetype libsdl2 libsdl2-mixer)

# Installs emscripten, the tools that fetch, unpack and build the sources and
# the packages named, and sets WEB_PREFIX to the libraries' prefix.
prepare_web_build() {
  # read by debian-sources.sh
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    # shellcheck disable=SC2034
    sudo="sudo"
  fi
  ensure_packages emscripten cmake make dpkg-dev patch xz-utils "$@"
  # emcc's optimiser runs on Node with Debian's acorn, which another Node on
  # the path does not see by itself
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  ensure_web_libraries
}

# Sets WEB_PREFIX to the prefix for the current source versions and this
# recipe, building the libraries there first unless that was done already.
ensure_web_libraries() {
  # a change of recipe (the build settings, emscripten's version) builds afresh
  local recipe
  recipe=$( (declare -f build_web_libraries web_build && emcc --version | head -n 1) |
    sha256sum | cut -c1-10)
  ensure_prefix "${PELLUCANE_WEB_CACHE:-/var/cache/pellucane-web}" "$recipe" \
    build_web_libraries "${WEB_SOURCES[@]}"
  # read by build.sh
  # shellcheck disable=SC2034
  WEB_PREFIX=$LIBRARIES_PREFIX
}

# Configures, builds and installs one CMake project of the sources into the
# prefix with emscripten's CMake toolchain; libraries are found in the prefix.
web_build() {
  local source=$1 prefix=$2
  shift 2
  local build="$source/build-web"
  emcmake cmake -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@" >"$build.log" 2>&1 &&
    cmake --build "$build" -j2 >>"$build.log" 2>&1 &&
    cmake --install "$build" >>"$build.log" 2>&1 || {
    tail -n 40 "$build.log" >&2
    echo "build.sh: the web build of $source failed (the whole log: $build.log)" >&2
    return 1
  }
}

build_web_libraries() {
  local sources_dir=$1 prefix=$2 source
  local licences="$prefix/licences"
  local zlib=(-DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a")

  # zlib, static, with its own configure script (its CMake project also
  # builds a shared library of the same name)
  source=$(unpacked "$sources_dir" zlib)
  (cd "$source" && emconfigure ./configure --static --prefix="$prefix" >build-web.log 2>&1 &&
    emmake make -j2 libz.a >>build-web.log 2>&1 && emmake make install >>build-web.log 2>&1) || {
    tail -n 40 "$source/build-web.log" >&2
    echo "build.sh: the web build of $source failed" >&2
    return 1
  }

  # libpng on that zlib, without the processor-specific filters
  source=$(unpacked "$sources_dir" libpng1.6)
  web_build "$source" "$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF "${zlib[@]}"
  cp "$source/LICENSE" "$licences/libpng.txt"

  # FreeType on the same zlib (its own copy would clash with it at link),
  # without its other optional libraries
  source=$(unpacked "$sources_dir" freetype)
  web_build "$source" "$prefix" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON "${zlib[@]}"
  cp "$source/LICENSE.TXT" "$licences/freetype.txt"
  cp "$source/docs/FTL.TXT" "$licences/freetype-FTL.txt"

  # SDL2, static, without its tests
  source=$(unpacked "$sources_dir" libsdl2)
  web_build "$source" "$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2.txt"

  # SDL2_mixer with MP3 through its built-in dr_mp3, and WAV, nothing else
  source=$(unpacked "$sources_dir" libsdl2-mixer)
  web_build "$source" "$prefix" -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF \
    -DSDL2MIXER_MP3=ON -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF -DSDL2MIXER_FLAC=OFF \
    -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF \
    -DSDL2MIXER_WAVE=ON -DSDL2MIXER_CMD=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2_mixer.txt"

  # Debian's record of each package's authors and licences (zlib's licence
  # is there)
  local package
  for package in "${WEB_SOURCES[@]}"; do
    cp "$(unpacked "$sources_dir" "$package")/debian/copyright" "$licences/$package-debian-copyright.txt"
  done
}

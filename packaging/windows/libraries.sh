# shellcheck shell=bash
# Sourced by build.sh: fetches the Windows builds' libraries as Debian source
# packages and cross-builds them as DLLs into a prefix kept outside the clone,
# under /var/cache/pellucane-windows (PELLUCANE_WINDOWS_CACHE to change it), one
# folder for each set of source versions and build recipe, so that a fresh
# clone on the same machine reuses what an earlier one built
# (packaging/debian-sources.sh).
source "$WINDOWS_DIR/../debian-sources.sh"

# The source packages: the game's five libraries, mpg123 that SDL2_mixer
# decodes MP3 with (as Debian's own build does), and GoogleTest for the tests
# that run under wine (it is not shipped).
WINDOWS_SOURCES=(freeglut freetype libpng1.6 libsdl2 libsdl2-mixer mpg123 googletest)

# Sets WINDOWS_PREFIX to the prefix for the current source versions and this
# recipe, building the libraries there first unless that was done already.
ensure_libraries() {
  # a change of recipe (the build settings, the toolchain file) builds afresh
  local recipe
  recipe=$( (declare -f build_libraries cross_build && cat "$WINDOWS_DIR/toolchain-mingw64.cmake") |
    sha256sum | cut -c1-10)
  ensure_prefix "${PELLUCANE_WINDOWS_CACHE:-/var/cache/pellucane-windows}" "$recipe" \
    build_libraries "${WINDOWS_SOURCES[@]}"
  # read by build.sh
  # shellcheck disable=SC2034
  WINDOWS_PREFIX=$LIBRARIES_PREFIX
}

# Configures, builds and installs one CMake project of the sources into the prefix.
cross_build() {
  local source=$1 prefix=$2
  shift 2
  local build="$source/build-windows"
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_DIR/toolchain-mingw64.cmake" \
    -DPELLUCANE_WINDOWS_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release "$@" >"$build.log" 2>&1 &&
    cmake --build "$build" -j"$(nproc)" >>"$build.log" 2>&1 &&
    cmake --install "$build" >>"$build.log" 2>&1 || {
    tail -n 40 "$build.log" >&2
    echo "build.sh: the cross build of $source failed (the whole log: $build.log)" >&2
    return 1
  }
}

build_libraries() {
  local sources_dir=$1 prefix=$2 source
  local zlib=/usr/x86_64-w64-mingw32
  local licences="$prefix/licences"

  # libpng, with Debian's static mingw zlib linked in
  source=$(unpacked "$sources_dir" libpng1.6)
  cross_build "$source" "$prefix" -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$zlib/include" -DZLIB_LIBRARY="$zlib/lib/libz.a"
  cp "$source/LICENSE" "$licences/libpng.txt"
  cp /usr/share/doc/libz-mingw-w64-dev/copyright "$licences/zlib.txt"

  # FreeType without its optional libraries
  source=$(unpacked "$sources_dir" freetype)
  cross_build "$source" "$prefix" -DBUILD_SHARED_LIBS=ON -DFT_DISABLE_ZLIB=ON \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cp "$source/LICENSE.TXT" "$licences/freetype.txt"
  cp "$source/docs/FTL.TXT" "$licences/freetype-FTL.txt"

  # freeglut, the DLL alone
  source=$(unpacked "$sources_dir" freeglut)
  cross_build "$source" "$prefix" -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=OFF \
    -DFREEGLUT_BUILD_SHARED_LIBS=ON
  cp "$source/COPYING" "$licences/freeglut.txt"

  # SDL2 without its tests
  source=$(unpacked "$sources_dir" libsdl2)
  cross_build "$source" "$prefix" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL_TESTS=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2.txt"

  # mpg123, the library alone: the decoder Debian's SDL2_mixer uses. (The
  # dr_mp3 built into SDL2_mixer keeps the encoder's delay and padding: the
  # music would start late and loop with a gap, the effects run long.)
  source=$(unpacked "$sources_dir" mpg123)
  cross_build "$source/ports/cmake" "$prefix" -DBUILD_SHARED_LIBS=ON -DBUILD_PROGRAMS=OFF \
    -DBUILD_LIBOUT123=OFF -DNETWORK=OFF
  cp "$source/COPYING" "$licences/mpg123.txt"

  # SDL2_mixer with MP3 through mpg123, linked (mpg123 exports only its
  # 64-bit file offset functions) and WAV, nothing else (Debian's source has
  # none of the bundled libraries)
  source=$(unpacked "$sources_dir" libsdl2-mixer)
  cross_build "$source" "$prefix" -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF \
    -DSDL2MIXER_MP3=ON -DSDL2MIXER_MP3_DRMP3=OFF -DSDL2MIXER_MP3_MPG123=ON \
    -DSDL2MIXER_MP3_MPG123_SHARED=OFF -DCMAKE_C_FLAGS=-D_FILE_OFFSET_BITS=64 -DSDL2MIXER_FLAC=OFF \
    -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF \
    -DSDL2MIXER_WAVE=ON -DSDL2MIXER_CMD=OFF -DCMAKE_PREFIX_PATH="$prefix"
  cp "$source/LICENSE.txt" "$licences/SDL2_mixer.txt"

  # GoogleTest, static, for the tests run under wine (Windows's own threads)
  source=$(unpacked "$sources_dir" googletest)
  cross_build "$source" "$prefix" -DBUILD_GMOCK=OFF -DBUILD_SHARED_LIBS=OFF \
    -Dgtest_disable_pthreads=ON

  # Debian's record of each package's authors and licences
  local package
  for package in "${WINDOWS_SOURCES[@]}"; do
    [ "$package" = googletest ] && continue
    cp "$(unpacked "$sources_dir" "$package")/debian/copyright" "$licences/$package-debian-copyright.txt"
  done
}

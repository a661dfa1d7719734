# shellcheck shell=bash
# Sourced by build.sh: fetches the Windows builds' libraries as Debian source
# packages and cross-builds them as DLLs into a prefix kept outside the clone,
# under /var/cache/pellucane-windows (PELLUCANE_WINDOWS_CACHE to change it), one
# folder for each set of source versions and build recipe, so that a fresh
# clone on the same machine reuses what an earlier one built
# (packaging/debian-sources.sh).
# Read by debian-sources.sh: the variables and functions named there.
# shellcheck disable=SC2034
source "$WINDOWS_DIR/../debian-sources.sh"

TOOLCHAIN=windows
LIBRARIES_CACHE=${PELLUCANE_WINDOWS_CACHE:-/var/cache/pellucane-windows}
# The source packages: the game's five libraries, mpg123 that SDL2_mixer
# decodes MP3 with (as Debian's own build does), and GoogleTest for the tests
# that run under wine (it is not shipped).
LIBRARY_SOURCES=(freeglut freetype libpng1.6 libsdl2 libsdl2-mixer mpg123 googletest)

# CMake with the mingw-w64 toolchain file, the libraries in the prefix found
# first.
toolchain_cmake() {
  local prefix=$1
  shift
  cmake -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_DIR/toolchain-mingw64.cmake" \
    -DPELLUCANE_WINDOWS_PREFIX="$prefix" "$@"
}

# The toolchain file, which the libraries are built with.
toolchain_recipe() {
  cat "$WINDOWS_DIR/toolchain-mingw64.cmake"
}

# Builds the libraries from the unpacked sources in the folder given first
# into the prefix given second, with their licences.
build_libraries() {
  local sources_dir=$1 prefix=$2 source
  local zlib=/usr/x86_64-w64-mingw32
  local licences="$prefix/licences"

  # libpng, with Debian's static mingw zlib linked in
  source=$(unpacked "$sources_dir" libpng1.6)
  build_source "$source" "$prefix" -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$zlib/include" -DZLIB_LIBRARY="$zlib/lib/libz.a"
  cp "$source/LICENSE" "$licences/libpng.txt"
  cp /usr/share/doc/libz-mingw-w64-dev/copyright "$licences/zlib.txt"

  # FreeType without its optional libraries
  source=$(unpacked "$sources_dir" freetype)
  build_source "$source" "$prefix" -DBUILD_SHARED_LIBS=ON -DFT_DISABLE_ZLIB=ON \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cp "$source/LICENSE.TXT" "$licences/freetype.txt"
  cp "$source/docs/FTL.TXT" "$licences/freetype-FTL.txt"

  # freeglut, the DLL alone
  source=$(unpacked "$sources_dir" freeglut)
  build_source "$source" "$prefix" -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=OFF \
    -DFREEGLUT_BUILD_SHARED_LIBS=ON
  cp "$source/COPYING" "$licences/freeglut.txt"

  # SDL2 without its tests
  source=$(unpacked "$sources_dir" libsdl2)
  build_source "$source" "$prefix" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL_TESTS=OFF
  cp "$source/LICENSE.txt" "$licences/SDL2.txt"

  # mpg123, the library alone: the decoder Debian's SDL2_mixer uses. (The
  # dr_mp3 built into SDL2_mixer keeps the encoder's delay and padding: the
  # music would start late and loop with a gap, the effects run long.)
  source=$(unpacked "$sources_dir" mpg123)
  build_source "$source/ports/cmake" "$prefix" -DBUILD_SHARED_LIBS=ON -DBUILD_PROGRAMS=OFF \
    -DBUILD_LIBOUT123=OFF -DNETWORK=OFF
  cp "$source/COPYING" "$licences/mpg123.txt"

  # SDL2_mixer with MP3 through mpg123, linked (mpg123 exports only its
  # 64-bit file offset functions) and WAV, nothing else (Debian's source has
  # none of the bundled libraries)
  source=$(unpacked "$sources_dir" libsdl2-mixer)
  build_source "$source" "$prefix" -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF \
    -DSDL2MIXER_MP3=ON -DSDL2MIXER_MP3_DRMP3=OFF -DSDL2MIXER_MP3_MPG123=ON \
    -DSDL2MIXER_MP3_MPG123_SHARED=OFF -DCMAKE_C_FLAGS=-D_FILE_OFFSET_BITS=64 -DSDL2MIXER_FLAC=OFF \
    -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF \
    -DSDL2MIXER_WAVE=ON -DSDL2MIXER_CMD=OFF -DCMAKE_PREFIX_PATH="$prefix"
  cp "$source/LICENSE.txt" "$licences/SDL2_mixer.txt"

  # GoogleTest, static, for the tests run under wine (Windows's own threads)
  source=$(unpacked "$sources_dir" googletest)
  build_source "$source" "$prefix" -DBUILD_GMOCK=OFF -DBUILD_SHARED_LIBS=OFF \
    -Dgtest_disable_pthreads=ON

  # Debian's record of each package's authors and licences
  local package
  for package in "${LIBRARY_SOURCES[@]}"; do
    [ "$package" = googletest ] && continue
    cp "$(unpacked "$sources_dir" "$package")/debian/copyright" "$licences/$package-debian-copyright.txt"
  done
}

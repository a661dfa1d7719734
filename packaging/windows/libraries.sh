# shellcheck shell=bash
# Sourced by build.sh: fetches the Windows builds' libraries as Debian source
# packages and cross-builds them as DLLs into a prefix kept outside the clone,
# under /var/cache/pellucane-windows (PELLUCANE_WINDOWS_CACHE to change it), one
# folder for each set of source versions and build recipe, so that a fresh
# clone on the same machine reuses what an earlier one built.

# The source packages: the game's five libraries, mpg123 that SDL2_mixer
# decodes MP3 with (as Debian's own build does), and GoogleTest for the tests
# that run under wine (it is not shipped).
WINDOWS_SOURCES=(freeglut freetype libpng1.6 libsdl2 libsdl2-mixer mpg123 googletest)

# A deb-src entry beside each of Debian's binary entries, unless one exists:
# the machines are set up with binary entries only, and apt-get source needs
# the source lists.
ensure_deb_src() {
  local sources=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  if grep -qsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' "${sources[@]}"; then
    return 0
  fi
  local added
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    added=/etc/apt/sources.list.d/pellucane-deb-src.sources
    sed 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      ${sudo:-} tee "$added" >/dev/null
  elif grep -qsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    added=/etc/apt/sources.list.d/pellucane-deb-src.list
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list | ${sudo:-} tee "$added" >/dev/null
  else
    echo "build.sh: no Debian archive entry in /etc/apt to add a deb-src entry beside" >&2
    return 1
  fi
  echo "build.sh: added $added, a deb-src entry for Debian's archive (apt-get source needs one)" >&2
  $sudo apt-get update -qq >&2
}

# "name_version" of the source package apt-get source would fetch now.
source_version() {
  apt-get source --print-uris -qq "$1" 2>/dev/null | grep -o "[^/' ]*\.dsc'" | head -n 1 |
    sed -e "s/\.dsc'\$//" -e 's/%2[bB]/+/g'
}

# Fetches and unpacks a source package in the current folder: the version
# apt-get source chooses or, when the archive no longer serves that one (a
# security update's sources can lag behind), the newest earlier one it has.
fetch_source() {
  local package=$1 version
  if apt-get source -qq "$package" >fetch-$package.log 2>&1; then
    return 0
  fi
  if unpack_without_signature "$package"; then
    return 0
  fi
  for version in $(apt-cache showsrc --only-source "$package" | sed -n 's/^Version: //p' | sort -rV); do
    if apt-get source -qq --only-source "$package=$version" >>fetch-$package.log 2>&1; then
      echo "build.sh: $package: the archive serves version $version" >&2
      return 0
    fi
  done
  cat fetch-$package.log >&2
  echo "build.sh: apt-get source cannot fetch $package" >&2
  return 1
}

# When the archive serves a source package's files but not the upstream
# signature its .dsc lists (mpg123's orig.tar.bz2.asc), apt-get source has
# fetched and checked the rest against the archive's index, and dpkg-source
# refuses to unpack: unpacks the upstream tarball and Debian's folder by hand
# and applies Debian's patches, as dpkg-source would.
unpack_without_signature() {
  local package=$1 orig debian folder patch file
  orig=""
  for file in "$package"_*.orig.tar.*; do
    if [ -e "$file" ] && [[ $file != *.asc ]]; then
      orig=$file
      break
    fi
  done
  debian=$(ls -- "$package"_*.debian.tar.* 2>/dev/null | head -n 1)
  if [ -z "$orig" ] || [ -z "$debian" ] || ! grep -q '\.asc' fetch-$package.log; then
    return 1
  fi
  folder=$package-$(echo "$orig" | sed -e "s/^${package}_//" -e 's/\.orig\.tar\..*$//')
  mkdir "$folder"
  tar -xf "$orig" -C "$folder" --strip-components=1
  tar -xf "$debian" -C "$folder"
  if [ -f "$folder/debian/patches/series" ]; then
    while read -r patch _; do
      case $patch in '' | '#'*) continue ;; esac
      patch -d "$folder" -p1 -s <"$folder/debian/patches/$patch"
    done <"$folder/debian/patches/series"
  fi
  echo "build.sh: $package: the archive lacks its upstream signature; unpacked $orig and $debian by hand" >&2
}

# Sets WINDOWS_PREFIX to the prefix for the current source versions and this
# recipe, building the libraries there first unless that was done already.
ensure_libraries() {
  ensure_deb_src
  local versions=() package version
  for package in "${WINDOWS_SOURCES[@]}"; do
    version=$(source_version "$package")
    if [ -z "$version" ]; then
      # entries just added, or lists not fetched since
      $sudo apt-get update -qq >&2
      version=$(source_version "$package")
    fi
    if [ -z "$version" ]; then
      echo "build.sh: apt-get source finds no source package $package" >&2
      return 1
    fi
    versions+=("$version")
  done
  # a change of recipe (the build settings, the toolchain file) builds afresh
  local recipe
  recipe=$( (declare -f build_libraries cross_build && cat "$WINDOWS_DIR/toolchain-mingw64.cmake") |
    sha256sum | cut -c1-10)
  local cache=${PELLUCANE_WINDOWS_CACHE:-/var/cache/pellucane-windows}
  local key
  key="$(IFS=,; echo "${versions[*]}"),$recipe"
  WINDOWS_PREFIX="$cache/$key/prefix"
  $sudo mkdir -p "$cache"
  $sudo chown "$(id -u):$(id -g)" "$cache"
  # one build of a set at a time; a second run waits for it and reuses it
  exec 9>"$cache/$key.lock"
  flock 9
  if [ -f "$cache/$key/done" ]; then
    echo "build.sh: libraries already built in $WINDOWS_PREFIX" >&2
    exec 9>&-
    return 0
  fi
  echo "build.sh: building the libraries into $WINDOWS_PREFIX" >&2
  local start=$SECONDS
  rm -rf "${cache:?}/${key:?}"
  mkdir -p "$cache/$key/sources" "$WINDOWS_PREFIX/licences"
  for package in "${WINDOWS_SOURCES[@]}"; do
    (cd "$cache/$key/sources" && fetch_source "$package")
  done
  build_libraries "$cache/$key/sources" "$WINDOWS_PREFIX"
  # the versions built, which may be older than the key's
  (cd "$cache/$key/sources" && ls -- *.dsc | sed 's/\.dsc$//') >"$cache/$key/versions"
  rm -rf "$cache/$key/sources"
  touch "$cache/$key/done"
  echo "build.sh: libraries built in $((SECONDS - start)) s" >&2
  exec 9>&-
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

# The unpacked source folder of a source package.
unpacked() {
  find "$1" -maxdepth 1 -mindepth 1 -type d -name "$2-[0-9]*" | head -n 1
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

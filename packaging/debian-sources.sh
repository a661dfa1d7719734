# shellcheck shell=bash
# Sourced by the Windows and the web builds' libraries.sh, after
# scripts/packages.sh: fetches libraries as Debian source packages and builds
# them once into a prefix kept outside the clone, one folder for each set of
# source versions and build recipe, so that a fresh clone on the same machine
# reuses what an earlier one built. The sourcing file names its toolchain:
# TOOLCHAIN (web or windows), LIBRARY_SOURCES (the source packages),
# LIBRARIES_CACHE (the cache folder), toolchain_cmake (configures a CMake
# project for the prefix given first), toolchain_recipe (what else, besides
# the functions here, makes the libraries differ) and build_libraries (builds
# the sources' folder given first into the prefix given second).

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
      $SUDO tee "$added" >/dev/null
  elif grep -qsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    added=/etc/apt/sources.list.d/pellucane-deb-src.list
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list | $SUDO tee "$added" >/dev/null
  else
    echo "build.sh: no Debian archive entry in /etc/apt to add a deb-src entry beside" >&2
    return 1
  fi
  echo "build.sh: added $added, a deb-src entry for Debian's archive (apt-get source needs one)" >&2
  $SUDO apt-get update -qq >&2
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

# The unpacked source folder of a source package.
unpacked() {
  find "$1" -maxdepth 1 -mindepth 1 -type d -name "$2-[0-9]*" | head -n 1
}

# Configures, builds and installs the CMake project in the folder SOURCE into
# PREFIX with the toolchain, and the project's SETTINGS; the log is
# SOURCE/build-TOOLCHAIN.log.
# Usage: build_source SOURCE PREFIX SETTING...
build_source() {
  local source=$1 prefix=$2
  shift 2
  local build="$source/build-$TOOLCHAIN"
  local log="$build.log"
  : >"$log"
  logged "$log" toolchain_cmake "$prefix" -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release "$@" &&
    logged "$log" cmake --build "$build" -j"$(nproc)" &&
    logged "$log" cmake --install "$build"
}

# Sets LIBRARIES_PREFIX to the prefix for the current versions of the source
# packages and this recipe in the cache folder, building the libraries there
# first unless that was done already. A change of recipe (the functions that
# build, the toolchain's version) builds afresh.
ensure_libraries() {
  local recipe
  recipe=$( (declare -f build_libraries build_source toolchain_cmake && toolchain_recipe) |
    sha256sum | cut -c1-10)
  ensure_prefix "$LIBRARIES_CACHE" "$recipe" build_libraries "${LIBRARY_SOURCES[@]}"
}

# Sets LIBRARIES_PREFIX to the prefix for the current versions of the source
# packages and the recipe (a hash of the build settings) in the cache folder,
# first calling the build function with the unpacked sources' folder and the
# prefix unless that was done already.
# Usage: ensure_prefix CACHE RECIPE BUILD_FUNCTION SOURCE_PACKAGE...
ensure_prefix() {
  local cache=$1 recipe=$2 build_function=$3
  shift 3
  ensure_deb_src
  local versions=() package version
  for package in "$@"; do
    version=$(source_version "$package")
    if [ -z "$version" ]; then
      # entries just added, or lists not fetched since
      $SUDO apt-get update -qq >&2
      version=$(source_version "$package")
    fi
    if [ -z "$version" ]; then
      echo "build.sh: apt-get source finds no source package $package" >&2
      return 1
    fi
    versions+=("$version")
  done
  local key
  key="$(IFS=,; echo "${versions[*]}"),$recipe"
  LIBRARIES_PREFIX="$cache/$key/prefix"
  $SUDO mkdir -p "$cache"
  $SUDO chown "$(id -u):$(id -g)" "$cache"
  # one build of a set at a time; a second run waits for it and reuses it
  exec 9>"$cache/$key.lock"
  flock 9
  if [ -f "$cache/$key/done" ]; then
    echo "build.sh: libraries already built in $LIBRARIES_PREFIX" >&2
    exec 9>&-
    return 0
  fi
  echo "build.sh: building the libraries into $LIBRARIES_PREFIX" >&2
  local start=$SECONDS
  rm -rf "${cache:?}/${key:?}"
  mkdir -p "$cache/$key/sources" "$LIBRARIES_PREFIX/licences"
  for package in "$@"; do
    (cd "$cache/$key/sources" && fetch_source "$package")
  done
  "$build_function" "$cache/$key/sources" "$LIBRARIES_PREFIX"
  # the versions built, which may be older than the key's
  (cd "$cache/$key/sources" && ls -- *.dsc | sed 's/\.dsc$//') >"$cache/$key/versions"
  rm -rf "$cache/$key/sources"
  touch "$cache/$key/done"
  echo "build.sh: libraries built in $((SECONDS - start)) s" >&2
  exec 9>&-
}

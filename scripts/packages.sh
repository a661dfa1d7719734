# shellcheck shell=bash
# The package lists below are read by the scripts that source this file.
# shellcheck disable=SC2034
# Sourced by play.sh and test.sh: installs the Debian packages that are
# missing, non-interactively (CI has no standard input).
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing ${missing[*]}" >&2
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  $sudo apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# What building and running the game needs.
BUILD_PACKAGES=(build-essential cmake pkg-config freeglut3-dev libgl-dev libglu1-mesa-dev
  libgl1-mesa-dri libfreetype-dev libpng-dev libsdl2-mixer-dev)

# What the tests need besides: test and benchmark libraries, the formatter, a
# virtual X server and the tools that drive it, and the tools that check the
# installed game and build its Debian package, and the JSON reader of the
# driver's browser side.
TEST_PACKAGES=(clang-format shellcheck libgtest-dev libbenchmark-dev xvfb xauth xdotool libxtst-dev imagemagick x11-utils
  desktop-file-utils appstream groff-base dpkg-dev file nlohmann-json3-dev lintian)

# What test.sh's sanitizer build, fuzz harnesses and broken-data check need.
HARDENING_PACKAGES=(clang libclang-rt-dev python3)

# Configures build/ with the tests ON or OFF (the first argument) and builds
# it; further arguments go to the build, e.g. --target pellucane.
build_game() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPELLUCANE_WERROR=ON -DPELLUCANE_TESTS="$1" >&2
  cmake --build build -j"$(nproc)" "${@:2}" >&2
}

# The game's version, from project() in CMakeLists.txt.
project_version() {
  sed -n 's/^project(Pellucane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# Makes the build folder FOLDER for libraries in the prefix PREFIX, which the
# cache variable VARIABLE names there, with an empty FOLDER/build.log: a
# folder built against another prefix has the old one's libraries in its
# cache, and starts afresh.
fresh_build_folder() {
  local folder=$1 variable=$2 prefix=$3
  if [ -f "$folder/CMakeCache.txt" ] &&
    ! grep -qxF "$variable:UNINITIALIZED=$prefix" "$folder/CMakeCache.txt"; then
    rm -rf "$folder"
  fi
  mkdir -p "$folder"
  : >"$folder/build.log"
}

# Runs a command with its output added to LOG; when it fails, shows the log's
# end and fails.
logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || {
    tail -n 60 "$log" >&2
    return 1
  }
}

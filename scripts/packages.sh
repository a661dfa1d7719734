# shellcheck shell=bash
# Sourced by every script that builds, tests, packages or releases the game:
# what they share of installing Debian's packages, building and logging.
# The package lists and SUDO are read by the scripts that source this file.
# shellcheck disable=SC2034

# "sudo" for the commands that change the system, unless run as root.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# Installs the Debian packages named that are missing, non-interactively (CI
# has no standard input), waiting for another apt or dpkg to finish first.
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
  local wait=(-o DPkg::Lock::Timeout=900)
  $SUDO apt-get "${wait[@]}" update -qq >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${wait[@]}" install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
}

# What building and running the game needs.
BUILD_PACKAGES=(build-essential cmake pkg-config freeglut3-dev libgl-dev libglu1-mesa-dev
  libgl1-mesa-dri libfreetype-dev libpng-dev libsdl2-mixer-dev libboost1.81-dev)

# What the tests need besides: test and benchmark libraries, the formatter, a
# virtual X server, a window manager that sizes windows itself and the tools
# that drive them, and the tools that check the
# installed game and build its Debian package, the JSON reader of the
# driver's browser side, and ip for the emulated links' network namespaces.
TEST_PACKAGES=(clang-format shellcheck libgtest-dev libbenchmark-dev xvfb xauth xdotool libxtst-dev imagemagick x11-utils
  matchbox-window-manager desktop-file-utils appstream groff-base dpkg-dev file nlohmann-json3-dev lintian
  iproute2)

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
# end and where the whole log is, and fails.
logged() {
  local log=$1
  shift
  "$@" >>"$log" 2>&1 || {
    tail -n 60 "$log" >&2
    echo "${0##*/}: $1 failed (the whole log: $log)" >&2
    return 1
  }
}

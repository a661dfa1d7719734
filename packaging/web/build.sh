#!/usr/bin/env bash
# Builds the game for the browser and packs it as
# build-web/pellucane-<version>-web.zip, from Debian's packages alone:
# emscripten builds the libraries' Debian sources (fetched with apt-get
# source) and the game. The libraries are built once for a set of source
# versions, in a prefix outside the clone (see libraries.sh).
set -euo pipefail
WEB_DIR=$(cd "$(dirname "$0")" && pwd)
cd "$WEB_DIR/../.."
source scripts/packages.sh

source "$WEB_DIR/libraries.sh"
source packaging/zip.sh
# and zip, which packs the site
prepare_web_build zip

# The game.
build="build-web"
log="$build/build.log"
start=$SECONDS
fresh_build_folder "$build" PELLUCANE_WEB_PREFIX "$LIBRARIES_PREFIX"
logged "$log" emcmake cmake -S . -B "$build" -DPELLUCANE_WEB_PREFIX="$LIBRARIES_PREFIX" \
  -DCMAKE_BUILD_TYPE=Release -DPELLUCANE_WERROR=ON -DPELLUCANE_TESTS=OFF
logged "$log" cmake --build "$build" -j2 --target pellucane
echo "build.sh: game built in $((SECONDS - start)) s" >&2

# The zip's own files: the page, the game and its data package, and
# emscripten's licence; emscripten names the data package by a random UUID
# (for a cache the page does not use): the zip's names it by its contents
# instead.
add_web_files() {
  local stage=$1 uuid
  cp "$WEB_DIR/index.html" "$build"/pellucane.{js,wasm,data} "$stage/"
  cp /usr/share/doc/emscripten/copyright "$stage/licences/emscripten-debian-copyright.txt"
  uuid=$(sha256sum "$stage/pellucane.data" | sed -E 's/^(.{8})(.{4})(.{4})(.{4})(.{12}).*/\1-\2-\3-\4-\5/')
  sed -i -E "s/\"package_uuid\":\"[0-9a-f-]{36}\"/\"package_uuid\":\"$uuid\"/" "$stage/pellucane.js"
}
# with a README for whoever hosts it and every licence
make_zip "$build" web "$WEB_DIR/README-hosts.txt" cat add_web_files

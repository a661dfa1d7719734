# shellcheck shell=bash
# Sourced by the Windows and the web builds, from the clone's root, after
# scripts/packages.sh and their libraries.sh: stages and packs their zip.
source packaging/reproducible.sh

# Stages BUILD/pellucane-VERSION-KIND/ and packs it as a zip beside it: what
# the function ADD_FILES copies into the folder it is given, the README for
# the zip's readers (its @VERSION@ filled in), the game's licence and
# copyright, the libraries' licences and their exact source versions, each
# text written through the filter TEXT (cat, or one for Windows's line ends).
# Usage: make_zip BUILD KIND README TEXT ADD_FILES
make_zip() {
  local build=$1 kind=$2 readme=$3 text=$4 add_files=$5
  local version name stage licence
  version=$(project_version)
  name=pellucane-$version-$kind
  stage="$build/$name"
  rm -rf "$stage" "$build/$name.zip"
  mkdir -p "$stage/licences"
  "$add_files" "$stage"
  sed "s/@VERSION@/$version/" "$readme" | "$text" >"$stage/README.txt"
  "$text" <LICENSE >"$stage/LICENSE.txt"
  "$text" <packaging/copyright >"$stage/licences/pellucane-copyright.txt"
  for licence in "$LIBRARIES_PREFIX"/licences/*; do
    "$text" <"$licence" >"$stage/licences/${licence##*/}"
  done
  "$text" <"$(dirname "$LIBRARIES_PREFIX")/versions" >"$stage/licences/debian-source-versions.txt"
  pack_zip "$build" "$name"
  echo "${0##*/}: wrote $PWD/$build/$name.zip ($(du -k "$build/$name.zip" | cut -f1) KiB)" >&2
}

#!/usr/bin/env bash
# Releases a commit (HEAD unless given) twice and compares: two fresh clones
# at different paths, released one after the other with different umasks
# and time zones, must write the same release/ byte for byte; diffoscope
# shows any difference. Slow (two whole releases): not part of .ci/run.
# Usage: packaging/reproducible-check.sh [COMMIT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages git diffoscope-minimal
commit=$(git rev-parse "${1:-HEAD}")
scratch=$(mktemp -d /tmp/pellucane-reproducible-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

release() { # CLONE UMASK TZ
  local start=$SECONDS
  (umask "$2" && git clone -q --no-checkout "$PWD" "$1" && git -C "$1" checkout -q "$commit" &&
    cd "$1" && TZ=$3 nice -n 19 packaging/release.sh >"$1.log" 2>&1) ||
    { cat "$1.log" >&2; echo "reproducible-check: the release in $1 failed" >&2; exit 1; }
  echo "reproducible-check: released in $1 (umask $2, TZ=$3) in $((SECONDS - start)) s" >&2
}
release "$scratch/first" 022 UTC
release "$scratch/a/second/clone" 077 Pacific/Kiritimati
diffoscope --exclude-directory-metadata recursive --text - "$scratch/first/release" "$scratch/a/second/clone/release" ||
  { echo "reproducible-check: the two releases of $commit differ" >&2; exit 1; }
cat "$scratch/first/release/SHA256SUMS"
echo "reproducible-check: the two releases of $commit are the same, file for file" >&2

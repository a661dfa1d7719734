#!/usr/bin/env bash
# Builds a release of the commit twice and compares: two clones at different
# paths, built one after the other with different time zones and umasks,
# must write the same release/ byte for byte. On a difference, diffoscope
# shows where it lies. Slow (two whole releases): not part of .ci/run.
# Usage: packaging/reproducible-check.sh [COMMIT]   (HEAD unless given)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages git diffoscope-minimal

commit=$(git rev-parse "${1:-HEAD}")
scratch=$(mktemp -d /tmp/pellucane-reproducible-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# a clone and a release in it, under the umask and time zone given
release() {
  local clone=$1 mask=$2 zone=$3 start=$SECONDS
  (
    umask "$mask"
    git clone -q --no-checkout "$PWD" "$clone"
    git -C "$clone" checkout -q "$commit"
    cd "$clone" && TZ=$zone nice -n 19 packaging/release.sh >"$clone.log" 2>&1
  ) || {
    cat "$clone.log" >&2
    echo "reproducible-check: the release in $clone failed" >&2
    exit 1
  }
  echo "reproducible-check: $clone (umask $mask, TZ=$zone): $((SECONDS - start)) s" >&2
}
release "$scratch/first" 022 UTC
release "$scratch/a/second/clone" 077 Pacific/Kiritimati

if cmp -s "$scratch/first/release/SHA256SUMS" "$scratch/a/second/clone/release/SHA256SUMS"; then
  cat "$scratch/first/release/SHA256SUMS"
  echo "reproducible-check: the two releases of $commit are the same, file for file" >&2
  exit 0
fi
diff "$scratch/first/release/SHA256SUMS" "$scratch/a/second/clone/release/SHA256SUMS" >&2 || true
for file in $(cd "$scratch/first/release" && ls); do
  if ! cmp -s "$scratch/first/release/$file" "$scratch/a/second/clone/release/$file"; then
    diffoscope --text - "$scratch/first/release/$file" "$scratch/a/second/clone/release/$file" || true
  fi
done
echo "reproducible-check: the two releases of $commit differ" >&2
exit 1

# shellcheck shell=bash
# Sourced by the builds whose files a release ships (release.sh, and the
# Windows and web builds' zips): what makes their bytes depend on the source
# alone, not on when, where or under which umask and time zone they are made.

# The date every file of a release carries: SOURCE_DATE_EPOCH when set, else
# the commit's, else (in a source tarball, whose files all carry the commit's
# date) the top CMakeLists.txt's.
source_date_epoch() {
  local repo
  repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    echo "$SOURCE_DATE_EPOCH"
  elif git -C "$repo" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$repo" log -1 --format=%ct
  else
    stat -c %Y "$repo/CMakeLists.txt"
  fi
}

# Packs the folder PARENT/NAME as PARENT/NAME.zip: members in the byte order
# of their names, each dated source_date_epoch in UTC (a zip's dates are local
# times), readable by all and writable by the owner alone, without the extra
# fields of owners and Unix times.
pack_zip() {
  local parent=$1 name=$2 epoch
  epoch=$(source_date_epoch)
  chmod -R u=rwX,go=rX "$parent/$name"
  find "$parent/$name" -exec env TZ=UTC touch -h -d "@$epoch" {} +
  rm -f "$parent/$name.zip"
  (cd "$parent" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X "$name.zip" -@)
}

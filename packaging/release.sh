#!/usr/bin/env bash
# Cuts a release of the checked-out commit into release/: the Debian package,
# the Windows zip, the web zip, the source tarball and SHA256SUMS over them.
# Their bytes depend on the commit alone (and the Debian packages it is built
# with), not on the clone's path, the time, the time zone or the umask:
# packaging/reproducible-check.sh builds a commit twice and compares. The
# Debian package's maintainer comes from DEBFULLNAME and DEBEMAIL.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source packaging/reproducible.sh

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: the working tree differs from its commit; commit or stash first" >&2
  exit 1
fi
# Files created with the same modes, dates given in UTC, and every date
# stamped inside a file the commit's (CMake, CPack, gcc and ld read it).
umask 022
export TZ=UTC
SOURCE_DATE_EPOCH=$(source_date_epoch)
export SOURCE_DATE_EPOCH
version=$(project_version)
start=$SECONDS
ensure_packages "${BUILD_PACKAGES[@]}" dpkg-dev git xz-utils
rm -rf release
mkdir release

# The Debian package, with the README's commands, in a folder of its own.
build="build-release"
rm -rf "$build"
mkdir "$build"
log="$PWD/$build/build.log"
logged "$log" cmake -S . -B "$build" -DPELLUCANE_TESTS=OFF
logged "$log" cmake --build "$build" -j"$(nproc)"
(cd "$build" && logged "$log" cpack -G DEB)
grep '^packaging:' "$log" >&2 || true
cp "$build/pellucane_${version}_$(dpkg --print-architecture).deb" release/

# The zips, each with its own build.
packaging/windows/build.sh
cp "build-windows/pellucane-$version-win64.zip" release/
packaging/web/build.sh
cp "build-web/pellucane-$version-web.zip" release/

# The source of the commit (git dates its files with the commit's date).
git -c tar.umask=0022 archive --format=tar --prefix="pellucane-$version/" HEAD |
  xz -9 -T1 >"release/pellucane-$version.tar.xz"

(cd release && sha256sum -- * >SHA256SUMS)
echo "release.sh: release/ for $(git rev-parse --short HEAD) in $((SECONDS - start)) s:" >&2
ls -l release >&2

#!/usr/bin/env bash
# The Debian package: CPack builds it from the build folder; its control data
# and contents are what a player's apt-get needs. Run as root on a machine
# where the game is not installed, it is also installed, started and purged,
# which must leave nothing behind. Given a package (a release's), it checks
# that one instead.
# Usage: debian_package_test.sh BUILD_DIR VERSION [PACKAGE]
set -euo pipefail
build=$1 version=$2 deb=${3:+$(readlink -f "$3")}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ -z "$deb" ]; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" ||
        fail "cpack: $(cat "$scratch/cpack.log")"
    deb="$scratch/pellucane_${version}_$(dpkg --print-architecture).deb"
fi
[ -f "$deb" ] || fail "no $deb: $(ls "$scratch")"

# What a Debian maintainer would sign: lintian, pedantic, finds no error and no warning.
lintian --pedantic --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$scratch/lintian.log")"

# Control data: name, version, section, and the libraries dpkg-shlibdeps found.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = pellucane ] && [ "$(field Version)" = "$version" ] || fail "name or version"
[ "$(field Section)" = games ] || fail "section $(field Section)"
depends=$(field Depends)
for library in libc6 libstdc++6 libglut libglu1-mesa libopengl0 libfreetype6 libpng16-16 libsdl2-mixer; do
    grep -q "\b$library" <<<"$depends" || fail "no $library in Depends: $depends"
done

# Contents: everything under /usr and owned by root, the launcher in the games path.
dpkg-deb --contents "$deb" >"$scratch/contents"
awk '$2 != "root/root" || $6 !~ /^\.\/usr\// { bad = 1; print } END { exit bad }' "$scratch/contents" ||
    fail "entries outside /usr or not owned by root"
for file in usr/games/pellucane usr/games/pellucane-server usr/libexec/pellucane/pellucane usr/share/games/pellucane/fonts/ERASDEMI.ttf \
    usr/share/games/pellucane/images/titlescreen.png usr/share/games/pellucane/sound/Brisklane.mp3 \
    usr/share/applications/net.pellucane.Pellucane.desktop usr/share/man/man6/pellucane.6.gz \
    usr/share/doc/pellucane/copyright; do
    grep -q " \./$file\$" "$scratch/contents" || fail "$file not in the package"
done

if [ "$(id -u)" -ne 0 ] || dpkg-query -W -f='${Status}' pellucane 2>/dev/null | grep -q installed; then
    echo "debian package: checked; not installed (needs root and no pellucane installed)"
    exit 0
fi
# Installed, started from an unrelated folder, then purged: none of its files remain.
apt=(apt-get -o DPkg::Lock::Timeout=300 -y -qq --no-install-recommends)
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" >"$scratch/apt.log" 2>&1 ||
    fail "install: $(cat "$scratch/apt.log")"
answer=$(cd / && PATH=/usr/games:$PATH pellucane --version) || true
DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge pellucane >>"$scratch/apt.log" 2>&1 ||
    fail "purge: $(cat "$scratch/apt.log")"
[ "$answer" = "pellucane $version" ] || fail "installed launcher answered '$answer'"
awk '{ print substr($6, 2) }' "$scratch/contents" | grep -v '/$' >"$scratch/files"
left=$(while read -r file; do [ ! -e "$file" ] || echo "$file"; done <"$scratch/files")
[ -z "$left" ] || fail "left behind: $left"
for folder in /usr/share/games/pellucane /usr/libexec/pellucane /usr/share/doc/pellucane; do
    [ ! -e "$folder" ] || fail "left behind: $folder"
done
echo "debian package: checked, installed, started and purged"

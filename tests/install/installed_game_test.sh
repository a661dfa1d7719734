#!/usr/bin/env bash
# The installed game: installs the build into a scratch folder with DESTDIR,
# checks what lands where, validates the desktop entry, the AppStream metadata
# and the manual page with their own tools, and plays the installed launcher
# from an unrelated folder through the play test of the title, the
# instructions and the street (the title and instructions screens whole, the
# music, a key's trace line).
# Usage: installed_game_test.sh BUILD_DIR SOURCE_DIR VERSION PLAY_TESTS
set -euo pipefail
build=$1 source=$2 version=$3 play_tests=$4
id=net.pellucane.Pellucane

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Installed under /usr in a scratch root, then moved elsewhere as a whole: the
# launcher must find everything relative to itself.
DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$scratch/root/usr"

# Every file in its place, and nothing else (pictures and sounds as in data/).
expected="games/pellucane
games/pellucane-server
libexec/pellucane/pellucane
share/applications/$id.desktop
share/doc/pellucane/changelog.gz
share/doc/pellucane/copyright
$(for size in 16 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x$size/apps/$id.png"; done)
share/icons/hicolor/scalable/apps/$id.svg
share/man/man6/pellucane.6.gz
share/man/man6/pellucane-server.6.gz
share/metainfo/$id.metainfo.xml
share/games/pellucane/fonts/COPYRIGHT-Quicksand-debian.txt
share/games/pellucane/fonts/ERASDEMI.ttf
share/games/pellucane/fonts/LICENSE-Quicksand-OFL.txt"
actual=$(cd "$usr" && find . -type f -not -path './share/games/pellucane/images/*' \
    -not -path './share/games/pellucane/sound/*' | sed 's|^\./||' | sort)
diff <(sort <<<"$expected") <(echo "$actual") || fail "installed files differ from the list above"
for folder in images sound; do
    diff -r "$source/data/$folder" "$usr/share/games/pellucane/$folder" || fail "$folder/ differs from data/"
done
[ -x "$usr/games/pellucane" ] && [ -x "$usr/libexec/pellucane/pellucane" ] || fail "launcher or game not executable"

# The desktop entry, the metadata and the manual page pass their tools, and
# what they point at is installed.
desktop-file-validate "$usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" >"$scratch/appstream" ||
    fail "AppStream metadata: $(cat "$scratch/appstream")"
grep -qx "Exec=pellucane" "$usr/share/applications/$id.desktop" || fail "the menu entry runs no launcher"
grep -qx "Icon=$id" "$usr/share/applications/$id.desktop" || fail "the menu entry names another icon"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metadata names another desktop entry"
for page in pellucane pellucane-server; do
    warnings=$(zcat "$usr/share/man/man6/$page.6.gz" | LC_ALL=C.UTF-8 groff -t -man -Tutf8 -ww -z -rCHECKSTYLE=3 2>&1)
    [ -z "$warnings" ] || fail "manual page $page.6: $warnings"
done

# One version everywhere: the launcher, the metadata, the manual page, the changelog.
launcher="$scratch/moved/games/pellucane"
mv "$usr" "$scratch/moved"
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
[ "$("$launcher" --version)" = "pellucane $version" ] || fail "--version: $("$launcher" --version)"
grep -q "<release version=\"$version\"" "$scratch/moved/share/metainfo/$id.metainfo.xml" || fail "metadata version"
zcat "$scratch/moved/share/man/man6/pellucane.6.gz" | grep -q "^\.TH PELLUCANE 6 .*\"Pellucane $version\"" ||
    fail "manual page version"
zcat "$scratch/moved/share/doc/pellucane/changelog.gz" | head -1 | grep -q "^pellucane ($version)" ||
    fail "changelog version"
"$launcher" --help | grep -q "^Usage: pellucane" || fail "--help"
# The server, in the same path, answers, and needs no GL, GLUT or sound library.
"$scratch/moved/games/pellucane-server" --help | grep -q "^Usage: pellucane-server" || fail "server --help"
! ldd "$scratch/moved/games/pellucane-server" | grep -iE "libgl|glut|sdl|freetype|png" || fail "server links the game's libraries"

# The bare game outside any data folder stops on the font and says where it looks.
status=0
"$build/pellucane" >/dev/null 2>"$scratch/bare.err" || status=$?
[ $status -eq 1 ] || fail "bare game exited $status"
grep -q "^pellucane: FT_New_Face failed" "$scratch/bare.err" || fail "no font error: $(cat "$scratch/bare.err")"
grep -q "^pellucane: the game reads images/, fonts/ and sound/ from the folder it starts in ($scratch/elsewhere); start it with the pellucane launcher" \
    "$scratch/bare.err" || fail "no hint where the game looks: $(cat "$scratch/bare.err")"

# The installed launcher, started through a link from the play test's own folder.
ln -s "$launcher" "$scratch/pellucane-link"
PELLUCANE_PLAY_COMMAND="$scratch/pellucane-link" "$play_tests" \
    --gtest_filter=PlayThrough.TitleInstructionsAndStreetFollowTwoPresses >"$scratch/play.log" 2>&1 ||
    fail "the installed game's play-through: $(cat "$scratch/play.log")"
echo "installed game: files, metadata, manual page, launcher and play-through all right"

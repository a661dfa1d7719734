#!/usr/bin/env bash
# Breaks the data files the game reads, one file and one way at a time, plays
# the real game through the title, the instructions and the street with
# clicks, keys and a held sidebar button, each step as soon as the game has
# answered the one before (through the game-window driver), ends it with SIGTERM
# and prints a table. A broken picture or sound must leave the game running
# and answering; a broken font must end start-up with exit 1 and the font
# error on stderr. Anything else (a crash, a sanitizer report, another exit,
# no answer within a minute) fails the run.
#   tests/broken-data.sh [game binary, default build/pellucane] [all|ci]
# "ci" breaks one picture of each kind, one effect, the music and the font;
# "all" (the default) breaks every file. Each run has a copy of data/ and an
# X server of its own (Xvfb), and several runs go at once: most of a run is
# waiting for the game.
set -euo pipefail
cd "$(dirname "$0")/.."
game=$(realpath "${1:-build/pellucane}")
# the driver of the game window, from the plain build
driver=$PWD/build/tests/game-window
scope=${2:-all}
jobs=$(($(nproc) * 3))

# shellcheck source-path=SCRIPTDIR/..
source tests/support/game-window.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r data "$work/data"
cd "$work/data"

if [ "$scope" = ci ]; then
  files=(images/background.png images/malecustomer1.png images/shop.png images/sidebar.png
    images/sun1.png sound/cash.mp3 sound/Brisklane.mp3 fonts/ERASDEMI.ttf)
else
  mapfile -t files < <(find images sound fonts -type f \( -name '*.png' -o -name '*.mp3' -o -name '*.ttf' \) | sort)
fi

# A PNG signature and header chunk claiming width x height (RGBA, 8 bits).
png_header() {
  python3 -c "import struct,sys,zlib
h=struct.pack('>IIBBBBB',$1,$2,8,6,0,0,0)
sys.stdout.buffer.write(b'\x89PNG\r\n\x1a\n'+struct.pack('>I',13)+b'IHDR'+h+struct.pack('>I',zlib.crc32(b'IHDR'+h)))"
}

# A BDF bitmap font, every glyph side by side pixels of one-bit ink.
bdf_font() {
  python3 -c "
side=$1; row='F'*(2*((side+7)//8))
print('STARTFONT 2.1\nFONT -broken-box-medium-r-normal--8-60-96-96-c-80-iso10646-1\nSIZE 8 96 96')
print('FONTBOUNDINGBOX %d %d 0 0\nSTARTPROPERTIES 2\nFONT_ASCENT %d\nFONT_DESCENT 0\nENDPROPERTIES' % (side, side, side))
print('CHARS 95')
for code in range(32, 127):
    print('STARTCHAR c%d\nENCODING %d\nSWIDTH 500 0\nDWIDTH %d 0\nBBX %d %d 0 0\nBITMAP' % (code, code, side + 1, side, side))
    print('\n'.join([row] * side)); print('ENDCHAR')
print('ENDFONT')"
}

# Replaces file with its broken version.
break_file() {
  local file=$1 way=$2 size
  size=$(stat -c %s "$file")
  case $way in
    missing) rm "$file" ;;
    empty) : >"$file" ;;
    half) truncate -s $((size / 2)) "$file" ;;
    garbage) head -c "$size" /dev/urandom >"$file" ;;
    huge-header) png_header 100000 100000 >"$file" ;;
    wide-header) png_header 65535 1 >"$file" ;;
    bitmap-font) bdf_font 8 >"$file" ;;
    huge-glyphs) bdf_font 300 >"$file" ;;
  esac
}

# The game through the title, the instructions and the street: keys of both
# keyboard shops (all but h, not in the table, write a line), then the
# sidebar's 20% button held until a sale fires; its strip slides out while
# the cursor rests on the sales band. Stops at a step the game does not
# answer: the driver's end tells why.
play_through() {
  drive window && go_to_street a s || return
  drive move -31 63.5 && drive key 8 0 h j l k && drive lines 7 || return
  drive down && drive lines 8 && drive up
}

# One file broken one way, in a copy of data/ with an X server of its own:
# prints the table's line, and "FAILED" in it when the outcome is wrong.
run_case() {
  local file=$1 way=$2 case_dir errors outcome expected verdict
  case_dir=$(mktemp -d "$work/case-XXXXXX")
  cp -r "$work/data/." "$case_dir"
  cd "$case_dir" || return 1
  break_file "$file" "$way"
  start_game "$driver" -- "$game"
  play_through
  drive errors
  errors=$answer
  drive end
  outcome=$answer
  expected=ran
  if [[ $file == *.ttf && $way != bitmap-font ]]; then expected="exit 1"; fi
  verdict=ok
  if [ "$outcome" != "$expected" ] ||
    { [ "$expected" = "exit 1" ] && [[ " $errors" != *" pellucane: "* ]]; }; then
    verdict="FAILED: ${errors:0:200}"
  fi
  printf '%-32s %-12s %-10s %s\n' "$file" "$way" "$outcome" "$verdict"
  rm -rf "$case_dir"
}

cases=()
for file in "${files[@]}"; do
  ways=(missing empty half garbage)
  case $file in
    *.png) ways+=(huge-header wide-header) ;;
    *.ttf) ways+=(bitmap-font huge-glyphs) ;;
  esac
  for way in "${ways[@]}"; do
    cases+=("$file $way")
  done
done

export game driver work
export -f break_file play_through run_case png_header bdf_font start_game drive go_to_street
printf '%-32s %-12s %-10s %s\n' file way outcome verdict
# shellcheck disable=SC2016 # expanded by the shells that xargs starts
printf '%s\n' "${cases[@]}" | xargs -P "$jobs" -L 1 bash -c 'run_case "$0" "$1"' >"$work/table.txt"
sort "$work/table.txt"
runs=$(wc -l <"$work/table.txt")
failures=$(grep -c 'FAILED' "$work/table.txt" || true)
echo "$runs runs, $failures failed"
[ "$runs" -eq "${#cases[@]}" ] && [ "$failures" -eq 0 ]

#!/usr/bin/env bash
# Breaks the data files the game reads, one file and one way at a time, runs
# the real game through the title, the instructions and a few seconds of the
# street with clicks and keys, ends it with SIGTERM and prints a table.
# A broken picture or sound must leave the game running; a broken font must
# end start-up with exit 1 and the font error on stderr. Anything else (a
# crash, a sanitizer report, another exit) fails the run.
#   tests/broken-data.sh [game binary, default build/pellucane] [all|ci]
# "ci" breaks one picture of each kind, one effect, the music and the font;
# "all" (the default) breaks every file. Each run has a copy of data/ and an
# X server of its own (Xvfb), and several runs go at once: most of a run is
# waiting for the game.
set -euo pipefail
cd "$(dirname "$0")/.."
game=$(realpath "${1:-build/pellucane}")
scope=${2:-all}
jobs=$(($(nproc) * 3))

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

# Runs the game in the current folder on DISPLAY and prints its outcome: "ran"
# (alive until SIGTERM), "exit N", "signal N" or "sanitizer"; its output is
# left in stdout.txt and stderr.txt.
play() {
  "$game" >stdout.txt 2>stderr.txt &
  local pid=$! window=""
  # Until the window shows, or the game has ended without one.
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Pellucane$' 2>/dev/null | head -1) || true
    if [ -n "$window" ] || ! kill -0 "$pid" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  if [ -n "$window" ]; then
    sleep 0.3
    xdotool mousemove --window "$window" 512 384 click 1 >/dev/null 2>&1 || true
    sleep 0.3
    xdotool click 1 >/dev/null 2>&1 || true
    for key in a s 8 0 h j l k; do
      xdotool key --window "$window" "$key" >/dev/null 2>&1 || true
      sleep 0.1
    done
    # Until the game has handled the clicks and keys, in order: all but h
    # (not in the table) write a trace line.
    for _ in $(seq 200); do
      if [ "$(wc -l <stdout.txt)" -ge 7 ] || ! kill -0 "$pid" 2>/dev/null; then
        break
      fi
      sleep 0.1
    done
    xdotool mousemove --window "$window" 40 200 mousedown 1 sleep 0.3 mouseup 1 >/dev/null 2>&1 || true
    sleep 0.5
  fi
  local outcome status=0
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid"
    wait "$pid" || status=$?
    [ $status -eq 143 ] && outcome=ran || outcome="died at SIGTERM"
  else
    wait "$pid" || status=$?
    if [ $status -gt 128 ]; then outcome="signal $((status - 128))"; else outcome="exit $status"; fi
  fi
  if grep -q -e 'Sanitizer' -e 'runtime error' stderr.txt; then outcome=sanitizer; fi
  echo "$outcome"
}

# One file broken one way, in a copy of data/ with an X server of its own:
# prints the table's line, and "FAILED" in it when the outcome is wrong.
run_case() {
  local file=$1 way=$2 case_dir xvfb display outcome expected verdict
  case_dir=$(mktemp -d "$work/case-XXXXXX")
  cp -r "$work/data/." "$case_dir"
  cd "$case_dir"
  break_file "$file" "$way"
  Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$case_dir/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 300); do
    [ -s "$case_dir/display" ] && break
    sleep 0.05
  done
  display=":$(head -1 "$case_dir/display")"
  outcome=$(DISPLAY=$display play)
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null || true
  expected=ran
  if [[ $file == *.ttf && $way != bitmap-font ]]; then expected="exit 1"; fi
  verdict=ok
  if [ "$outcome" != "$expected" ] ||
    { [ "$expected" = "exit 1" ] && ! grep -q '^pellucane: ' stderr.txt; }; then
    verdict="FAILED: $(head -c 200 stderr.txt | tr '\n' ' ')"
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

export game work
export -f break_file play run_case png_header bdf_font
printf '%-32s %-12s %-10s %s\n' file way outcome verdict
printf '%s\n' "${cases[@]}" |
  xargs -P "$jobs" -L 1 bash -c 'run_case "$0" "$1"' >"$work/table.txt"
sort "$work/table.txt"
runs=$(wc -l <"$work/table.txt")
failures=$(grep -c 'FAILED' "$work/table.txt" || true)
echo "$runs runs, $failures failed"
[ "$runs" -eq "${#cases[@]}" ] && [ "$failures" -eq 0 ]

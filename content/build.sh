#!/usr/bin/env bash
# Regenerates everything under data/ (pictures, font, sounds, the desktop icon)
# from the sources in content/.  Usage:  bash content/build.sh [images|font|icon|sound ...]
# With no argument it builds all four.  Tools it needs are installed with
# apt-get when missing (run as root).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
DATA="$ROOT/data"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

need() {  # need <command> <debian package>
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "installing $2 for $1"
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >/dev/null
    fi
}

# Quicksand Bold: rounded like the cartoon art, and narrow enough for the
# clock's fixed slots and the status box (tests/data/FontFitTest.cpp).
FONT_PKG=fonts-quicksand
FONT_TTF=/usr/share/fonts/truetype/quicksand/Quicksand-Bold.ttf

need_font() {
    if [ ! -f "$FONT_TTF" ]; then
        echo "installing $FONT_PKG"
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$FONT_PKG" >/dev/null
        fc-cache -f >/dev/null 2>&1 || true
    fi
}

build_font() {
    need_font
    mkdir -p "$DATA/fonts"
    rm -f "$DATA/fonts/"*
    cp "$FONT_TTF" "$DATA/fonts/ERASDEMI.ttf"
    # the package ships the licence only inside its copyright file: the font's
    # own copyright line, then the OFL paragraph with its indent taken off
    {
        echo "Copyright 2011 The Quicksand Project Authors, with Reserved Font Name \"Quicksand\"."
        echo
        echo "SIL OPEN FONT LICENSE Version 1.1 - 26 February 2007"
        echo
        awk '/^License: OFL-1.1/ {on = 1; next} on && !/^ / {exit} on' \
            /usr/share/doc/$FONT_PKG/copyright | sed -e 's/^ //' -e 's/^\.$//'
    } > "$DATA/fonts/LICENSE-Quicksand-OFL.txt"
    cp /usr/share/doc/$FONT_PKG/copyright "$DATA/fonts/COPYRIGHT-Quicksand-debian.txt"
    echo "font: $FONT_TTF -> data/fonts/ERASDEMI.ttf"
}

build_images() {
    need rsvg-convert librsvg2-bin
    need_font   # the pictures' text is set in the game font
    python3 "$HERE/pictures.py"
    mkdir -p "$DATA/images"
    rm -f "$DATA/images/"*.png
    need convert imagemagick
    while read -r name w h rw rh; do
        if [ "$w" = "$rw" ] && [ "$h" = "$rh" ]; then
            rsvg-convert "$HERE/svg/$name.svg" -o "$DATA/images/$name.png"
        else
            # drawn at its true shape, then squeezed to the power-of-two size it is stored at
            rsvg-convert "$HERE/svg/$name.svg" -o "$WORK/$name.png"
            convert "$WORK/$name.png" -filter Lanczos -resize "${w}x${h}!" -strip "$DATA/images/$name.png"
        fi
    done < "$HERE/svg/sizes.txt"
    echo "images: $(ls "$DATA/images" | wc -l) pictures"
}

# The desktop icon: its SVG and a PNG per size, in data/icons/ (not read by the game).
build_icon() {
    need rsvg-convert librsvg2-bin
    python3 "$HERE/pictures.py"
    mkdir -p "$DATA/icons"
    rm -f "$DATA/icons/"*
    cp "$HERE/svg/icon.svg" "$DATA/icons/pellucane.svg"
    for size in $(cat "$HERE/svg/icon_sizes.txt"); do
        rsvg-convert -w "$size" -h "$size" "$HERE/svg/icon.svg" -o "$DATA/icons/pellucane-$size.png"
    done
    echo "icon: $(ls "$DATA/icons" | wc -l) files"
}

build_sound() {
    need lame lame
    need sox sox
    need espeak-ng espeak-ng
    mkdir -p "$DATA/sound"
    python3 "$HERE/sounds.py" "$WORK"
    # the voice: espeak-ng says "hey!", sox brightens and trims it, sounds.py sets its level
    espeak-ng -v en-us+m3 -s 150 -p 70 -a 180 -w "$WORK/hey_raw.wav" "Hey!"
    sox -R -D "$WORK/hey_raw.wav" -r 44100 -c 1 -b 16 "$WORK/hey_trim.wav" \
        silence 1 0.01 1% reverse silence 1 0.01 1% reverse pitch 250 treble 4
    sox -R -D "$WORK/hey_trim.wav" "$WORK/hey_padded.wav" fade t 0.005 -0 0.05 pad 0.02 0.08 gain -n -2
    python3 "$HERE/sounds.py" --level-hey "$WORK/hey_padded.wav" "$WORK/hey.wav"
    for s in bell menu cash freehat window footsteps inflate hey; do
        sox -R -D "$WORK/$s.wav" -r 44100 -c 2 "$WORK/${s}_st.wav"
        lame --quiet -b 128 --resample 44.1 "$WORK/${s}_st.wav" "$DATA/sound/$s.mp3"
    done
    lame --quiet -b 128 --resample 44.1 "$WORK/Brisklane.wav" "$DATA/sound/Brisklane.mp3"
    echo "sound: $(ls "$DATA/sound" | wc -l) files"
}

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(font images icon sound)
for t in "${targets[@]}"; do
    case "$t" in
        font) build_font ;;
        images) build_images ;;
        sound) build_sound ;;
        icon) build_icon ;;
        *) echo "unknown target $t (font, images, sound, icon)"; exit 2 ;;
    esac
done

#!/usr/bin/env python3
"""Writes the SVG source of every picture of the game into content/svg/.

Each picture is authored in its own on-screen units (game units, 1 unit =
10.24 px on a 1024x768 window), so that what is drawn here lines up with the
street: a 25x25 shop is drawn in a 0..25 box, a 15x15 customer in a 0..100 box
that stands for its 15x15 square, the full-screen pictures in a 100x75 box.
The PNG size of each picture (always a power of two) is listed in SIZES and
used by build.sh through content/svg/sizes.txt.

Run: python3 content/pictures.py   (build.sh does this for you)
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "svg")

FONT = "Quicksand"          # the game font (data/fonts/ERASDEMI.ttf is Quicksand Bold)
INK = "#2a1f35"             # outline colour of every cartoon drawing
SKIN = "#f2c29b"
SKIN_SHADE = "#d9a27a"

# Brand palettes: (main, second, light, dark)
BRAND = {
    0: dict(name="ZEDOD AZU", lines=("ZEDOD", "AZU"), main="#7b3fa0", second="#1fb5a8",
            light="#c9a5e6", dark="#4a1f66", text="#ffffff", accent="#f5c518"),
    1: dict(name="HOTBEATS", lines=("HOT", "BEATS"), main="#e0362c", second="#ff8a1f",
            light="#ffc27a", dark="#8f1a14", text="#fff3c4", accent="#ffd23f"),
    2: dict(name="TOP TUNES", lines=("TOP", "TUNES"), main="#2456b8", second="#f5c518",
            light="#9fc0ff", dark="#142f6b", text="#f5c518", accent="#ffffff"),
}

SIZES = {}


def svg(name, w, h, body, px=None, pxh=None, defs=""):
    """Write one SVG whose user units span w x h and whose PNG is px x pxh.

    The SVG is rendered at its true aspect ratio (text lays out wrongly under a
    non-uniform scale) and build.sh then squeezes it to px x pxh."""
    px = px or 128
    pxh = pxh or px
    rw, rh = px, round(px * h / w)
    SIZES[name] = (px, pxh, rw, rh)
    text = (f'<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
            f'width="{rw}" height="{rh}" viewBox="0 0 {w} {h}">\n'
            f'<defs>{defs}</defs>\n{body}\n</svg>\n')
    with open(os.path.join(OUT, name + ".svg"), "w") as f:
        f.write(text)


def nest(x, y, w, h, vw, vh, body):
    """Place a drawing authored in a vw x vh box into the rectangle x,y,w,h."""
    return (f'<svg x="{x}" y="{y}" width="{w}" height="{h}" viewBox="0 0 {vw} {vh}" '
            f'preserveAspectRatio="none" overflow="visible">{body}</svg>')


def text(x, y, s, size, fill, anchor="middle", stroke=None, sw=0, extra=""):
    st = f' stroke="{stroke}" stroke-width="{sw}" paint-order="stroke" stroke-linejoin="round"' if stroke else ""
    s = s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    return (f'<text x="{x}" y="{y}" font-family="{FONT}" font-weight="bold" font-size="{size}" '
            f'fill="{fill}" text-anchor="{anchor}"{st} {extra}>{s}</text>')


# Advance widths (in em) of the game font's characters 32..126, to fit words into boxes.
ADVANCE = [0.280, 0.267, 0.430, 0.693, 0.597, 0.816, 0.709, 0.212, 0.357, 0.357, 0.363, 0.578, 0.275, 0.396, 0.249, 0.568,
           0.614, 0.364, 0.536, 0.522, 0.708, 0.579, 0.548, 0.569, 0.588, 0.548, 0.273, 0.294, 0.525, 0.619, 0.525, 0.527,
           0.964, 0.639, 0.655, 0.627, 0.715, 0.572, 0.562, 0.696, 0.719, 0.275, 0.552, 0.655, 0.562, 0.819, 0.735, 0.759,
           0.603, 0.755, 0.687, 0.597, 0.626, 0.705, 0.678, 0.943, 0.655, 0.596, 0.648, 0.407, 0.568, 0.407, 0.618, 0.704,
           0.259, 0.623, 0.623, 0.515, 0.623, 0.580, 0.417, 0.633, 0.586, 0.236, 0.275, 0.569, 0.270, 0.922, 0.596, 0.614,
           0.623, 0.623, 0.434, 0.482, 0.409, 0.587, 0.562, 0.768, 0.487, 0.587, 0.484, 0.401, 0.248, 0.401, 0.540]


def text_width(s, size):
    return size * sum(ADVANCE[ord(c) - 32] if 32 <= ord(c) < 127 else 0.6 for c in s)


def fit_text(x, y, s, size, fill, maxw, **kw):
    """Centred text, squeezed sideways when it would be wider than maxw."""
    w = text_width(s, size)
    if w <= maxw:
        return text(x, y, s, size, fill, **kw)
    k = maxw / w
    # librsvg misplaces centred text under a non-uniform scale, so the text is
    # started at its own left edge instead
    return (f'<g transform="translate({x},{y}) scale({k:.3f},1)">' +
            text(-w / 2, 0, s, size, fill, anchor="start", **kw) + '</g>')


def circle(cx, cy, r, fill, stroke=INK, sw=1.0, extra=""):
    st = f' stroke="{stroke}" stroke-width="{sw}"' if stroke else ""
    return f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill}"{st} {extra}/>'


def rect(x, y, w, h, fill, stroke=INK, sw=1.0, rx=0, extra=""):
    st = f' stroke="{stroke}" stroke-width="{sw}"' if stroke else ""
    return f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rx}" fill="{fill}"{st} {extra}/>'


def path(d, fill, stroke=INK, sw=1.0, extra=""):
    st = f' stroke="{stroke}" stroke-width="{sw}" stroke-linejoin="round" stroke-linecap="round"' if stroke else ""
    return f'<path d="{d}" fill="{fill}"{st} {extra}/>'


def line(x1, y1, x2, y2, stroke=INK, sw=1.0, extra=""):
    return (f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{stroke}" stroke-width="{sw}" '
            f'stroke-linecap="round" {extra}/>')


# ---------------------------------------------------------------- customers
# A customer's square is 0..100 in both directions (15x15 game units).  The
# head, the hat place and the bag hand are the same in all four body pictures,
# so one hat or bag overlay fits every body and every walk frame.
HEAD = (52, 24, 11)          # centre x, centre y, radius
HAND = (62, 64)              # the hand that carries the bag
# The walkers' front row goes by at y 15, in front of the status boxes, whose
# MONEY line reaches up to y 8.4: every body, hat and bag is drawn a little
# smaller, hanging from the top of the square, so that the soles end above
# y 9.4 (picture y 87.5 of 100, row 224 of 256) and the hats and bags still
# sit on the head and in the hand.
FIGURE = "translate(52,1) scale(0.91) translate(-52,-1)"


def figure(body):
    return f'<g transform="{FIGURE}">{body}</g>'


def legs(frame, trouser, shoe, top=64, female=False):
    """Two legs from the hips to the feet at y ~96; frame 0 striding, frame 1 passing."""
    hip = (52, top)
    if frame == 0:
        feet = [(36, 93), (66, 93)]
    else:
        feet = [(48, 93), (56, 93)]
    out = ""
    w = 9 if not female else 6
    for i, (fx, fy) in enumerate(feet):
        colour = trouser
        # the leg's round end stops at the sole instead of poking out under it
        ankle = fy + 1 - (w + 3) / 2
        out += line(hip[0] + (i * 2 - 1) * 2, hip[1], fx, ankle, INK, w + 3)
        out += line(hip[0] + (i * 2 - 1) * 2, hip[1], fx, ankle, colour, w)
        out += path(f"M{fx-4},{fy-2} q0,-4 5,-4 l5,0 q5,1 5,6 l0,1 l-15,0 z", shoe, INK, 1.5)
    return out


def back_arm(frame, sleeve):
    # the far arm swings opposite to the legs
    hand = (38, 60) if frame == 0 else (46, 62)
    return (line(48, 40, hand[0], hand[1], INK, 9) + line(48, 40, hand[0], hand[1], sleeve, 6) +
            circle(hand[0], hand[1], 3.6, SKIN, INK, 1.5))


def front_arm(sleeve):
    # the near arm hangs a little forward and holds the bag; it never moves
    return (line(55, 40, HAND[0], HAND[1] - 3, INK, 9) + line(55, 40, HAND[0], HAND[1] - 3, sleeve, 6) +
            circle(HAND[0], HAND[1], 3.8, SKIN, INK, 1.5))


def head(hair, female):
    hx, hy, r = HEAD
    out = ""
    if female:
        # pony tail behind (to the left: the customer walks to the right)
        out += path(f"M{hx-8},{hy-4} q-14,2 -13,16 q6,-3 9,-4 q-2,4 0,8 q6,-8 6,-18 z", hair, INK, 1.5)
    out += circle(hx, hy, r, SKIN, INK, 1.8)
    # nose, eye, smile (facing right)
    out += path(f"M{hx+r-1},{hy-1} q4,2 0,5", SKIN, INK, 1.4)
    out += circle(hx + 5, hy - 2, 1.6, INK, None)
    out += path(f"M{hx+2},{hy+5} q3,3 7,0", "none", INK, 1.4)
    out += circle(hx + 2, hy + 3, 2, "#f4a0a0", None, extra='opacity="0.6"')
    # ear
    out += circle(hx - 3, hy + 1, 2.4, SKIN_SHADE, INK, 1.2)
    # hair on top and back of the head
    if female:
        out += path(f"M{hx-r-1},{hy+3} q-1,-15 {r+1},-15 q{r},0 {r+1},9 q-8,-6 -14,-2 q-3,5 -6,6 z", hair, INK, 1.5)
    else:
        out += path(f"M{hx-r},{hy+2} q-1,-13 {r},-13 q{r-1},0 {r+1},8 q-6,-3 -12,-1 q-2,4 -6,5 z", hair, INK, 1.5)
    return out


def customer(female, frame):
    out = ""
    if female:
        dress, dress_dark, hair = "#f07aa8", "#c94f82", "#7a3b1c"
        out += legs(frame, SKIN, "#5a2d6b", top=70, female=True)
        out += back_arm(frame, SKIN)
        # dress: bodice and flared skirt
        out += path("M43,36 q9,-5 18,0 l2,18 l9,19 q-20,6 -40,0 l9,-19 z", dress, INK, 1.8)
        out += path("M42,54 l20,0", "none", dress_dark, 2)
        for dx, dy in ((45, 62), (56, 66), (50, 58), (62, 61), (40, 68)):
            out += circle(dx, dy, 1.4, "#ffffff", None, extra='opacity="0.8"')
        out += front_arm(SKIN)
        out += head(hair, True)
    else:
        shirt, trousers, hair = "#5aa845", "#4a5f7a", "#4a2e1a"
        out += legs(frame, trousers, "#3b2a20", top=66)
        out += back_arm(frame, shirt)
        out += path("M42,38 q10,-6 20,0 l2,28 l-24,0 z", shirt, INK, 1.8)
        out += path("M48,34 l4,6 l4,-6", "none", INK, 1.2)
        out += rect(40, 63, 24, 5, "#5b3b25", INK, 1.5, rx=1.5)
        out += front_arm(shirt)
        out += head(hair, False)
    return out


def hat(kind):
    hx, hy, r = HEAD
    top = hy - r          # 13: top of the head
    if kind == "topHat":      # TOP TUNES: blue top hat with a gold band and star
        b = BRAND[2]
        return (path(f"M{hx-7},{top+3} l1,-14 q7,-2 14,0 l1,14 z", b["main"], INK, 1.6) +
                rect(hx - 7, top - 2, 15, 3.6, b["second"], INK, 1.0) +
                path(f"M{hx-13},{top+4} q13,-5 26,0 q-13,4 -26,0 z", b["dark"], INK, 1.6))
    if kind == "jesterhat":   # ZEDOD AZU: purple/teal two-point jester hat with gold bells
        b = BRAND[0]
        return (path(f"M{hx-r-1},{top+8} q-2,-10 -13,-11 q12,-6 22,2 q3,-9 13,-9 q8,2 9,13 q-8,-5 -11,1 q2,3 -2,6 q-10,-4 -18,-2 z",
                     b["main"], INK, 1.6) +
                path(f"M{hx-1},{top-1} q3,-9 13,-9 q8,2 9,13 q-8,-5 -11,1 q-5,-4 -11,-5 z", b["second"], INK, 1.6) +
                path(f"M{hx-r-1},{top+8} q{r},-7 {2*r+2},-1 l0,4 q-{r+1},-5 -{2*r+2},1 z", b["dark"], INK, 1.4) +
                circle(hx - r - 13, top - 3, 2.8, b["accent"], INK, 1.2) +
                circle(hx + 22, top + 4, 2.8, b["accent"], INK, 1.2))
    if kind == "visor":       # HOTBEATS: red visor band with an orange peak to the front
        b = BRAND[1]
        return (path(f"M{hx-r-0.5},{top+7} q{r},-6 {2*r+1},-1 l0,5 q-{r},-5 -{2*r+1},1 z", b["main"], INK, 1.6) +
                path(f"M{hx+r-3},{top+5} q10,-1 15,4 q-7,2 -15,1 z", b["second"], INK, 1.6) +
                text(hx, top + 10, "HB", 4.5, "#ffffff"))
    raise ValueError(kind)


def bag(shop, female):
    b = BRAND[shop]
    hx, hy = HAND
    out = ""
    if female:
        # a round-bottomed tote on two long handles
        out += path(f"M{hx-5},{hy+6} q5,-14 10,0", "none", INK, 3.2) + path(f"M{hx-5},{hy+6} q5,-14 10,0", "none", b["dark"], 1.6)
        out += path(f"M{hx-9},{hy+5} l18,0 l2,14 q-11,7 -22,0 z", b["main"], INK, 1.6)
        out += rect(hx - 9, hy + 5, 18, 3, b["second"], INK, 1.0)
    else:
        # a square paper shopping bag with a rope handle
        out += path(f"M{hx-4},{hy+4} q4,-10 8,0", "none", INK, 3.2) + path(f"M{hx-4},{hy+4} q4,-10 8,0", "none", b["dark"], 1.6)
        out += rect(hx - 9, hy + 3, 18, 20, b["main"], INK, 1.6, rx=1)
        out += rect(hx - 9, hy + 3, 18, 3, b["second"], INK, 1.0)
    # brand mark: a note (ZEDOD AZU), a flame (HOTBEATS), a star (TOP TUNES)
    cx, cy = hx, hy + 14
    out += brand_mark(shop, cx, cy, 5)
    # redraw the hand over the handle so the bag hangs from it
    out += circle(hx, hy, 3.8, SKIN, INK, 1.5)
    return out


def star_path(cx, cy, r, n=5, inner=0.45, rot=-90):
    pts = []
    for i in range(n * 2):
        rr = r if i % 2 == 0 else r * inner
        a = math.radians(rot + i * 180 / n)
        pts.append(f"{cx + rr * math.cos(a):.2f},{cy + rr * math.sin(a):.2f}")
    return "M" + " L".join(pts) + " Z"


def note_path(cx, cy, s):
    """A beamed double note, s is its height."""
    k = s / 10
    return (f"M{cx-3*k},{cy+3*k} a{2*k},{1.5*k} -20 1 1 {0.01},{0} z "
            f"M{cx+3.5*k},{cy+2*k} a{2*k},{1.5*k} -20 1 1 {0.01},{0} z")


def brand_mark(shop, cx, cy, s, fill=None):
    b = BRAND[shop]
    fill = fill or b["accent"]
    if shop == 0:
        k = s / 10
        return (f'<g fill="{fill}" stroke="{INK}" stroke-width="{0.6*k}">'
                f'<ellipse cx="{cx-3*k}" cy="{cy+3.5*k}" rx="{2.3*k}" ry="{1.7*k}"/>'
                f'<ellipse cx="{cx+3.5*k}" cy="{cy+2.5*k}" rx="{2.3*k}" ry="{1.7*k}"/>'
                f'<path d="M{cx-1*k},{cy+3.5*k} L{cx-1*k},{cy-4.5*k} L{cx+5.5*k},{cy-5.5*k} L{cx+5.5*k},{cy+2.5*k}" fill="none" stroke="{fill}" stroke-width="{1.2*k}"/>'
                f'<path d="M{cx-1*k},{cy-4.5*k} L{cx+5.5*k},{cy-5.5*k} L{cx+5.5*k},{cy-3.5*k} L{cx-1*k},{cy-2.5*k} z"/>'
                f'</g>')
    if shop == 1:
        k = s / 10
        return path(
            f"M{cx},{cy-6*k} q{5*k},{4*k} {4*k},{8*k} q{-1*k},{3*k} {-4*k},{3*k} q{-4*k},0 {-4*k},{-4*k} "
            f"q0,{-3*k} {2*k},{-4*k} q0,{2*k} {1*k},{3*k} q{1*k},{-3*k} {1*k},{-6*k} z", fill, INK, 0.6 * k)
    return path(star_path(cx, cy, s * 0.6), fill, INK, 0.06 * s)


# ---------------------------------------------------------------- the shop
# The building is 25x25 game units (y 25..50 on screen for every shop).  The
# three overlays (window display, free hats, bankrupt) are drawn on the same
# box, so they share these places:
WIN_L = (1.7, 14.6, 6.6, 7.2)      # x, y, w, h of the left ground-floor window glass
WIN_R = (16.7, 14.6, 6.6, 7.2)
DOOR = (9.6, 13.8, 5.8, 11.2)       # door frame opening
UP_L = (2.4, 3.2, 5.2, 4.6)        # upper-floor windows
UP_R = (17.4, 3.2, 5.2, 4.6)
AWNING_Y = 10.9


def shop_building():
    out = ""
    # façade and cornice (top corners are cut to a rounded parapet)
    out += rect(0.8, 1.4, 23.4, 23.6, "#f3dfc1", INK, 0.35)
    # brick texture on the upper floor
    for r in range(8):
        y = 2.6 + r * 1.1
        off = 0.9 if r % 2 else 0
        for c in range(13):
            x = 1.0 + off + c * 1.8
            if x < 24:
                out += rect(x, y, 1.5, 0.75, "#e9c9a3", None, extra='opacity="0.7"')
    out += rect(0.3, 0.4, 24.4, 1.6, "#b8574a", INK, 0.35, rx=0.4)
    out += rect(0.0, 0.0, 25.0, 0.7, "#d9735f", INK, 0.3, rx=0.3)
    # dentils under the cornice
    for i in range(16):
        out += rect(0.9 + i * 1.5, 2.0, 0.8, 0.5, "#b8574a", None)
    # upper windows with flower boxes
    for (x, y, w, h) in (UP_L, UP_R):
        out += rect(x - 0.3, y - 0.3, w + 0.6, h + 0.6, "#ffffff", INK, 0.3, rx=0.3)
        out += rect(x, y, w, h, "#7cc4e8", INK, 0.2)
        out += path(f"M{x+0.6},{y+h-0.6} l{w*0.45},{-h*0.7}", "none", "#ffffff", 0.35, extra='opacity="0.7"')
        out += line(x + w / 2, y, x + w / 2, y + h, "#ffffff", 0.35)
        out += rect(x - 0.4, y + h + 0.2, w + 0.8, 1.1, "#8a5a3c", INK, 0.25, rx=0.2)
        for i in range(5):
            fx = x + 0.3 + i * (w / 4.4)
            out += circle(fx, y + h + 0.1, 0.45, ("#ff6fa3", "#ffd23f", "#ff6fa3", "#ffffff", "#ffd23f")[i], INK, 0.12)
    # a round window shaped like a record, between the upper windows
    out += circle(12.5, 5.4, 2.5, "#222", INK, 0.3)
    out += circle(12.5, 5.4, 1.9, "none", "#444", 0.15)
    out += circle(12.5, 5.4, 1.4, "none", "#444", 0.15)
    out += circle(12.5, 5.4, 0.8, "#ffd23f", INK, 0.12)
    out += circle(12.5, 5.4, 0.18, "#222", None)
    # string course between the floors
    out += rect(0.8, 9.4, 23.4, 0.9, "#e3c79f", INK, 0.25)
    # striped awning over the ground floor with a scalloped edge
    stripes = ""
    for i in range(12):
        x = 0.6 + i * 2.0
        stripes += rect(x, AWNING_Y, 2.0, 2.0, "#2f9e5a" if i % 2 == 0 else "#ffffff", None)
    out += stripes
    sc = f"M0.6,{AWNING_Y+2}"
    for i in range(12):
        sc += f" q1,1.3 2,0"
    out += path(sc + f" L24.6,{AWNING_Y} L0.6,{AWNING_Y} z", "none", INK, 0.3)
    scallop = ""
    for i in range(12):
        x = 0.6 + i * 2.0
        scallop += path(f"M{x},{AWNING_Y+2} q1,1.3 2,0 z", "#2f9e5a" if i % 2 == 0 else "#ffffff", INK, 0.2)
    out += scallop
    out += rect(0.4, AWNING_Y - 0.5, 24.2, 0.7, "#1f7a43", INK, 0.25, rx=0.3)
    # shop front: pillars, windows, door, stone base
    out += rect(0.8, 13.6, 23.4, 11.4, "#6b3f2a", INK, 0.3)
    for (x, y, w, h) in (WIN_L, WIN_R):
        out += rect(x, y, w, h, "#9fd6ee", INK, 0.3)
        out += path(f"M{x+0.6},{y+h*0.55} l{w*0.35},{-h*0.45} l0.9,0 l{-w*0.35},{h*0.45} z", "#ffffff", None, extra='opacity="0.55"')
        out += rect(x, y + h - 1.3, w, 1.3, "#c79a6b", INK, 0.2)   # an empty shelf
    x, y, w, h = DOOR
    out += rect(x, y, w, h, "#8c4f2c", INK, 0.35)
    out += rect(x + 0.8, y + 1.0, w - 1.6, 5.2, "#9fd6ee", INK, 0.25)
    out += path(f"M{x+1.2},{y+4.5} l2,-3 l0.7,0 l-2,3 z", "#ffffff", None, extra='opacity="0.55"')
    out += rect(x + 0.8, y + 7.0, w - 1.6, 3.4, "#7a4424", INK, 0.2)
    out += circle(x + w - 1.0, y + 6.8, 0.35, "#ffd23f", INK, 0.12)
    # "OPEN" tag on the door
    out += rect(x + 1.3, y + 2.2, w - 2.6, 1.6, "#ffffff", INK, 0.15, rx=0.3)
    out += text(x + w / 2, y + 3.45, "OPEN", 1.2, "#2f9e5a")
    out += rect(0.3, 22.6, 24.4, 2.4, "#a89a8c", INK, 0.3)
    out += rect(8.9, 24.2, 7.2, 0.8, "#8d8073", INK, 0.2)   # door step
    return out


def window_display():
    """Dressed windows: records, a guitar, a 'NEW!' star, fairy lights."""
    out = ""
    for (x, y, w, h), side in ((WIN_L, 0), (WIN_R, 1)):
        out += f'<clipPath id="g{side}"><rect x="{x}" y="{y}" width="{w}" height="{h}"/></clipPath>'
        inner = rect(x, y, w, h, "#2b1d45", None)
        # spotlight glow
        inner += f'<ellipse cx="{x+w/2}" cy="{y+h*0.35}" rx="{w*0.6}" ry="{h*0.6}" fill="#ffe9a8" opacity="0.35"/>'
        inner += rect(x, y + h - 1.3, w, 1.3, "#c79a6b", INK, 0.2)
        if side == 0:
            # two records on stands and a poster
            for cx, r, lab in ((x + 1.9, 1.5, "#ff5b5b"), (x + 4.7, 1.8, "#3fd0c0")):
                inner += circle(cx, y + h - 1.3 - r, r, "#151515", INK, 0.15)
                inner += circle(cx, y + h - 1.3 - r, r * 0.55, "none", "#3a3a3a", 0.12)
                inner += circle(cx, y + h - 1.3 - r, r * 0.35, lab, None)
            inner += rect(x + 0.7, y + 0.7, 2.6, 2.9, "#ffd23f", INK, 0.15, rx=0.2)
            inner += path(note_path(x + 2.0, y + 1.9, 1.8), INK, None)
        else:
            # a guitar and a NEW! star
            gx, gy = x + 4.5, y + 4.3
            inner += line(gx, gy, gx + 1.6, gy - 3.6, "#6b3f2a", 0.5)
            inner += rect(gx + 1.2, gy - 4.4, 0.9, 1.0, "#3b2a20", None, rx=0.2)
            inner += f'<ellipse cx="{gx-0.2}" cy="{gy+0.5}" rx="1.5" ry="1.9" fill="#ff8a1f" stroke="{INK}" stroke-width="0.15" transform="rotate(22 {gx} {gy})"/>'
            inner += circle(gx - 0.1, gy + 0.2, 0.4, "#3b2a20", None)
            inner += path(star_path(x + 1.9, y + 2.4, 1.8, 8, 0.6), "#ff4fa3", INK, 0.15)
            inner += text(x + 1.9, y + 2.75, "NEW", 0.9, "#ffffff")
            inner += circle(x + 1.6, y + h - 2.2, 0.9, "#151515", INK, 0.1)
            inner += circle(x + 1.6, y + h - 2.2, 0.3, "#ffd23f", None)
        out += f'<g clip-path="url(#g{side})">{inner}</g>'
        out += rect(x, y, w, h, "none", INK, 0.3)
        # fairy lights along the top of the window
        for i in range(7):
            lx = x + 0.4 + i * (w - 0.8) / 6
            ly = y + 0.35 + 0.35 * math.sin(i * 1.3)
            out += circle(lx, ly, 0.32, ("#ffd23f", "#ff5b5b", "#3fd0c0", "#ffffff")[i % 4], INK, 0.08)
    return out


def free_hats():
    """A 'FREE HATS!' banner above the awning and a hat basket by the door."""
    out = ""
    y0, y1 = 7.9, 10.5
    out += path(f"M0.4,{y0} L24.6,{y0} L23.6,{(y0+y1)/2} L24.6,{y1} L0.4,{y1} L1.4,{(y0+y1)/2} z", "#ffd23f", INK, 0.3)
    out += text(12.5, y1 - 0.6, "FREE HATS!", 2.1, "#e0362c", stroke="#ffffff", sw=0.25)
    # little party hats at both ends of the banner
    for cx in (3.0, 22.0):
        out += path(f"M{cx-1.1},{y1-0.5} L{cx},{y0-1.6} L{cx+1.1},{y1-0.5} z", "#3fd0c0", INK, 0.2)
        out += circle(cx, y0 - 1.6, 0.4, "#ff4fa3", INK, 0.1)
        out += line(cx - 0.7, y1 - 1.3, cx + 0.7, y1 - 1.3, "#ffffff", 0.25)
    # a basket of hats at the foot of the left window
    bx, by = 2.2, 21.0
    for i, (c, h) in enumerate((("#e0362c", 1.8), ("#7b3fa0", 2.2), ("#2456b8", 1.9))):
        cx = bx + 0.9 + i * 1.8
        out += path(f"M{cx-0.9},{by} L{cx},{by-h} L{cx+0.9},{by} z", c, INK, 0.15)
        out += circle(cx, by - h, 0.3, "#ffd23f", INK, 0.08)
    out += path(f"M{bx-0.2},{by-0.2} L{bx+5.8},{by-0.2} L{bx+5.2},{by+1.8} L{bx+0.4},{by+1.8} z", "#c98a4b", INK, 0.2)
    out += line(bx + 0.1, by + 0.6, bx + 5.5, by + 0.6, "#8a5a3c", 0.15)
    return out


def bankrupt():
    """Grey wash, boarded windows and door, a red BANKRUPT notice across the front."""
    out = rect(0.3, 0.0, 24.4, 25.0, "#3a3a44", None, extra='opacity="0.55"')
    plank = "#b08a5a"

    def boards(x, y, w, h):
        o = ""
        o += rect(x - 0.3, y + h * 0.18, w + 0.6, 1.1, plank, INK, 0.2, extra=f'transform="rotate(-12 {x+w/2} {y+h*0.18})"')
        o += rect(x - 0.3, y + h * 0.62, w + 0.6, 1.1, plank, INK, 0.2, extra=f'transform="rotate(10 {x+w/2} {y+h*0.62})"')
        for k in (0.18, 0.62):
            o += circle(x + 0.5, y + h * k + 0.5, 0.15, INK, None) + circle(x + w - 0.5, y + h * k + 0.5, 0.15, INK, None)
        return o

    for (x, y, w, h) in (WIN_L, WIN_R, UP_L, UP_R):
        out += rect(x, y, w, h, "#4a4a52", INK, 0.2)
        out += boards(x, y, w, h)
    x, y, w, h = DOOR
    out += rect(x, y, w, h, "#4a3a30", INK, 0.3)
    for i in range(3):
        out += rect(x - 0.4, y + 1.5 + i * 3.3, w + 0.8, 1.2, plank, INK, 0.2,
                    extra=f'transform="rotate({(-8, 6, -5)[i]} {x+w/2} {y+2+i*3.3})"')
    # the notice
    out += f'<g transform="rotate(-9 12.5 11)">'
    out += rect(2.0, 8.6, 21.0, 5.0, "#e0362c", INK, 0.4, rx=0.6)
    out += rect(2.6, 9.1, 19.8, 4.0, "none", "#ffffff", 0.25, rx=0.4)
    out += text(12.5, 12.1, "BANKRUPT", 2.9, "#ffffff")
    out += '</g>'
    return out


def store_sign(shop):
    """The brand sign on the roof edge: a bold two-line word on a coloured board
    that fills its square, so that it reads when squeezed to 8.3x6.25 or 6.25x4.2."""
    b = BRAND[shop]
    top, bottom = b["lines"]
    out = rect(3, 3, 94, 94, b["main"], INK, 4, rx=12)
    out += rect(9, 9, 82, 82, "none", b["second"], 3.5, rx=8)
    for word, y in ((top, 45), (bottom, 80)):
        size = 34 if len(word) <= 3 else 28
        out += fit_text(50, y, word, size, b["text"], 80, stroke=b["dark"], sw=3.5)
    for cx, cy in ((16, 16), (84, 16), (16, 84), (84, 84)):
        out += circle(cx, cy, 2.2, b["second"], INK, 0.8)
    return out


PANEL = "#0f141c"            # status panel fill: red text 4.6:1 on it, white 18:1


def statbox():
    # The three status lines sit at 1.5, 4.5 and 6.5 game units above the window's
    # bottom; the box is centred 30 below the shop (y -5..20), so the panel runs
    # from 22% to 56% of the picture's height (game y 0.5 .. 9).  The lines start
    # 1 unit in and the price line runs to 24.4, so the panel takes the box's
    # whole width; it is opaque, so the street never lowers the contrast.
    return rect(0.15, 11.0, 24.7, 8.5, PANEL, "#f5e6c8", 0.3, rx=0.5)


# The balloon's square grows to 36.9 units for a 60% sale, from 2 units below
# the roof (y 48); the monster stands in the lower 70% of it so that it stays
# under the top of the window (y 75) at its biggest.
BALLOON_SCALE = 0.72


def balloon_monster():
    """The sale balloon: an inflatable monster standing on the roof, waving,
    drawn in the 36x36 square and shrunk towards the middle of its bottom edge."""
    return (f'<g transform="translate(18,36) scale({BALLOON_SCALE}) translate(-18,-36)">' +
            balloon_monster_body() + '</g>')


def balloon_monster_body():
    m, md, y = "#ff4fa3", "#c92a7a", "#ffe14a"
    out = ""
    # arms waving up
    out += path("M9,20 q-6,-4 -5,-12 q1,-3 3,-1 q1,6 6,9 z", m, INK, 0.6)
    out += path("M27,20 q6,-4 5,-12 q-1,-3 -3,-1 q-1,6 -6,9 z", m, INK, 0.6)
    # body: a tall rounded blob, wide at its base on the roof
    out += path("M5,36 q-1,-10 3,-18 q1,-14 10,-15 q9,1 10,15 q4,8 3,18 z", m, INK, 0.7)
    out += path("M8,33 q0,-8 3,-14", "none", "#ff9acb", 1.0, extra='opacity="0.8"')
    # tufts on the head
    out += path("M14,4 q1,-3 3,-1 q1,-3 3,0 q2,-2 3,1 q-4,-1 -9,0 z", md, INK, 0.4)
    # eyes and grin
    for ex in (14.5, 21.5):
        out += circle(ex, 10, 2.3, "#ffffff", INK, 0.45)
        out += circle(ex + 0.5, 10.4, 1.1, INK, None)
        out += circle(ex + 0.9, 9.9, 0.35, "#ffffff", None)
    out += path("M12.5,15 q5.5,5 11,0 q-5.5,2 -11,0 z", "#7a1040", INK, 0.45)
    out += path("M15,15.6 l1,1.3 l1,-1 z M19,15.6 l1,1.2 l1,-1.2 z", "#ffffff", None)
    # belly badge with SALE
    out += f'<g transform="rotate(-6 18 24)">'
    out += rect(8.3, 20.6, 19.4, 7.0, y, INK, 0.5, rx=1.6)
    out += text(18, 26.1, "SALE!", 5.2, "#e0362c")
    out += '</g>'
    # tie-down ropes to the roof
    out += line(6, 35.5, 3, 36, INK, 0.5) + line(30, 35.5, 33, 36, INK, 0.5)
    return out


def handout_guy(shop):
    """A helper in the shop's colours, flyers in hand, in a 0..100 box (16.7x16.7)."""
    b = BRAND[shop]
    out = ""
    # legs (standing, mid-stride)
    for (fx, sx) in ((40, 44), (60, 56)):
        out += line(sx, 68, fx, 94, INK, 10) + line(sx, 68, fx, 94, "#3a4a62", 7)
        out += path(f"M{fx-5},{94} q0,-4 5,-4 l4,0 q5,1 5,5 l0,1 l-14,0 z", "#2b2b2b", INK, 1.4)
    # back arm holding a stack of flyers
    out += line(44, 44, 34, 60, INK, 9) + line(44, 44, 34, 60, b["main"], 6)
    out += rect(25, 55, 12, 9, "#ffffff", INK, 1.2, extra='transform="rotate(-8 31 60)"')
    out += rect(25, 55, 12, 2.5, b["second"], None, extra='transform="rotate(-8 31 60)"')
    out += circle(34, 61, 3.5, SKIN, INK, 1.4)
    # body: brand T-shirt with the brand mark
    out += path("M38,38 q12,-7 24,0 l3,32 l-30,0 z", b["main"], INK, 1.8)
    out += rect(35, 66, 30, 5, b["dark"], INK, 1.4, rx=1.5)
    out += brand_mark(shop, 50, 53, 11, b["second"] if shop != 2 else b["second"])
    # front arm reaching out with a fan of flyers
    out += line(56, 44, 76, 40, INK, 9) + line(56, 44, 76, 40, b["main"], 6)
    for i, a in enumerate((-25, -8, 9)):
        out += (f'<g transform="rotate({a} 80 40)">' + rect(78, 24, 11, 15, "#ffffff", INK, 1.2) +
                rect(78, 24, 11, 4, b["main"], None) + line(80, 32, 87, 32, "#999", 1) + line(80, 35, 86, 35, "#999", 1) + '</g>')
    out += circle(78, 40, 3.8, SKIN, INK, 1.4)
    # head, facing the viewer a little to the right, with a big smile
    out += circle(50, 24, 11, SKIN, INK, 1.8)
    out += circle(46, 23, 1.5, INK, None) + circle(55, 23, 1.5, INK, None)
    out += path("M44,28 q6,6 12,0", "#ffffff", INK, 1.4)
    out += path("M39,22 q0,-12 11,-12 q11,0 11,12 q-3,-6 -11,-6 q-8,0 -11,6 z", "#5a3a22", INK, 1.2)
    # the shop's hat
    hats = {0: "jesterhat", 1: "visor", 2: "topHat"}
    out += f'<g transform="translate(-2,0)">{hat(hats[shop])}</g>'
    return out


def sun(frame):
    c = 12.5
    out = circle(c, c, 8.2, "#fff3a0", None, extra=f'opacity="{0.35 if frame == 0 else 0.5}"')
    n = 12
    for i in range(n):
        a = math.radians(i * 360 / n + (0 if frame == 0 else 15))
        long = (i % 2 == 0) ^ (frame == 1)
        r0, r1 = 6.3, (10.4 if long else 8.8)
        w = 0.9
        p1 = (c + r0 * math.cos(a - 0.16), c + r0 * math.sin(a - 0.16))
        p2 = (c + r1 * math.cos(a), c + r1 * math.sin(a))
        p3 = (c + r0 * math.cos(a + 0.16), c + r0 * math.sin(a + 0.16))
        out += path(f"M{p1[0]:.2f},{p1[1]:.2f} L{p2[0]:.2f},{p2[1]:.2f} L{p3[0]:.2f},{p3[1]:.2f} z",
                    "#ffb81c", "#e08a00", 0.25)
    out += circle(c, c, 5.8, "#ffd93b", "#e08a00", 0.4)
    out += circle(c - 1.6, c - 1.6, 3.2, "#fff3a0", None, extra='opacity="0.5"')
    # face
    out += circle(c - 1.9, c - 0.6, 0.55, INK, None) + circle(c + 1.9, c - 0.6, 0.55, INK, None)
    out += path(f"M{c-2.3},{c+1.5} q2.3,{2.2 if frame == 0 else 2.6} 4.6,0", "none", INK, 0.45)
    out += circle(c - 3.4, c + 1.2, 0.8, "#ff9a6a", None, extra='opacity="0.6"')
    out += circle(c + 3.4, c + 1.2, 0.8, "#ff9a6a", None, extra='opacity="0.6"')
    return out


# ---------------------------------------------------------------- sidebar and buttons
# Colours picked for at least 4.5:1 contrast (WCAG 2; content/contrast.py):
SIDEBAR_TEXT = "#a6f2ea"     # pale teal on the sidebar's purple: 5.4:1
MENU_FILL = "#0e7c72"        # deep teal behind the menu buttons' white labels: 5.1:1

def sidebar():
    # 40x120 picture centred at (-46, 37.5): picture x 16..24 is screen x -50..-42,
    # picture y 21..71.5 is screen y 76.5..26.  Everything else stays transparent.
    b = BRAND[0]
    defs = (f'<linearGradient id="col" x1="0" x2="1" y1="0" y2="0">'
            f'<stop offset="0" stop-color="{b["dark"]}"/><stop offset="0.5" stop-color="{b["main"]}"/>'
            f'<stop offset="1" stop-color="{b["dark"]}"/></linearGradient>')
    out = rect(16.1, 20.0, 7.8, 51.6, "url(#col)", INK, 0.3, rx=1.2)
    out += rect(16.6, 20.5, 6.8, 50.6, "none", b["second"], 0.25, rx=0.9)
    # the brand name down the empty stretch between the promotion and product buttons
    out += (f'<g transform="translate(20.65,54.0) rotate(-90)">' +
            text(0, 0, "ZEDOD AZU", 1.8, SIDEBAR_TEXT) + '</g>')
    return out, defs


def button(kind, icon, label, label_size=16):
    """One round button (the click area is the inscribed circle)."""
    if kind == "menu":
        fill, fg, ring = MENU_FILL, "#ffffff", BRAND[0]["accent"]
    else:
        fill, fg, ring = "#fff6e0", BRAND[0]["main"], BRAND[0]["accent"]
    out = circle(50, 50, 47, ring, INK, 3.5)
    out += circle(50, 50, 41.5, fill, INK, 1.5)
    out += path("M20,36 a32,32 0 0 1 26,-24", "none", "#ffffff", 4, extra='opacity="0.6"')
    out += f'<g transform="translate(50,40) scale(0.82) translate(-50,-44)">{icon(fg)}</g>'
    if label:
        out += fit_text(50, 80, label, label_size, fg, 58)
    return out


def icon_signboard(scale, letters=""):
    def draw(fg):
        w, h = 44 * scale, 26 * scale
        x, y = 50 - w / 2, 48 - h
        o = line(50 - w / 3, y + h, 50 - w / 3, 62, INK, 4) + line(50 + w / 3, y + h, 50 + w / 3, 62, INK, 4)
        o += rect(x, y, w, h, fg, INK, 2.5, rx=4)
        o += rect(x + 4 * scale, y + h * 0.32, w - 8 * scale, 3.2 * scale, "#ffffff", None, rx=1.5)
        o += rect(x + 4 * scale, y + h * 0.62, w * 0.55, 3.2 * scale, "#ffffff", None, rx=1.5)
        return o
    return draw


def icon_text(s, size, y=58):
    return lambda fg: text(50, y, s, size, fg)


def icon_megaphone(fg):
    return (path("M28,42 l8,0 l26,-14 l0,38 l-26,-14 l-8,0 z", fg, INK, 2.5) +
            path("M36,52 l4,14 l6,0 l-2,-12", fg, INK, 2.5) +
            path("M68,36 q6,9 0,18 M74,30 q10,15 0,30", "none", fg, 3))


def icon_crate(fg):
    o = circle(42, 36, 13, "#222", INK, 2) + circle(42, 36, 4, "#ffd23f", None)
    o += circle(58, 38, 11, "#222", INK, 2) + circle(58, 38, 3.5, "#ff5b5b", None)
    o += rect(28, 40, 44, 24, "#c98a4b", INK, 2.5, rx=2)
    o += line(28, 52, 72, 52, INK, 1.6)
    o += text(50, 60, "+10", 13, "#ffffff", stroke=INK, sw=2)
    return o


def icon_window(fg):
    o = rect(28, 22, 44, 40, "#9fd6ee", INK, 2.5, rx=2)
    o += rect(28, 22, 44, 8, fg, INK, 2, rx=2)
    o += circle(42, 48, 9, "#222", INK, 1.5) + circle(42, 48, 3, "#ffd23f", None)
    o += path(star_path(61, 45, 8), "#ff4fa3", INK, 1.5)
    return o


def icon_handout(fg):
    o = circle(40, 28, 8, SKIN, INK, 2)
    o += path("M28,62 q0,-24 12,-24 q12,0 12,24 z", fg, INK, 2.5)
    o += line(48, 44, 60, 38, INK, 6) + line(48, 44, 60, 38, fg, 3.5)
    for a in (-20, 0, 20):
        o += f'<g transform="rotate({a} 62 40)">' + rect(58, 24, 11, 15, "#ffffff", INK, 1.8) + '</g>'
    return o


def icon_hat(fg):
    o = path("M34,60 L50,18 L66,60 z", "#ffd23f", INK, 2.5)
    o += path("M38,50 L62,50 M42,40 L58,40 M46,30 L54,30", "none", fg, 3.5)
    o += circle(50, 18, 5, "#ff4fa3", INK, 2)
    o += path("M28,62 q22,-6 44,0", "none", INK, 3)
    return o


def icon_percent(fg):
    return text(50, 60, "%", 46, fg)


# ---------------------------------------------------------------- full-screen pictures
# These are 100x75 user units = the 100x75 game units of the window (x = gx+50,
# y = 75-gy), stored at 1024x1024 and squeezed back to 4:3 on screen.
def sky_defs():
    return ('<linearGradient id="sky" x1="0" x2="0" y1="0" y2="1">'
            '<stop offset="0" stop-color="#1f64c2"/><stop offset="0.45" stop-color="#4f9fe6"/>'
            '<stop offset="1" stop-color="#bfe6fa"/></linearGradient>'
            '<linearGradient id="walk" x1="0" x2="0" y1="0" y2="1">'
            '<stop offset="0" stop-color="#d8c4a4"/><stop offset="1" stop-color="#ecdcc0"/></linearGradient>')


def cloud(x, y, s, op=0.95):
    return (f'<g fill="#ffffff" opacity="{op}">'
            f'<ellipse cx="{x}" cy="{y}" rx="{5*s}" ry="{2.2*s}"/>'
            f'<circle cx="{x-2*s}" cy="{y-1.4*s}" r="{2.2*s}"/>'
            f'<circle cx="{x+1.2*s}" cy="{y-2.2*s}" r="{2.8*s}"/>'
            f'<circle cx="{x+3.4*s}" cy="{y-0.8*s}" r="{1.8*s}"/></g>')


def tree(x, base, s=1.0):
    return (rect(x - 0.6 * s, base - 7 * s, 1.2 * s, 7 * s, "#7a5230", INK, 0.25) +
            circle(x, base - 9 * s, 3.6 * s, "#3f9e4a", INK, 0.3) +
            circle(x - 2.2 * s, base - 7.2 * s, 2.4 * s, "#4cb157", INK, 0.3) +
            circle(x + 2.2 * s, base - 7.4 * s, 2.5 * s, "#4cb157", INK, 0.3) +
            circle(x - 1.0 * s, base - 10.2 * s, 1.2 * s, "#6fcf6f", None, extra='opacity="0.7"'))


def lamp(x, base):
    return (rect(x - 0.3, base - 12, 0.6, 12, "#34495e", INK, 0.2) +
            path(f"M{x},{base-12} q0,-1.5 1.8,-1.5", "none", "#34495e", 0.5) +
            path(f"M{x+0.8},{base-13.2} l2,0 l-0.4,1.2 l-1.2,0 z", "#ffe07a", INK, 0.2) +
            rect(x - 0.8, base - 0.8, 1.6, 0.8, "#34495e", None))


def skyline():
    """Pale town houses far behind the three shop lots."""
    out = ""
    cols = ["#c7b3dd", "#b9c9e8", "#d3c0da", "#bcd2e0", "#cdbfe6"]
    xs = [(-2, 9, 26), (6, 10, 20), (15, 8, 28), (22, 9, 22), (30, 9, 30), (38, 8, 24), (45, 10, 32),
          (54, 9, 26), (62, 8, 21), (69, 10, 29), (78, 9, 24), (86, 8, 31), (93, 9, 23)]
    for i, (x, w, h) in enumerate(xs):
        top = 50 - h
        out += rect(x, top, w, h + 1, cols[i % len(cols)], None)
        for r in range(int((h - 4) // 4)):
            for c in range(int(w // 3)):
                out += rect(x + 1 + c * 3, top + 2 + r * 4, 1.4, 1.8, "#ffffff", None, extra='opacity="0.45"')
        if i % 3 == 0:
            out += path(f"M{x},{top} l{w/2},-3 l{w/2},3 z", cols[(i + 2) % len(cols)], None)
    return out


def street(with_clouds=True):
    out = rect(0, 0, 100, 75, "url(#sky)", None)
    if with_clouds:
        out += cloud(22, 10, 1.1) + cloud(47, 6, 0.8) + cloud(70, 21, 0.9) + cloud(93, 28, 0.8)
    # far hills and town
    out += path("M0,40 q15,-10 30,-3 q15,6 30,-2 q20,-9 40,1 L100,52 L0,52 z", "#9ccf8a", None)
    out += f'<g opacity="0.85">{skyline()}</g>'
    # trees and lamps in the gaps between the lots
    out += tree(35, 50.5, 1.0) + tree(65, 50.5, 1.0) + tree(3.5, 50.5, 0.9) + tree(96.5, 50.5, 0.9)
    out += lamp(31.0, 51.5) + lamp(63.5, 51.5)
    # pavement: slabs between the shops and the kerb
    out += rect(0, 50, 100, 18.6, "url(#walk)", None)
    for y in (53.5, 57.5, 62.0, 66.8):
        out += line(0, y, 100, y, "#c4ab87", 0.2)
    for i in range(41):
        x0 = -10 + i * 3.0
        # slab joints fan out a little to give depth
        out += line(50 + (x0 - 50) * 0.9, 50, 50 + (x0 - 50) * 1.1, 68.5, "#c4ab87", 0.15)
    out += rect(0, 49.6, 100, 0.8, "#a0876a", None, extra='opacity="0.5"')
    # kerb and road
    out += rect(0, 68.5, 100, 1.3, "#b7b2aa", INK, 0.15)
    out += rect(0, 69.8, 100, 5.2, "#4a4d55", None)
    for i in range(13):
        out += rect(1 + i * 8, 72.8, 4, 0.55, "#f5e6a0", None)
    return out


def shop_at(gx, body):
    """Nest a 25x25 shop-box drawing at the shop whose centre is x=gx, y=37.5."""
    return nest(gx + 50 - 12.5, 75 - 50, 25, 25, 25, 25, body)


def background():
    return street(), sky_defs()


def title_screen():
    out = street()
    # the three shops with their signs
    for shop, gx in ((1, -30), (0, 0), (2, 30)):
        out += shop_at(gx, shop_building())
        out += nest(gx + 50 - 25 / 6, 75 - 50 - 25 / 8, 25 / 3, 25 / 4, 100, 100, store_sign(shop))
    # the name, with a soft shadow
    out += text(50.5, 14.5, "Pellucane", 12, "#142f6b", extra='opacity="0.35"')
    out += text(50, 14, "Pellucane", 12, "#ffd23f", stroke=INK, sw=0.9)
    out += text(50, 19.6, "three music shops, one street", 2.8, "#ffffff", stroke="#142f6b", sw=0.5)
    # who plays which shop, on the pavement
    labels = ((1, -30, "left-hand keys"), (0, 0, "mouse"), (2, 30, "right-hand keys"))
    for shop, gx, how in labels:
        b = BRAND[shop]
        x = gx + 50
        out += rect(x - 11.5, 54.5, 23, 7, b["main"], INK, 0.3, rx=1.5)
        out += text(x, 58.0, b["name"], 2.6, b["text"])
        out += text(x, 60.6, how, 1.9, "#ffffff")
    out += rect(35, 64.3, 30, 5.5, "#ffffff", INK, 0.4, rx=2.75)
    out += text(50, 68.2, "click to continue", 2.8, BRAND[0]["main"])
    return out, sky_defs()


KEYS = [
    # feature, HOTBEATS key, TOP TUNES key, cost, attraction
    ("10% sale", "1", "8", "price 36", "+20"),
    ("20% sale", "2", "9", "price 32", "+35"),
    ("30% sale", "3", "0", "price 28", "+50"),
    ("40% sale", "q", "i", "price 24", "+75"),
    ("50% sale", "w", "o", "price 20", "+90"),
    ("60% sale", "e", "p", "price 16", "+105"),
    ("big sign", "a", "j", "500 + 280 a day", "+50"),
    ("medium sign", "s", "k", "300 + 180 a day", "+30"),
    ("small sign", "d", "l", "100 + 80 a day", "+10"),
    ("window display", "z", "n", "500", "+30"),
    ("handout guy", "x", "m", "10 + 20 an hour", "+50"),
    ("free hats", "c", ",", "600 + 1200 a day", "+70"),
    ("buy product", "v", "b", "30 for 10 units", ""),
]


# Text colours of the instructions, on their white boxes (and the faint red and
# blue key columns): the brand red and the street green are too light there.
INSTR_RED = "#b8261d"        # 5.8:1 on white, 4.8:1 on the red column
INSTR_GREEN = "#1e7a45"      # 5.0:1 on white


def instructions():
    out = rect(0, 0, 100, 75, "url(#sky)", None)
    out += cloud(10, 7, 0.9, 0.6) + cloud(88, 9, 0.8, 0.6)
    out += text(50, 7.2, "How to play", 5.2, "#ffd23f", stroke=INK, sw=0.6)
    # goal
    out += rect(4, 9.2, 92, 7.2, "#ffffff", INK, 0.3, rx=1.5, extra='fill-opacity="0.93"')
    out += text(50, 12.3, "Three music shops compete on one street. Every shop starts with $1000.", 2.0, INK)
    out += text(50, 15.0, "The first to reach $20000 wins, and so does the last one trading when both rivals go bankrupt.", 1.75, INSTR_RED)
    # left column: the mouse player and the rules
    b0 = BRAND[0]
    out += rect(4, 18.2, 33, 47, "#ffffff", INK, 0.3, rx=1.5, extra='fill-opacity="0.93"')
    out += rect(4, 18.2, 33, 5, b0["main"], INK, 0.3, rx=1.5)
    out += text(20.5, 21.8, "ZEDOD AZU: the mouse", 2.2, "#ffffff")
    lines = [
        "Rest the cursor on the band of",
        "a menu at the left edge (SIGNS,",
        "SALES, PROMO): its buttons slide",
        "out. Click a button to buy;",
        "hold the button down to repeat.",
        "STOCK buys more product.",
        "",
        "Every feature is a switch: the same",
        "key or button turns it off again",
        "(no refund). Signs and free hats",
        "charge every day (25 hours), the",
        "handout guy every hour.",
        "",
        "Shoppers pick a shop by its",
        "attraction: 20, plus each feature's",
        "bonus. They pay its price, 40 or",
        "less on sale, while it has product.",
    ]
    for i, s in enumerate(lines):
        out += text(5.5, 26.2 + i * 2.3, s, 1.6, INK, anchor="start")
    # right column: the key table
    x0, y0 = 39, 18.2
    out += rect(x0, y0, 57, 47, "#ffffff", INK, 0.3, rx=1.5, extra='fill-opacity="0.93"')
    cols = (x0 + 1.5, x0 + 22.75, x0 + 32.75, x0 + 38.8, x0 + 55.5)
    b1, b2 = BRAND[1], BRAND[2]
    out += rect(x0 + 17.9, y0, 9.7, 47, b1["main"], None, extra='opacity="0.14"')
    out += rect(x0 + 27.9, y0, 9.7, 47, b2["main"], None, extra='opacity="0.14"')
    hy = y0 + 3.0
    out += text(cols[0], hy, "feature", 1.7, "#555", anchor="start")
    out += fit_text(cols[1], hy - 0.6, "HOTBEATS", 1.45, INSTR_RED, 9.0)
    out += text(cols[1], hy + 1.3, "left keys", 1.2, INSTR_RED)
    out += fit_text(cols[2], hy - 0.6, "TOP TUNES", 1.45, b2["main"], 9.0)
    out += text(cols[2], hy + 1.3, "right keys", 1.2, b2["main"])
    out += text(cols[3], hy, "cost", 1.7, "#555", anchor="start")
    out += text(cols[4], hy, "attraction", 1.7, "#555", anchor="end")
    out += line(x0 + 1, y0 + 5.3, x0 + 56, y0 + 5.3, "#999", 0.15)
    for i, (feat, k1, k2, cost, bonus) in enumerate(KEYS):
        y = y0 + 8.0 + i * 2.95
        if i in (6, 9):
            out += line(x0 + 1, y - 2.1, x0 + 56, y - 2.1, "#ccc", 0.12)
        out += text(cols[0], y, feat, 1.75, INK, anchor="start")
        for kx, k, c in ((cols[1], k1, INSTR_RED), (cols[2], k2, b2["main"])):
            out += rect(kx - 1.45, y - 1.75, 2.9, 2.5, "#ffffff", c, 0.22, rx=0.5)
            out += text(kx, y, k, 1.75, c)
        out += text(cols[3], y, cost, 1.5, INK, anchor="start")
        out += text(cols[4], y, bonus, 1.75, INSTR_GREEN, anchor="end")
    out += rect(35, 67.2, 30, 5.5, "#ffd23f", INK, 0.4, rx=2.75)
    out += text(50, 71.1, "click to start", 2.8, INK)
    return out, sky_defs()


# ---------------------------------------------------------------- the desktop icon
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)   # PNG sizes of the icon, beside its SVG


def icon():
    """The game's icon in a 64x64 box: a music shop under a striped awning in
    the three shops' colours, a gold note on its roof sign, against the sky.
    Bold shapes and no text, so that it still reads at 16 pixels."""
    defs = ('<linearGradient id="iconsky" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#2166c3"/><stop offset="1" stop-color="#8fc3f0"/>'
            '</linearGradient>')
    out = rect(2, 2, 60, 60, "url(#iconsky)", INK, 2, rx=12)
    out += rect(11, 26, 42, 30, "#f3dfc1", INK, 2)                         # façade
    out += rect(17, 36, 12, 20, BRAND[0]["second"], INK, 1.6)               # door
    out += rect(33, 36, 14, 11, "#bfe3ff", INK, 1.6)                        # window
    stripes = (BRAND[1]["main"], BRAND[0]["main"], BRAND[2]["main"])
    for i in range(6):                                                      # awning
        x = 8 + i * 8
        out += path(f"M{x},22 h8 v8 a4,4 0 0 1 -8,0 z", stripes[i % 3], INK, 1.4)
    out += rect(14, 6, 36, 14, BRAND[0]["dark"], INK, 2, rx=3)              # roof sign
    out += brand_mark(0, 32, 13, 11, BRAND[0]["accent"])
    return out, defs


def write_icon():
    """content/svg/icon.svg, which build.sh renders at ICON_SIZES and copies
    into data/icons/; icon_sizes.txt tells it the sizes."""
    body, defs = icon()
    with open(os.path.join(OUT, "icon.svg"), "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 64 64">\n'
                f'<defs>{defs}</defs>\n{body}\n</svg>\n')
    with open(os.path.join(OUT, "icon_sizes.txt"), "w") as f:
        f.write(" ".join(str(size) for size in ICON_SIZES) + "\n")


# ---------------------------------------------------------------- write everything
def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        if name.endswith(".svg"):
            os.remove(os.path.join(OUT, name))

    body, defs = background()
    svg("background", 100, 75, body, 1024, defs=defs)
    body, defs = title_screen()
    svg("titlescreen", 100, 75, body, 1024, defs=defs)
    body, defs = instructions()
    svg("instructions", 100, 75, body, 1024, defs=defs)

    svg("shop", 25, 25, shop_building(), 512)
    svg("windowDisplay", 25, 25, window_display(), 512)
    svg("freehats", 25, 25, free_hats(), 512)
    svg("bankrupt", 25, 25, bankrupt(), 512)
    svg("statbox", 25, 25, statbox(), 256)
    svg("balloonmonster", 36, 36, balloon_monster(), 512)
    for shop in range(3):
        svg(f"store{shop}", 100, 100, store_sign(shop), 256)
        svg(f"handoutguy{shop}", 100, 100, handout_guy(shop), 256)
    # placeholders, replaced by the brand pictures when the shops start
    svg("sign", 100, 100, rect(4, 20, 92, 60, "#cccccc", INK, 4, rx=10), 64)
    svg("handoutguy", 100, 100, circle(50, 24, 11, "#cccccc", INK, 2) +
        path("M38,38 q12,-7 24,0 l3,56 l-30,0 z", "#cccccc", INK, 2), 64)

    svg("malecustomer1", 100, 100, figure(customer(False, 0)), 256)
    svg("malecustomer2", 100, 100, figure(customer(False, 1)), 256)
    svg("femalecustomer1", 100, 100, figure(customer(True, 0)), 256)
    svg("femalecustomer2", 100, 100, figure(customer(True, 1)), 256)
    for name in ("topHat", "jesterhat", "visor"):
        svg(name, 100, 100, figure(hat(name)), 128)
    for shop, word in ((0, "music"), (1, "hotbeat"), (2, "top")):
        svg(f"male{word}bag", 100, 100, figure(bag(shop, False)), 128)
        svg(f"female{word}bag", 100, 100, figure(bag(shop, True)), 128)

    svg("sun1", 25, 25, sun(0), 256)
    svg("sun2", 25, 25, sun(1), 256)

    body, defs = sidebar()
    svg("sidebar", 40, 120, body, 256, 1024, defs=defs)
    svg("signbutton", 100, 100, button("menu", icon_signboard(1.0), "SIGNS"), 128)
    svg("saleButton", 100, 100, button("menu", icon_percent, "SALES"), 128)
    svg("promotion", 100, 100, button("menu", icon_megaphone, "PROMO"), 128)
    svg("product", 100, 100, button("menu", icon_crate, "STOCK"), 128)
    svg("bigsign", 100, 100, button("option", icon_signboard(1.15), "BIG"), 128)
    svg("mediumsign", 100, 100, button("option", icon_signboard(0.85), "MEDIUM"), 128)
    svg("smallsign", 100, 100, button("option", icon_signboard(0.6), "SMALL"), 128)
    for name, pct in (("ten", 10), ("twenty", 20), ("thirty", 30), ("forty", 40), ("fifty", 50), ("sixty", 60)):
        svg(name, 100, 100, button("option", icon_text(f"{pct}%", 34, 58), "OFF", 18), 128)
    svg("window", 100, 100, button("option", icon_window, "WINDOW"), 128)
    svg("handout", 100, 100, button("option", icon_handout, "FLYERS"), 128)
    svg("balloon", 100, 100, button("option", icon_hat, "HATS"), 128)

    with open(os.path.join(OUT, "sizes.txt"), "w") as f:
        for name in sorted(SIZES):
            f.write("%s %d %d %d %d\n" % ((name,) + SIZES[name]))
    write_icon()
    print(f"{len(SIZES)} pictures written to {OUT}")


if __name__ == "__main__":
    main()

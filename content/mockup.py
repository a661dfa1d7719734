#!/usr/bin/env python3
"""Mock-ups for checking the pictures by eye (nothing here is shipped).

Writes, into the folder given as first argument (default /tmp/pellucane-mockup):
  contact.png   every picture of data/images on a grid, over a checkerboard
  street.png    the street at the game's geometry, 1024x768, with all features on
  street2.png   the street with a bankrupt shop, other signs and open menus
  onscreen.png  a few pictures at their exact on-screen pixel size

Needs ImageMagick (convert, montage).  Run: python3 content/mockup.py [outdir]
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
IMG = os.path.join(HERE, "..", "data", "images")
FONT = os.path.join(HERE, "..", "data", "fonts", "ERASDEMI.ttf")
OUT = sys.argv[1] if len(sys.argv) > 1 else "/tmp/pellucane-mockup"
UNIT = 10.24


class Frame:
    """Collects ImageMagick operations that draw pictures and text in game units."""

    def __init__(self):
        self.ops = []

    def quad(self, name, cx, cy, w, h=None):
        h = w if h is None else h
        pw, ph = max(1, round(w * UNIT)), max(1, round(h * UNIT))
        x = round((cx - w / 2 + 50) * UNIT)
        y = round((75 - (cy + h / 2)) * UNIT)
        self.ops += ["(", os.path.join(IMG, name + ".png"), "-resize", f"{pw}x{ph}!", ")",
                     "-geometry", f"{x:+d}{y:+d}", "-composite"]

    def text(self, s, gx, gy, colour="white", scale=0.06):
        # the game rasterises the font at 30 and scales it by `scale` units per pixel
        size = 30 * scale * UNIT
        x = round((gx + 50) * UNIT)
        y = round((75 - gy) * UNIT)
        self.ops += ["-font", FONT, "-pointsize", f"{size:.1f}", "-fill", colour,
                     "-annotate", f"+{x}+{y}", s]

    def save(self, path):
        cmd = ["convert", "-size", "1024x768", "xc:white", "(", os.path.join(IMG, "background.png"),
               "-resize", "1024x768!", ")", "-composite"] + self.ops + [path]
        subprocess.run(cmd, check=True)


def shop(f, x, features, money=1000, price=40, product=100, sale=0.0):
    y, size = 37.5, 25
    f.quad("shop", x, y, size)
    if sale:
        f.quad("balloonmonster", x, y + size / 2 + sale / 2 - 2, sale)
    sign = features.get("sign")
    if sign == "small":
        f.quad(features["store"], x, y + size / 2, size / 4, size / 6)
    elif sign == "medium":
        f.quad(features["store"], x, y + size / 2, size / 3, size / 4)
    elif sign == "big":
        f.quad(features["store"], x, y + size / 2, size / 2, size / 2)
    if features.get("window"):
        f.quad("windowDisplay", x, y, size)
    if features.get("hats"):
        f.quad("freehats", x, y, size)
    if "handout" in features:
        f.quad(features["handout"], features.get("handoutX", x), y - size / 4, size / 1.5)
    f.quad("statbox", x, y - size - 5, size)
    tx = x + 1 - size / 2
    if money > 0:
        f.text(f"MONEY $ {money:.0f}", tx, y - size - 6)
        colour = "white"
    else:
        f.text(f"BANKRUPT {money:.0f}", tx, y - size - 6, "red")
        colour = "red"
    f.text(f"cash/customer $ {price:.0f}", tx, y - size - 8, colour)
    f.text(f"Product Left {product:.0f}", tx, y - size - 11, "red" if product <= 0 else colour)
    if features.get("income"):
        f.text(f"${price:.0f}", x, y + 6, "#00ff00")
    if features.get("cost"):
        f.text(f"$-{features['cost']}", x, y + 12, "red")
    if money <= 0:
        f.quad("bankrupt", x, y, size)


def customers(f, people):
    for gender, frame, x, y, hat, bag in people:
        body = ("malecustomer" if gender == 0 else "femalecustomer") + str(frame)
        f.quad(body, x, y, 15)
        if hat:
            f.quad(hat, x, y, 15)
        if bag:
            f.quad(("male" if gender == 0 else "female") + bag + "bag", x, y, 15)


def sidebar(f, open_menu=None, strip=-14.0):
    f.quad("sidebar", -46, 37.5, 40, 120)
    f.quad("signbutton", -46, 71.5, 8)
    f.quad("saleButton", -46, 63.5, 8)
    f.quad("promotion", -46, 55.5, 8)
    f.quad("product", -46, 31.5, 8)
    first = strip - 32 / 1.28
    strips = {"sign": (71.5, ["bigsign", "mediumsign", "smallsign"]),
              "sale": (63.5, ["ten", "twenty", "thirty", "forty", "fifty", "sixty"]),
              "promo": (55.5, ["window", "handout", "balloon"])}
    for menu, (y, names) in strips.items():
        if menu in (open_menu or ()):
            for i, n in enumerate(names):
                f.quad(n, first + i * 8, y, 8)


def clock(f, text=("TIME 8", ":0", "5", "AM"), frame=1):
    f.quad(f"sun{frame}", 20, 60, 25)
    for s, dx in zip(text, (0, 9, 11, 14)):
        f.text(s, 30 + dx, 70)


def main():
    os.makedirs(OUT, exist_ok=True)
    # contact sheet
    names = sorted(n[:-4] for n in os.listdir(IMG) if n.endswith(".png"))
    subprocess.run(["montage", "-background", "#bbbbbb", "-label", "%t", "-pointsize", "11"] +
                   [os.path.join(IMG, n + ".png") for n in names] +
                   ["-tile", "8x", "-geometry", "150x150+6+6", "-texture", "pattern:checkerboard",
                    os.path.join(OUT, "contact.png")], check=True)

    # street with everything switched on
    f = Frame()
    shop(f, -30, {"sign": "big", "store": "store1", "window": True, "handout": "handoutguy1",
                  "handoutX": -36, "cost": 500}, money=2350, price=16, product=64, sale=35.71)
    shop(f, 0, {"sign": "medium", "store": "store0", "hats": True, "handout": "handoutguy0",
                "handoutX": 5, "income": True}, money=1180, price=32, product=97, sale=13.89)
    shop(f, 30, {"sign": "small", "store": "store2", "window": True, "hats": True,
                 "handout": "handoutguy2", "handoutX": 26}, money=760, price=40, product=0)
    customers(f, [(0, 1, -44, 15, None, None), (1, 2, -33, 15, "visor", "hotbeat"),
                  (0, 2, -20, 15, "jesterhat", "music"), (1, 1, -8, 15, None, "top"),
                  (0, 1, 4, 37.5, None, None), (1, 1, 12, 15, "topHat", "top"),
                  (0, 2, 22, 15, "topHat", "top"), (1, 2, 36, 15, "jesterhat", "music"),
                  (0, 1, 46, 15, "visor", None), (1, 1, -30, 30, None, None)])
    sidebar(f, open_menu=("sale",))
    clock(f)
    f.save(os.path.join(OUT, "street.png"))

    # a bankrupt shop, the sign menu and the promotion menu open, no sales
    f = Frame()
    shop(f, -30, {}, money=-200, price=40, product=12)
    shop(f, 0, {"sign": "big", "store": "store0", "window": True}, money=19870, price=40, product=5)
    shop(f, 30, {"sign": "medium", "store": "store2", "handout": "handoutguy2", "handoutX": 38},
         money=420, price=24, product=33, sale=20.83)
    customers(f, [(1, 1, -40, 15, None, None), (0, 2, -15, 15, "jesterhat", "music"),
                  (1, 2, 8, 15, "jesterhat", "music"), (0, 1, 28, 15, None, "top")])
    sidebar(f, open_menu=("sign", "promo"))
    clock(f, ("TIME 12", ":5", "9", "PM"), 2)
    f.save(os.path.join(OUT, "street2.png"))

    # a few pictures at exactly their on-screen size, side by side
    ops = []
    x = 10
    for name, w, h in (("bigsign", 8, 8), ("mediumsign", 8, 8), ("smallsign", 8, 8), ("ten", 8, 8), ("sixty", 8, 8),
                       ("window", 8, 8), ("handout", 8, 8), ("balloon", 8, 8), ("product", 8, 8),
                       ("signbutton", 8, 8), ("saleButton", 8, 8), ("promotion", 8, 8),
                       ("store0", 8.33, 6.25), ("store1", 8.33, 6.25), ("store2", 8.33, 6.25),
                       ("store0", 6.25, 4.17), ("store1", 6.25, 4.17), ("store2", 6.25, 4.17)):
        pw, ph = round(w * UNIT), round(h * UNIT)
        ops += ["(", os.path.join(IMG, name + ".png"), "-resize", f"{pw}x{ph}!", ")",
                "-geometry", f"+{x}+10", "-composite"]
        x += pw + 8
    subprocess.run(["convert", "-size", f"{x+10}x110", "xc:#7fb7e8"] + ops + [os.path.join(OUT, "onscreen.png")],
                   check=True)
    print("mock-ups in", OUT)


if __name__ == "__main__":
    main()

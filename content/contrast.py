#!/usr/bin/env python3
"""Prints the WCAG 2 contrast ratio of each text colour of our pictures, and
of the game's status texts, against what lies behind it (4.5:1 is the aim).

Run: python3 content/contrast.py
"""
import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pictures as p  # noqa: E402


def rgb(colour):
    colour = colour.lstrip("#")
    return tuple(int(colour[i:i + 2], 16) for i in (0, 2, 4))


def luminance(colour):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(v) for v in rgb(colour))
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def ratio(a, b):
    hi, lo = sorted((luminance(a), luminance(b)), reverse=True)
    return (hi + 0.05) / (lo + 0.05)


def over(top, alpha, bottom):
    """top painted with opacity alpha over bottom."""
    return "#%02x%02x%02x" % tuple(round(alpha * t + (1 - alpha) * b) for t, b in zip(rgb(top), rgb(bottom)))


def main():
    # the instruction boxes: white at 93% over the sky (darkest where the rule
    # line is, at 20% of the height; the key table over its 45% stop)
    rule_box = over("#ffffff", 0.93, "#3a7fd5")
    table_box = over("#ffffff", 0.93, "#4f9fe6")
    red_column = over(p.BRAND[1]["main"], 0.14, table_box)
    rows = [
        ("status lines: red on the panel", "#ff0000", p.PANEL),
        ("status lines: white on the panel", "#ffffff", p.PANEL),
        ("sidebar: ZEDOD AZU on its purple", p.SIDEBAR_TEXT, p.BRAND[0]["main"]),
        ("menu buttons: white label on teal", "#ffffff", p.MENU_FILL),
        ("option buttons: purple label on cream", p.BRAND[0]["main"], "#fff6e0"),
        ("instructions: red rule line", p.INSTR_RED, rule_box),
        ("instructions: HOTBEATS keys on their column", p.INSTR_RED, red_column),
        ("instructions: green attraction figures", p.INSTR_GREEN, table_box),
    ]
    for name, fg, bg in rows:
        r = ratio(fg, bg)
        print(f"{r:5.2f}:1  {'ok ' if r >= 4.5 else 'LOW'}  {name} ({fg} on {bg})")


if __name__ == "__main__":
    main()

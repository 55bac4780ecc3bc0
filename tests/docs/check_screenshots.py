#!/usr/bin/env python3
"""Each window screenshot under docs/screenshots/ must still show the window's
current menu bar and front panel: a fresh screenshot of the preset screen is
drawn, and the menu bar and the panel of every committed picture are compared
with it. The trace is left out, since it is noise and changes every sweep.
The pictures of the dark theme are compared with a fresh one in that theme.

Usage: check_screenshots.py --tavlin BUILD/tavlin --source REPO
Exits 1 naming each picture whose menu bar or panel differs, and says to run
scripts/screenshots.sh.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageChops, ImageFilter

# Pictures that are not of the main window: a plot dialog, the web page.
NOT_THE_WINDOW = {"phase-noise.png", "web-page.png"}
# Pictures of the window in the dark theme; all others are light.
DARK = {"dark-theme.png"}
# Pictures whose panel is partly covered, with the reason; their menu bar is
# still checked.
PANEL_COVERED = {
    "peak-table.png": "the peak table's window, centred on the main one, covers the panel's edge",
}
# The menu bar's words, from the left; and the panel, below the tool bar, to
# the right edge (its buttons end above PRESET's row plus a margin).
MENU_BAR = (0, 0, 420, 22)
PANEL_WIDTH, PANEL_TOP, PANEL_BOTTOM = 278, 52, 600
# Words and lines are the dark ink of a region (a greyed word is not ink);
# in the dark theme they are its light ink (greyed words, at 150 of 255,
# are not ink there either).
# A pixel differs when it is ink in one picture and no ink lies within a
# pixel of it in the other, so a lit button's word set in bold does not
# differ but a word drawn, greyed, moved or gone does. A region differs when
# more than this share of its pixels do: a greyed button's word is 0.13 %
# of the panel and a lit one's 0.01 %; a menu added 6 % of the menu bar.
INK_BELOW = 110
DARK_INK_ABOVE = 185
REGION_TOLERANCE = {"menu bar": 0.005, "panel": 0.0005}


def regions(image, dark):
    grey = image.convert("L")
    ink = grey.point(lambda v: 255 if (v > DARK_INK_ABOVE if dark else v < INK_BELOW) else 0)
    width = image.width
    return {
        "menu bar": ink.crop(MENU_BAR),
        "panel": ink.crop((width - PANEL_WIDTH, PANEL_TOP, width, PANEL_BOTTOM)),
    }


def ink_without_neighbour(a, b):
    near = b.filter(ImageFilter.MaxFilter(3))
    return ImageChops.subtract(a, near).histogram()[255]


def share_differing(a, b):
    if a.size != b.size:
        return 1.0
    moved = ink_without_neighbour(a, b) + ink_without_neighbour(b, a)
    return moved / float(a.width * a.height)


def draw_fresh(tavlin, source, folder, theme):
    path = os.path.join(folder, theme + ".png")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run([tavlin, "--simulate=" + os.path.join(source, "scenes", "default.json"),
                    "--screenshot", path, "--sweeps", "1", "--theme", theme],
                   env=env, check=True, timeout=120, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return Image.open(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tavlin", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    folder = os.path.join(args.source, "docs", "screenshots")
    with tempfile.TemporaryDirectory() as scratch:
        fresh = {dark: regions(draw_fresh(args.tavlin, args.source, scratch,
                                          "dark" if dark else "light"), dark)
                 for dark in (False, True)}
    faults = []
    checked = 0
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".png") or name in NOT_THE_WINDOW:
            continue
        checked += 1
        dark = name in DARK
        shown = regions(Image.open(os.path.join(folder, name)), dark)
        if name in PANEL_COVERED:
            del shown["panel"]
        for region, image in shown.items():
            share = share_differing(image, fresh[dark][region])
            if share > REGION_TOLERANCE[region]:
                faults.append(f"{name}: the {region} differs from the window's "
                              f"({100 * share:.1f} % of its pixels)")
    for fault in faults:
        print(fault)
    if faults:
        print("Draw the pictures again with scripts/screenshots.sh and look at them.")
        return 1
    print(f"{checked} screenshots show the current menu bar and panel")
    return 0


if __name__ == "__main__":
    sys.exit(main())

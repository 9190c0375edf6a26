#!/usr/bin/env python3
"""The demo's contact sheet: every result of `mira demo` as a thumbnail,
labelled on the sheet with its operation, the path it ran on, its time and
its file, drawn with Pillow's ImageDraw.

usage: contact_sheet.py <demo output folder> [sheet.png]

Reads <folder>/demo.tsv (file, operation, path, ms per result, written by
`mira demo`) and writes <folder>/contact_sheet.png unless told otherwise.
"""

import csv
import os
import sys

from PIL import Image, ImageDraw, ImageFont

CELL = 256     # thumbnail box
BAND = 44      # label band under each thumbnail
GAP = 8
COLUMNS = 4
BACKGROUND = (40, 40, 40)
TEXT = (235, 235, 235)
DIM = (170, 170, 170)


def _font(size):
    for path in ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                 "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"):
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def _fit(draw, text, font, width):
    """text, shortened with an ellipsis until it fits `width` pixels."""
    if draw.textlength(text, font=font) <= width:
        return text
    while text and draw.textlength(text + "…", font=font) > width:
        text = text[:-1]
    return text + "…"


def read_table(folder):
    with open(os.path.join(folder, "demo.tsv"), newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def make_sheet(folder, rows):
    count = len(rows)
    lines = (count + COLUMNS - 1) // COLUMNS
    sheet = Image.new("RGB", (COLUMNS * (CELL + GAP) + GAP, lines * (CELL + BAND + GAP) + GAP),
                      BACKGROUND)
    draw = ImageDraw.Draw(sheet)
    big, small = _font(15), _font(12)
    for i, row in enumerate(rows):
        x0 = GAP + (i % COLUMNS) * (CELL + GAP)
        y0 = GAP + (i // COLUMNS) * (CELL + BAND + GAP)
        img = Image.open(os.path.join(folder, row["file"]))
        if img.mode in ("LA", "P", "I;16"):
            img = img.convert("RGBA")
        img = img.convert("RGB")
        img.thumbnail((CELL, CELL), Image.NEAREST)
        sheet.paste(img, (x0 + (CELL - img.width) // 2, y0 + (CELL - img.height) // 2))
        title = row["operation"]
        detail = row["file"] if row["path"] == "-" else \
            f"{row['path']}, {float(row['ms']):.3f} ms, {row['file']}"
        draw.text((x0 + 2, y0 + CELL + 4), _fit(draw, title, big, CELL - 4), font=big, fill=TEXT)
        draw.text((x0 + 2, y0 + CELL + 24), _fit(draw, detail, small, CELL - 4), font=small,
                  fill=DIM)
    return sheet


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    folder = argv[1]
    out = argv[2] if len(argv) > 2 else os.path.join(folder, "contact_sheet.png")
    rows = read_table(folder)
    make_sheet(folder, rows).save(out)
    print(f"contact sheet: {out} ({len(rows)} images, labelled)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

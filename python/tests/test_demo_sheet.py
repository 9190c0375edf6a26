"""The demo's contact sheet (tools/contact_sheet.py): one thumbnail per
result of demo.tsv, each labelled on the sheet with its operation, path,
time and file."""

import importlib.util
import os

import numpy as np
import pytest
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "tools", "contact_sheet.py")


def _sheet_module():
    spec = importlib.util.spec_from_file_location("contact_sheet", SCRIPT)
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


# (file, operation, path, ms, image)
RESULTS = [
    ("0_input.png", "input", "-", "-", np.full((120, 200, 3), (200, 30, 30), np.uint8)),
    ("1_rotate90.png", "rotate90", "cpu", "0.125", np.full((200, 120), 90, np.uint8)),
    ("2_warp_bicubic.png", "warp_bicubic", "cpu", "3.500", np.full((64, 64), 250, np.uint8)),
    ("3_upsample_chroma.png", "upsample_chroma", "cpu", "12.000",
     np.dstack([np.full((50, 80), 10, np.uint8), np.full((50, 80), 240, np.uint8)])),
    ("4_floodfill_mask.png", "floodfill mask", "gpu", "1.000", np.zeros((30, 30), np.uint8)),
]


def test_every_tile_is_labelled(tmp_path):
    cs = _sheet_module()
    with open(tmp_path / "demo.tsv", "w") as f:
        f.write("file\toperation\tpath\tms\n")
        for name, op, path, ms, img in RESULTS:
            Image.fromarray(img, "LA" if img.ndim == 3 and img.shape[2] == 2 else None).save(
                tmp_path / name)
            f.write(f"{name}\t{op}\t{path}\t{ms}\n")
    assert cs.main(["contact_sheet.py", str(tmp_path)]) == 0
    sheet = np.asarray(Image.open(tmp_path / "contact_sheet.png").convert("RGB"))
    cell, band, gap, cols = cs.CELL, cs.BAND, cs.GAP, cs.COLUMNS
    assert sheet.shape == (2 * (cell + band + gap) + gap, cols * (cell + gap) + gap, 3)
    bands = []
    for i, (name, op, path, ms, img) in enumerate(RESULTS):
        x0 = gap + (i % cols) * (cell + gap)
        y0 = gap + (i // cols) * (cell + band + gap)
        # the thumbnail's centre shows the picture (constant images here)
        centre = sheet[y0 + cell // 2, x0 + cell // 2]
        want = img[0, 0] if img.ndim == 3 and img.shape[2] == 3 else \
            np.array([img[0, 0] if img.ndim == 2 else img[0, 0, 0]] * 3)
        np.testing.assert_array_equal(centre, want, err_msg=op)
        # the band under it carries text: the title line and the detail line
        title = sheet[y0 + cell + 2:y0 + cell + 22, x0:x0 + cell]
        detail = sheet[y0 + cell + 22:y0 + cell + band, x0:x0 + cell]
        assert (np.abs(title.astype(int) - cs.BACKGROUND).sum(axis=2) > 100).sum() > 30, op
        assert (np.abs(detail.astype(int) - cs.BACKGROUND).sum(axis=2) > 100).sum() > 30, op
        bands.append(title)
    # different operations, different labels
    for i in range(len(bands)):
        for j in range(i + 1, len(bands)):
            assert not np.array_equal(bands[i], bands[j]), (RESULTS[i][1], RESULTS[j][1])


def test_labels_are_the_texts_of_the_table(tmp_path):
    """The title band of a tile is exactly its operation drawn in the sheet's
    font, and the detail band names its path, time and file."""
    cs = _sheet_module()
    rows = [{"file": "a.png", "operation": "gaussian 3x3", "path": "cpu", "ms": "2.25"}]
    Image.fromarray(np.full((10, 10), 7, np.uint8)).save(tmp_path / "a.png")
    sheet = cs.make_sheet(str(tmp_path), rows)
    from PIL import ImageDraw
    probe = Image.new("RGB", sheet.size, cs.BACKGROUND)
    d = ImageDraw.Draw(probe)
    d.text((cs.GAP + 2, cs.GAP + cs.CELL + 4), "gaussian 3x3", font=cs._font(15), fill=cs.TEXT)
    d.text((cs.GAP + 2, cs.GAP + cs.CELL + 24), "cpu, 2.250 ms, a.png", font=cs._font(12),
           fill=cs.DIM)
    y0 = cs.GAP + cs.CELL
    np.testing.assert_array_equal(np.asarray(sheet)[y0:y0 + cs.BAND],
                                  np.asarray(probe)[y0:y0 + cs.BAND])

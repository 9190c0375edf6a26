"""Camera frames: mira.yuv420_to_rgb and mira.rgb_to_yuv420 on Android's flat
buffers, against a reference written from the ITU formulas (double
precision), OpenCV's NV21 conversion, and across both paths."""

import numpy as np
import pytest

import mira

KR_KB = {"bt601": (0.299, 0.114), "bt709": (0.2126, 0.0722), "bt2020": (0.2627, 0.0593)}
LAYOUTS = ("nv21", "nv12", "i420", "yv12")


def planes(buf, w, h, layout):
    """Y (h, w), U and V (ceil(h/2), ceil(w/2)) of a flat buffer."""
    cw, ch = (w + 1) // 2, (h + 1) // 2
    y = buf[: w * h].reshape(h, w)
    c = buf[w * h: w * h + 2 * cw * ch]
    if layout in ("nv21", "nv12"):
        pairs = c.reshape(ch, cw, 2)
        v, u = (pairs[..., 0], pairs[..., 1]) if layout == "nv21" else (pairs[..., 1], pairs[..., 0])
    else:
        a, b = c[: cw * ch].reshape(ch, cw), c[cw * ch:].reshape(ch, cw)
        u, v = (a, b) if layout == "i420" else (b, a)
    return y, u, v


def exact_rgb(y, u, v, matrix, rng):
    kr, kb = KR_KB[matrix]
    kg = 1 - kr - kb
    lim = rng == "limited"
    h, w = y.shape
    up = lambda c: np.repeat(np.repeat(c, 2, 0), 2, 1)[:h, :w].astype(np.float64)
    yy = (y.astype(np.float64) - 16) * 255 / 219 if lim else y.astype(np.float64)
    pb = (up(u) - 128) * (255 / 224 if lim else 1)
    pr = (up(v) - 128) * (255 / 224 if lim else 1)
    r = yy + 2 * (1 - kr) * pr
    b = yy + 2 * (1 - kb) * pb
    g = (yy - kr * r - kb * b) / kg
    return np.clip(np.floor(np.stack([r, g, b], -1) + 0.5), 0, 255).astype(np.int16)


def random_frame(w, h, seed):
    n = w * h + 2 * ((w + 1) // 2) * ((h + 1) // 2)
    return np.random.default_rng(seed).integers(0, 256, n, dtype=np.uint8)


@pytest.mark.parametrize("size", [(1, 1), (7, 3), (17, 17), (33, 2), (641, 17)])
@pytest.mark.parametrize("layout", LAYOUTS)
def test_to_rgb_within_one_of_exact(size, layout):
    w, h = size
    buf = random_frame(w, h, w * h)
    y, u, v = planes(buf, w, h, layout)
    for matrix in KR_KB:
        for rng in ("limited", "full"):
            want = exact_rgb(y, u, v, matrix, rng)
            for fmt in ("RGB", "BGR", "RGBA", "BGRA"):
                got = mira.yuv420_to_rgb(buf, (w, h), layout=layout, matrix=matrix, range=rng,
                                         format=fmt)
                assert got.shape == (h, w, len(fmt))
                rgb = got[..., :3][..., ::-1] if fmt.startswith("B") else got[..., :3]
                assert np.abs(rgb.astype(np.int16) - want).max() <= 1, (matrix, rng, fmt)
                if len(fmt) == 4:
                    assert (got[..., 3] == 255).all()


def test_two_dimensional_buffer_and_defaults():
    w, h = 64, 48
    buf = random_frame(w, h, 3)
    a = mira.yuv420_to_rgb(buf.reshape(h * 3 // 2, w))
    b = mira.yuv420_to_rgb(buf, (w, h), layout="nv21", matrix="bt601", range="limited",
                           format="RGB")
    np.testing.assert_array_equal(a, b)
    out = np.zeros((h, w, 4), np.uint8)
    assert mira.yuv420_to_rgb(buf, (w, h), format="RGBA", out=out) is out


def test_cpu_and_gpu_identical():
    w, h = 641, 37
    buf = random_frame(w, h, 9)
    for layout in LAYOUTS:
        cpu = mira.yuv420_to_rgb(buf, (w, h), layout=layout, matrix="bt709", device="cpu")
        gpu = mira.yuv420_to_rgb(buf, (w, h), layout=layout, matrix="bt709", device="gpu")
        np.testing.assert_array_equal(cpu, gpu)
        img = np.random.default_rng(1).integers(0, 256, (h, w, 3), dtype=np.uint8)
        np.testing.assert_array_equal(mira.rgb_to_yuv420(img, layout=layout, device="cpu"),
                                      mira.rgb_to_yuv420(img, layout=layout, device="gpu"))


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("size", [(1, 1), (7, 3), (64, 48), (33, 17)])
def test_rgb_to_yuv420_flat_buffer(layout, size):
    w, h = size
    img = np.random.default_rng(w + h).integers(0, 256, (h, w, 3), dtype=np.uint8)
    for matrix in KR_KB:
        for rng in ("limited", "full"):
            buf = mira.rgb_to_yuv420(img, layout=layout, matrix=matrix, range=rng)
            assert buf.shape == (w * h + 2 * ((w + 1) // 2) * ((h + 1) // 2),)
            y, u, v = planes(buf, w, h, layout)
            kr, kb = KR_KB[matrix]
            kg = 1 - kr - kb
            f = img.astype(np.float64)
            lum = kr * f[..., 0] + kg * f[..., 1] + kb * f[..., 2]
            want_y = 16 + lum * 219 / 255 if rng == "limited" else lum
            assert np.abs(y.astype(np.int16) - np.floor(want_y + 0.5)).max() <= 1
            # chroma of the 2 x 2 block mean (edge blocks: the pixels that exist)
            pad = np.pad(f, ((0, h % 2), (0, w % 2), (0, 0)), mode="edge")
            m = pad.reshape(pad.shape[0] // 2, 2, pad.shape[1] // 2, 2, 3).mean((1, 3))
            ml = kr * m[..., 0] + kg * m[..., 1] + kb * m[..., 2]
            s = 224 / 255 if rng == "limited" else 1
            want_u = np.clip(np.floor(128 + s * (m[..., 2] - ml) / (2 * (1 - kb)) + 0.5), 0, 255)
            want_v = np.clip(np.floor(128 + s * (m[..., 0] - ml) / (2 * (1 - kr)) + 0.5), 0, 255)
            assert np.abs(u.astype(np.int16) - want_u).max() <= 1
            assert np.abs(v.astype(np.int16) - want_v).max() <= 1


def test_round_trip_uniform_blocks():
    # Uniform 2 x 2 blocks lose nothing to the chroma subsampling: the round
    # trip moves each channel by at most 1.5 steps of Y and of each chroma
    # sample (times its weight) plus 1.5: at most 6 for BT.601 limited range.
    rng = np.random.default_rng(4)
    small = rng.integers(0, 256, (20, 30, 3), dtype=np.uint8)
    img = np.repeat(np.repeat(small, 2, 0), 2, 1)
    back = mira.yuv420_to_rgb(mira.rgb_to_yuv420(img), (60, 40))
    assert np.abs(back.astype(np.int16) - img).max() <= 6


def test_matches_opencv():
    cv2 = pytest.importorskip("cv2")
    w, h = 640, 480
    frame = random_frame(w, h, 12).reshape(h * 3 // 2, w)
    legal = frame[:h] >= 16
    # OpenCV raises luma below 16 (outside the limited range) to 16 before
    # converting; ours follows the formula there. Where Y >= 16 the two
    # differ by at most 1 (measured on every layout: 1, in about 3.7% of
    # the samples).
    for layout, code in (("nv21", cv2.COLOR_YUV2BGR_NV21), ("nv12", cv2.COLOR_YUV2BGR_NV12),
                         ("i420", cv2.COLOR_YUV2BGR_I420), ("yv12", cv2.COLOR_YUV2BGR_YV12)):
        ours = mira.yuv420_to_rgb(frame, layout=layout, format="BGR")
        theirs = cv2.cvtColor(frame, code)
        assert np.abs(ours.astype(np.int16) - theirs)[legal].max() <= 1, layout


def test_refusals():
    buf = random_frame(8, 8, 1)
    with pytest.raises(ValueError, match="size"):
        mira.yuv420_to_rgb(buf)
    with pytest.raises(ValueError, match="needs"):
        mira.yuv420_to_rgb(buf[:-1], (8, 8))
    with pytest.raises(ValueError, match="layout"):
        mira.yuv420_to_rgb(buf, (8, 8), layout="yuyv")
    with pytest.raises(ValueError, match="matrix"):
        mira.yuv420_to_rgb(buf, (8, 8), matrix="bt470")
    with pytest.raises(TypeError):
        mira.yuv420_to_rgb(buf.astype(np.int16), (8, 8))
    with pytest.raises(ValueError, match="contiguous"):
        mira.yuv420_to_rgb(np.zeros(400, np.uint8)[::2], (8, 8))
    with pytest.raises(ValueError, match="channels"):
        mira.rgb_to_yuv420(np.zeros((4, 4, 3), np.uint8), format="RGBA")

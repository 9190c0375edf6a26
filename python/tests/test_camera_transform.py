"""The fused camera call through mira.yuv420_to_rgb(degrees=, mirror=, dsize=,
interpolation=): against a numpy reference written from the header's
arithmetic (per-axis taps, 8-bit weights, the integer conversion), against
converting then turning with numpy at the turned size, and across both paths."""

import numpy as np
import pytest

import mira

KR_KB = {"bt601": (0.299, 0.114), "bt709": (0.2126, 0.0722), "bt2020": (0.2627, 0.0593)}


def planes(buf, w, h, layout):
    cw, ch = (w + 1) // 2, (h + 1) // 2
    y = buf[: w * h].reshape(h, w)
    c = buf[w * h: w * h + 2 * cw * ch]
    if layout in ("nv21", "nv12"):
        p = c.reshape(ch, cw, 2)
        v, u = (p[..., 0], p[..., 1]) if layout == "nv21" else (p[..., 1], p[..., 0])
    else:
        u, v = c[: cw * ch].reshape(ch, cw), c[cw * ch:].reshape(ch, cw)
    return y, u, v


def taps(q, n):
    i = q >> 16
    lo, hi = i < 0, i >= n - 1
    i0 = np.where(lo, 0, np.where(hi, n - 1, i))
    i1 = np.where(lo, 0, np.where(hi, n - 1, i + 1))
    return i0, i1, np.where(lo | hi, 0, (q & 0xFFFF) >> 8)


def axis(dlen, s, flip, bilinear):
    """(luma taps, chroma taps) of each destination index along a source axis."""
    d = np.arange(dlen, dtype=np.int64)
    if not bilinear:
        o = (2 * d + 1) * s // (2 * dlen)
        if flip:
            o = s - 1 - o
        z = np.zeros_like(o)
        return (o, o, z), (o >> 1, o >> 1, z)
    p = (2 * d + 1) * s * 65536 // (2 * dlen) - 32768
    if flip:
        p = (s - 1) * 65536 - p
    return taps(p, s), taps((p - 32768) >> 1, (s + 1) // 2)


def sample(plane, tx, ty, swap):
    x0, x1, wx = tx
    y0, y1, wy = ty
    # Rows of the destination index the source y taps unless turned.
    if swap:
        X = lambda a: a[:, None]
        Y = lambda a: a[None, :]
    else:
        X = lambda a: a[None, :]
        Y = lambda a: a[:, None]
    p = plane.astype(np.int64)
    a, b = p[Y(y0), X(x0)], p[Y(y0), X(x1)]
    c, d = p[Y(y1), X(x0)], p[Y(y1), X(x1)]
    wx, wy = X(wx), Y(wy)
    return (a * (256 - wx) * (256 - wy) + b * wx * (256 - wy) + c * (256 - wx) * wy
            + d * wx * wy + 32768) >> 16


def convert(Y, U, V, matrix, rng):
    kr, kb = KR_KB[matrix]
    kg = 1 - kr - kb
    lim = rng == "limited"
    s, c = (255 / 219, 255 / 224) if lim else (1, 1)
    r = lambda v: int(np.floor(v + 0.5))
    kY, kRV = r(s * 16384), r(c * 2 * (1 - kr) * 8192)
    kGU, kGV = r(c * 2 * (1 - kb) * kb / kg * 8192), r(c * 2 * (1 - kr) * kr / kg * 8192)
    kBU = r(c * 2 * (1 - kb) * 8192)
    q = lambda a, k: (a * k + 16384) >> 15
    y = q(128 * (Y - (16 if lim else 0)), kY) + 32
    u, v = 256 * (U - 128), 256 * (V - 128)
    rgb = [(y + q(v, kRV)) >> 6, (y - (q(u, kGU) + q(v, kGV))) >> 6, (y + q(u, kBU)) >> 6]
    return np.clip(np.stack(rgb, -1), 0, 255).astype(np.uint8)


def reference(buf, w, h, layout, degrees, mirror, dsize, bilinear, matrix, rng):
    y, u, v = planes(buf, w, h, layout)
    swap = degrees in (90, 270)
    dw, dh = dsize
    flip_x = (degrees in (180, 270)) != mirror
    flip_y = degrees in (90, 180)
    lx, cx = axis(dh if swap else dw, w, flip_x, bilinear)
    ly, cy = axis(dw if swap else dh, h, flip_y, bilinear)
    return convert(sample(y, lx, ly, swap), sample(u, cx, cy, swap), sample(v, cx, cy, swap),
                   matrix, rng)


def random_frame(w, h, seed):
    n = w * h + 2 * ((w + 1) // 2) * ((h + 1) // 2)
    return np.random.default_rng(seed).integers(0, 256, n, dtype=np.uint8)


@pytest.mark.parametrize("layout", ["nv21", "nv12", "i420"])
@pytest.mark.parametrize("size,dsize", [((7, 3), (5, 9)), ((33, 17), (12, 40)),
                                        ((1, 2), (3, 3)), ((64, 48), None)])
def test_matches_reference(layout, size, dsize):
    w, h = size
    buf = random_frame(w, h, w * h)
    for degrees in (0, 90, 180, 270):
        for mirror in (False, True):
            for interp in ("nearest", "bilinear"):
                d = dsize or ((h, w) if degrees in (90, 270) else (w, h))
                got = mira.yuv420_to_rgb(buf, (w, h), layout=layout, matrix="bt709",
                                         range="full", degrees=degrees, mirror=mirror,
                                         dsize=dsize, interpolation=interp)
                assert got.shape == (d[1], d[0], 3)
                # Upright, unmirrored and unscaled is the plain conversion (nearest chroma).
                fused = degrees != 0 or mirror or dsize is not None
                want = reference(buf, w, h, layout, degrees, mirror, d,
                                 fused and interp == "bilinear", "bt709", "full")
                np.testing.assert_array_equal(got, want, err_msg=f"{degrees} {mirror} {interp}")


@pytest.mark.parametrize("size", [(7, 3), (1, 1), (33, 17), (64, 48)])
def test_nearest_at_turned_size_is_convert_then_turn(size):
    w, h = size
    buf = random_frame(w, h, 5)
    upright = mira.yuv420_to_rgb(buf, (w, h), format="BGR")
    for degrees in (0, 90, 180, 270):
        for mirror in (False, True):
            img = upright[:, ::-1] if mirror else upright
            want = np.rot90(img, -degrees // 90)
            got = mira.yuv420_to_rgb(buf, (w, h), format="BGR", degrees=degrees, mirror=mirror,
                                     interpolation="nearest")
            np.testing.assert_array_equal(got, want, err_msg=f"{degrees} {mirror}")


def test_portrait_preview_cpu_and_gpu_identical():
    w, h = 1920, 1080
    buf = random_frame(w, h, 2)
    for interp in ("nearest", "bilinear"):
        cpu = mira.yuv420_to_rgb(buf, (w, h), format="RGBA", degrees=90, dsize=(720, 1280),
                                 interpolation=interp, device="cpu")
        gpu = mira.yuv420_to_rgb(buf, (w, h), format="RGBA", degrees=90, dsize=(720, 1280),
                                 interpolation=interp, device="gpu")
        assert cpu.shape == (1280, 720, 4)
        np.testing.assert_array_equal(cpu, gpu)


def test_refusals():
    buf = random_frame(8, 6, 1)
    with pytest.raises(ValueError):
        mira.yuv420_to_rgb(buf, (8, 6), degrees=45)
    with pytest.raises(ValueError):
        mira.yuv420_to_rgb(buf, (8, 6), degrees=90, interpolation="bicubic")
    with pytest.raises(ValueError):
        mira.yuv420_to_rgb(buf, (8, 6), dsize=(0, 4))
    with pytest.raises(TypeError):
        mira.yuv420_to_rgb(buf, (8, 6), dsize=5)

"""Each operation of the mira module against the C library called through
ctypes on the same arrays (bit for bit, on the path the call names), against
the plain ncv function where it computes the same thing, and against numpy or
OpenCV where a peer computes it; on packed arrays, on row-strided views of
larger images and on mira.empty arrays, on both devices."""

import ctypes

import cv2
import numpy as np
import pytest

import clib
import mira

DEVICES = ["cpu", "gpu", None]
LAYOUTS = ["packed", "strided", "mira_empty"]
CANARY = 0xA5


def make(rng, shape, layout, dtype=np.uint8):
    """Random image of `shape` in a layout: packed, a view into a larger
    image (rows further apart than their width, not at the buffer's start),
    or memory from mira.empty."""
    data = rng.integers(0, 256, size=shape, dtype=np.uint16).astype(dtype)
    if layout == "packed":
        return data
    if layout == "strided":
        big = np.full((shape[0] + 3, shape[1] + 7) + tuple(shape[2:]), CANARY, dtype)
        view = big[1:1 + shape[0], 3:3 + shape[1]]
        view[...] = data
        return view
    arr = mira.empty(shape, dtype)
    arr[...] = data
    return arr


def strided_out(shape, dtype=np.uint8):
    """A destination view with a canary frame around it and between its rows."""
    big = np.full((shape[0] + 2, shape[1] + 5) + tuple(shape[2:]), CANARY, dtype)
    return big, big[1:1 + shape[0], 2:2 + shape[1]]


def check_frame(big, view):
    """Nothing outside `view` changed in `big`."""
    mask = np.ones(big.shape, bool)
    r0 = (view.ctypes.data - big.ctypes.data) // big.strides[0]
    c0 = (view.ctypes.data - big.ctypes.data - r0 * big.strides[0]) // big.strides[1]
    mask[r0:r0 + view.shape[0], c0:c0 + view.shape[1]] = False
    assert (big[mask] == CANARY).all()


def c_out(shape, dtype=np.uint8):
    return np.zeros(shape, dtype)


def also_into_out(fn, args, kwargs, want):
    """The same call into a strided out= gives the same result and is returned."""
    big, view = strided_out(want.shape, want.dtype)
    got = fn(*args, out=view, **kwargs)
    assert got is view
    np.testing.assert_array_equal(view, want)
    check_frame(big, view)


@pytest.fixture
def rng(request):
    return np.random.default_rng(abs(hash(request.node.name)) % 2**32)


# ------------------------------------------------------------------ geometry

@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(1, 1), (3, 17), (17, 33), (40, 7)])
def test_transpose(rng, device, layout, hw):
    img = make(rng, hw, layout)
    got = mira.transpose(img, device=device)
    want = c_out(hw[::-1])
    clib.check(clib.mira_transpose(clib.image(img), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(got, img.T)  # numpy's transpose
    if device is None:
        ncv = c_out(hw[::-1])
        clib.ncvTransposeu8(clib.ptr(img), hw[1], hw[0], clib.stride(img), clib.ptr(ncv), hw[0])
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.transpose, (img,), {"device": device}, want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("degrees", [90, 180, 270])
@pytest.mark.parametrize("pairs", [False, True])
def test_rotate(rng, device, layout, degrees, pairs):
    shape = (9, 21, 2) if pairs else (9, 21)
    img = make(rng, shape, layout)
    got = mira.rotate(img, degrees, device=device)
    want = c_out(got.shape)
    clib.check(clib.mira_rotate(clib.image(img), clib.image(want), degrees, clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    # numpy: clockwise is rot90 with a negative count; pairs move as one pixel
    np.testing.assert_array_equal(got, np.rot90(img, -degrees // 90, axes=(0, 1)))
    if device is None:
        ncv = c_out(got.shape)
        f = clib.ncvRotateImageInterleavedu8 if pairs else clib.ncvRotateImageu8
        f(clib.ptr(img), shape[1], shape[0], clib.stride(img), clib.ptr(ncv),
          clib.stride(ncv), degrees // 90)
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.rotate, (img, degrees), {"device": device}, want)


# ------------------------------------------------------------------ colour

@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(2, 2), (6, 10), (18, 34)])
def test_nv21_to_rgba(rng, device, layout, hw):
    h, w = hw
    frame = make(rng, (h * 3 // 2, w), layout)
    got = mira.nv21_to_rgba(frame, device=device)
    assert got.shape == (h, w, 4)
    want = c_out((h, w, 4))
    y = frame[:h]
    vu = np.lib.stride_tricks.as_strided(frame[h:], (h // 2, w // 2, 2),
                                         (clib.stride(frame), 2, 1))
    clib.check(clib.mira_nv21_to_rgba(clib.image(y), clib.image(vu), clib.image(want),
                                      clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    assert (got[..., 3] == 255).all()
    # separate planes give the same picture
    np.testing.assert_array_equal(mira.nv21_to_rgba(y, vu, device=device), want)
    if device is None and layout == "packed":
        ncv = c_out((h, w, 4))
        clib.ncvColorYUV420toRGB8888u8(clib.ptr(frame), w, h, clib.ptr(ncv))
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.nv21_to_rgba, (frame,), {"device": device}, want)


def test_nv21_cpu_formula(rng):
    """The CPU method's 6-bit fixed-point formula, in numpy (luma below 16
    counts as 16)."""
    h, w = 8, 12
    frame = make(rng, (h * 3 // 2, w), "packed")
    y = np.maximum(frame[:h].astype(np.int32) - 16, 0)
    vu = frame[h:].reshape(h // 2, w // 2, 2).astype(np.int32) - 128
    v = vu[..., 0].repeat(2, 0).repeat(2, 1)
    u = vu[..., 1].repeat(2, 0).repeat(2, 1)
    r = (74 * y + 102 * v) >> 6
    g = (74 * y - 25 * u - 52 * v) >> 6
    b = (74 * y + 128 * u) >> 6
    want = np.stack([r, g, b, np.full_like(r, 255)], -1).clip(0, 255).astype(np.uint8)
    np.testing.assert_array_equal(mira.nv21_to_rgba(frame, device="cpu"), want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(2, 2), (6, 34), (18, 10)])
def test_yuv444_to_yuv420sp(rng, device, layout, hw):
    h, w = hw
    y, cb, cr = (make(rng, hw, layout) for _ in range(3))
    gy, gc = mira.yuv444_to_yuv420sp(y, cb, cr, device=device)
    wy, wc = c_out(hw), c_out((h // 2, w // 2, 2))
    clib.check(clib.mira_yuv444_to_yuv420sp(*(clib.image(a) for a in (y, cb, cr, wy, wc)),
                                            clib.PATH[device]))
    np.testing.assert_array_equal(gy, wy)
    np.testing.assert_array_equal(gc, wc)
    np.testing.assert_array_equal(gy, y)
    np.testing.assert_array_equal(gc, np.stack([cb[::2, ::2], cr[::2, ::2]], -1))
    if device is None:
        ny, nc = c_out(hw), c_out((h // 2, w // 2, 2))
        clib.ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
            clib.ptr(y), clib.ptr(cb), clib.ptr(cr), w, h, clib.stride(y), clib.stride(cb),
            clib.stride(cr), clib.ptr(ny), clib.ptr(nc), w, w)
        np.testing.assert_array_equal(gy, ny)
        np.testing.assert_array_equal(gc, nc)
    outs = [strided_out(wy.shape), strided_out(wc.shape)]
    r = mira.yuv444_to_yuv420sp(y, cb, cr, out=(outs[0][1], outs[1][1]), device=device)
    assert r[0] is outs[0][1] and r[1] is outs[1][1]
    np.testing.assert_array_equal(r[0], wy)
    np.testing.assert_array_equal(r[1], wc)
    for big, view in outs:
        check_frame(big, view)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(2, 2), (6, 34), (18, 10)])
def test_yuv420sp_to_yuv444(rng, device, layout, hw):
    h, w = hw
    y = make(rng, hw, layout)
    c = make(rng, (h // 2, w // 2, 2), layout)
    got = mira.yuv420sp_to_yuv444(y, c, device=device)
    want = [c_out(hw) for _ in range(3)]
    clib.check(clib.mira_yuv420sp_to_yuv444(clib.image(y), clib.image(c),
                                            *(clib.image(a) for a in want), clib.PATH[device]))
    for g, wnt in zip(got, want):
        np.testing.assert_array_equal(g, wnt)
    np.testing.assert_array_equal(got[0], y)
    np.testing.assert_array_equal(got[1], c[..., 0].repeat(2, 0).repeat(2, 1))
    np.testing.assert_array_equal(got[2], c[..., 1].repeat(2, 0).repeat(2, 1))
    if device is None:
        n = [c_out(hw) for _ in range(3)]
        clib.ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
            clib.ptr(y), clib.ptr(c), w, h, clib.stride(y), clib.stride(c),
            *(clib.ptr(a) for a in n), w, w, w)
        for g, wnt in zip(got, n):
            np.testing.assert_array_equal(g, wnt)
    outs = [strided_out(hw) for _ in range(3)]
    r = mira.yuv420sp_to_yuv444(y, c, out=[v for _, v in outs], device=device)
    for g, wnt, (big, view) in zip(r, want, outs):
        assert g is view
        np.testing.assert_array_equal(g, wnt)
        check_frame(big, view)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(1, 1), (3, 17), (17, 33)])
def test_swap_pairs(rng, device, layout, hw):
    pairs = make(rng, hw + (2,), layout)
    got = mira.swap_pairs(pairs, device=device)
    want = c_out(hw + (2,))
    clib.check(clib.mira_swap_pairs(clib.image(pairs), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(got, pairs[..., ::-1])
    if device is None:
        ncv = c_out(hw + (2,))
        clib.ncvColorCbCrSwapu8(clib.ptr(pairs), hw[1], hw[0], clib.stride(pairs), clib.ptr(ncv),
                                2 * hw[1])
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.swap_pairs, (pairs,), {"device": device}, want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(1, 1), (3, 17), (17, 33)])
def test_interleave(rng, device, layout, hw):
    a, b = make(rng, hw, layout), make(rng, hw, layout)
    got = mira.interleave(a, b, device=device)
    want = c_out(hw + (2,))
    clib.check(clib.mira_interleave(clib.image(a), clib.image(b), clib.image(want),
                                    clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(got, np.stack([a, b], -1))
    if device is None:
        ncv = c_out(hw + (2,))
        clib.ncvInterleaveu8(clib.ptr(a), clib.ptr(b), hw[1], hw[0], clib.stride(a),
                             clib.stride(b), clib.ptr(ncv), 2 * hw[1])
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.interleave, (a, b), {"device": device}, want)


# ------------------------------------------------------------------ filters

@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("sobel", [False, True])
@pytest.mark.parametrize("hw", [(1, 1), (3, 3), (17, 33)])
def test_gradient(rng, device, layout, sobel, hw):
    img = make(rng, hw, layout)
    dx, dy = mira.gradient(img, sobel, device=device)
    assert dx.dtype == np.int16 and dy.dtype == np.int16
    wx, wy = c_out(hw, np.int16), c_out(hw, np.int16)
    f = clib.mira_sobel if sobel else clib.mira_gradient
    clib.check(f(clib.image(img), clib.image(wx), clib.image(wy), clib.PATH[device]))
    np.testing.assert_array_equal(dx, wx)
    np.testing.assert_array_equal(dy, wy)
    # peers: OpenCV's Sobel, numpy's central differences; the frame is 0
    if sobel:
        rx = cv2.Sobel(np.ascontiguousarray(img), cv2.CV_16S, 1, 0, ksize=3)
        ry = cv2.Sobel(np.ascontiguousarray(img), cv2.CV_16S, 0, 1, ksize=3)
    else:
        i = img.astype(np.int16)
        rx, ry = np.zeros(hw, np.int16), np.zeros(hw, np.int16)
        rx[:, 1:-1] = i[:, 2:] - i[:, :-2]
        ry[1:-1, :] = i[2:, :] - i[:-2, :]
    np.testing.assert_array_equal(dx[1:-1, 1:-1], rx[1:-1, 1:-1])
    np.testing.assert_array_equal(dy[1:-1, 1:-1], ry[1:-1, 1:-1])
    for d in (dx, dy):
        assert not d[0].any() and not d[-1].any() and not d[:, 0].any() and not d[:, -1].any()
    if device is None:
        nx, ny = c_out(hw, np.int16), c_out(hw, np.int16)
        g = clib.ncvImageGradientSobelPlanars16_v3 if sobel else clib.ncvImageGradientPlanars16_v2
        g(clib.ptr(img), hw[1], hw[0], clib.stride(img), clib.ptr(nx), clib.ptr(ny), 2 * hw[1])
        np.testing.assert_array_equal(dx, nx)
        np.testing.assert_array_equal(dy, ny)
    (bx, vx), (by, vy) = strided_out(hw, np.int16), strided_out(hw, np.int16)
    r = mira.gradient(img, sobel, out=(vx, vy), device=device)
    assert r[0] is vx and r[1] is vy
    np.testing.assert_array_equal(vx, wx)
    np.testing.assert_array_equal(vy, wy)
    check_frame(bx, vx)
    check_frame(by, vy)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("border", ["zero", "renormalised"])
@pytest.mark.parametrize("hw", [(1, 1), (2, 7), (17, 33)])
def test_gaussian3x3(rng, device, layout, border, hw):
    img = make(rng, hw, layout)
    got = mira.gaussian3x3(img, border, device=device)
    want = c_out(hw)
    code = {"zero": 0, "renormalised": 1}[border]
    clib.check(clib.mira_gaussian3x3(clib.image(img), clib.image(want), code, clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    # the interior from the formula
    i = img.astype(np.int32)
    if hw[0] >= 3 and hw[1] >= 3:
        k = (i[:-2, :-2] + 2 * i[:-2, 1:-1] + i[:-2, 2:] + 2 * i[1:-1, :-2] + 4 * i[1:-1, 1:-1] +
             2 * i[1:-1, 2:] + i[2:, :-2] + 2 * i[2:, 1:-1] + i[2:, 2:]) >> 4
        np.testing.assert_array_equal(got[1:-1, 1:-1], k)
    if border == "zero":
        assert not got[0].any() and not got[-1].any()
        assert not got[:, 0].any() and not got[:, -1].any()
    if device is None:
        packed = np.ascontiguousarray(img)
        ncv = c_out(hw)
        clib.ncvFilterGaussian3x3u8(clib.ptr(packed), hw[1], hw[0], clib.ptr(ncv), code)
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.gaussian3x3, (img, border), {"device": device}, want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("rect", [None, (0, 0, 1, 1), (3, 2, 17, 9), (0, 5, 33, 12)])
def test_intensity_stats(rng, device, layout, rect):
    img = make(rng, (17, 33), layout)
    mean, var = mira.intensity_stats(img, rect, device=device)
    x, y, w, h = rect or (0, 0, 33, 17)
    m, v = ctypes.c_float(), ctypes.c_float()
    clib.check(clib.mira_intensity_stats(clib.image(img), x, y, w, h, ctypes.byref(m),
                                         ctypes.byref(v), clib.PATH[device]))
    assert (mean, var) == (m.value, v.value)
    region = img[y:y + h, x:x + w].astype(np.float64)
    assert mean == pytest.approx(region.mean(), rel=1e-6)
    assert var == pytest.approx(region.var(ddof=1) if region.size > 1 else 0.0, rel=1e-5,
                                abs=1e-6)
    # OpenCV's mean and (population) deviation of the same rectangle
    cm, cs = cv2.meanStdDev(np.ascontiguousarray(img[y:y + h, x:x + w]))
    assert mean == pytest.approx(cm[0, 0], rel=1e-6)
    n = w * h
    if n > 1:
        assert var == pytest.approx(cs[0, 0] ** 2 * n / (n - 1), rel=1e-5)
    if device is None:
        nm, nv = ctypes.c_float(), ctypes.c_float()
        clib.ncvImageIntensityStats(clib.ptr(img), clib.stride(img), x, y, w, h,
                                    ctypes.byref(nm), ctypes.byref(nv))
        assert (mean, var) == (nm.value, nv.value)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("connectivity", [4, 8])
@pytest.mark.parametrize("seed", [(0, 0), (20, 9), (32, 16)])
def test_flood_fill(rng, device, layout, connectivity, seed):
    hw = (17, 33)
    img = make(rng, hw, layout)
    img[...] = (img > 100).astype(np.uint8) * 7  # regions large enough to matter
    fill = 200
    mask, count, bbox = mira.flood_fill(img, seed, connectivity, fill, device=device)
    want = c_out(hw)
    r = clib.FillResult()
    clib.check(clib.mira_flood_fill(clib.image(img), clib.image(want), seed[0], seed[1],
                                    connectivity, fill, ctypes.byref(r), clib.PATH[device]))
    np.testing.assert_array_equal(mask, want)
    assert count == r.count and bbox == (r.x, r.y, r.width, r.height)
    # OpenCV's flood fill of equal values, mask only
    cmask = np.zeros((hw[0] + 2, hw[1] + 2), np.uint8)
    ccount, _, _, crect = cv2.floodFill(np.ascontiguousarray(img), cmask, seed, 0, 0, 0,
                                        connectivity | cv2.FLOODFILL_MASK_ONLY | (fill << 8))
    np.testing.assert_array_equal(mask, cmask[1:-1, 1:-1])
    assert count == ccount and bbox == tuple(crect)
    if device is None:
        ncv, nr = c_out(hw), clib.FillResult()
        clib.ncvFloodfillSimpleu8(clib.ptr(img), hw[1], hw[0], clib.stride(img), clib.ptr(ncv),
                                  hw[1], seed[0], seed[1], fill, ctypes.byref(nr), connectivity)
        np.testing.assert_array_equal(mask, ncv)
        assert count == nr.count
    big, view = strided_out(hw)
    m2, c2, b2 = mira.flood_fill(img, seed, connectivity, fill, out=view, device=device)
    assert m2 is view and c2 == count and b2 == bbox
    np.testing.assert_array_equal(view, want)
    check_frame(big, view)


# ------------------------------------------------------------------ scaling

@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("src,size", [((17, 33), (11, 1)), ((24, 40), (8, 12)),
                                      ((5, 7), (7, 5))])
def test_scale_down(rng, device, layout, src, size):
    img = make(rng, src, layout)
    got = mira.scale_down(img, size, device=device)
    assert got.shape == (size[1], size[0])
    want = c_out(got.shape)
    clib.check(clib.mira_scale_down(clib.image(img), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    m, n = src[1] // size[0], src[0] // size[1]
    blocks = img.astype(np.int32).reshape(size[1], n, size[0], m).sum(axis=(1, 3))
    np.testing.assert_array_equal(got, blocks // (m * n))
    if device is None:
        ncv = c_out(got.shape)
        clib.ncvScaleDownu8_v2(clib.ptr(img), src[1], src[0], clib.stride(img), clib.ptr(ncv),
                               size[0], size[1], size[0])
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.scale_down, (img, size), {"device": device}, want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("pairs", [False, True])
@pytest.mark.parametrize("src,size", [((17, 33), (20, 7)), ((48, 64), (48, 36)),
                                      ((9, 9), (9, 9))])
def test_scale_down_box(rng, device, layout, pairs, src, size):
    shape = src + (2,) if pairs else src
    img = make(rng, shape, layout)
    got = mira.scale_down_box(img, size, device=device)
    assert got.shape == (size[1], size[0]) + ((2,) if pairs else ())
    want = c_out(got.shape)
    clib.check(clib.mira_scale_down_box(clib.image(img), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    if device is None:
        ncv = c_out(got.shape)
        f = clib.ncvScaleDownMNInterleaveu8 if pairs else clib.ncvScaleDownMNu8
        f(clib.ptr(img), src[1], src[0], clib.stride(img), clib.ptr(ncv), size[0], size[1],
          clib.stride(ncv))
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.scale_down_box, (img, size), {"device": device}, want)


RESIZE_MODES = {"none": 0, "bilinear": 1, "box": 2}
BORDERS = {"none": 0, "constant": 1, "replicate": 2}


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("interpolation", list(RESIZE_MODES))
@pytest.mark.parametrize("border", list(BORDERS))
@pytest.mark.parametrize("src,size,layout", [((30, 40), (20, 15), "packed"),
                                             ((30, 40), (20, 15), "strided"),
                                             ((17, 33), (64, 9), "strided"),
                                             ((9, 20), (20, 30), "mira_empty")])
def test_resize(rng, device, layout, interpolation, border, src, size):
    img = make(rng, src, layout)
    got = mira.resize(img, size, interpolation, border, 77, device=device)
    assert got.shape == (size[1], size[0])
    want = c_out(got.shape)
    clib.check(clib.mira_resize(clib.image(img), clib.image(want), RESIZE_MODES[interpolation],
                                BORDERS[border], 77, clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    # the plain function scales both axes by the width ratio: the same picture
    # when both ratios are equal
    if device is None and size[0] * src[0] == size[1] * src[1]:
        ncv = c_out(got.shape)
        clib.ncvScaleu8_v2(clib.ptr(img), src[1], src[0], clib.stride(img), clib.ptr(ncv),
                           size[0], size[1], size[0], RESIZE_MODES[interpolation],
                           BORDERS[border], 77)
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.resize, (img, size, interpolation, border, 77), {"device": device}, want)


def test_resize_is_per_axis(rng):
    """1920x1080-like aspect change: each axis by its own ratio. A vertical
    ramp stays a ramp over the whole destination height."""
    img = np.repeat(np.arange(0, 240, 2, dtype=np.uint8)[:, None], 160, 1)  # 120 x 160
    got = mira.resize(img, (40, 90))
    col = got[:, 20].astype(int)
    assert col[0] < 5 and col[-1] > 230 and (np.diff(col) >= 0).all()


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("pairs", [False, True])
@pytest.mark.parametrize("src,size", [((12, 16), (32, 24)), ((7, 9), (30, 8)), ((5, 5), (5, 5))])
def test_upscale_lanczos(rng, device, layout, pairs, src, size):
    shape = src + (2,) if pairs else src
    img = make(rng, shape, layout)
    got = mira.upscale_lanczos(img, size, device=device)
    assert got.shape == (size[1], size[0]) + ((2,) if pairs else ())
    want = c_out(got.shape)
    clib.check(clib.mira_upscale_lanczos(clib.image(img), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    if device is None and size[0] * src[0] == size[1] * src[1]:
        ncv = c_out(got.shape)
        f = clib.ncvScaleUpPolyInterleaveu8 if pairs else clib.ncvScaleUpPolyu8
        f(clib.ptr(img), src[1], src[0], clib.stride(img), clib.ptr(ncv), size[0], size[1],
          clib.stride(ncv))
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.upscale_lanczos, (img, size), {"device": device}, want)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("hw", [(1, 1), (3, 17), (16, 24)])
def test_upsample_chroma(rng, device, layout, hw):
    pairs = make(rng, hw + (2,), layout)
    got = mira.upsample_chroma(pairs, device=device)
    assert got.shape == (2 * hw[0], 2 * hw[1], 2)
    want = c_out(got.shape)
    clib.check(clib.mira_upsample_chroma(clib.image(pairs), clib.image(want), clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    if device is None:
        ncv = c_out(got.shape)
        clib.ncvUpsample2DInterleavedu8(clib.ptr(pairs), hw[1], hw[0], clib.stride(pairs),
                                        clib.ptr(ncv), 4 * hw[1])
        np.testing.assert_array_equal(got, ncv)
    also_into_out(mira.upsample_chroma, (pairs,), {"device": device}, want)


WARP_MODES = {"nearest": 0, "bilinear": 1, "bicubic": 3}


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("interpolation", list(WARP_MODES))
@pytest.mark.parametrize("matrix", [[[1, 0, 0], [0, 1, 0]],
                                    [[0.9, -0.2, 4.3], [0.25, 1.1, -2.6]]])
def test_warp_affine(rng, device, layout, interpolation, matrix):
    img = make(rng, (17, 33), layout)
    size = (29, 21)
    got, spans = mira.warp_affine(img, matrix, size, interpolation, True, device=device)
    assert got.shape == (21, 29) and spans.shape == (21, 2) and spans.dtype == np.uint32
    want, wspans = c_out(got.shape), np.zeros(2 * 21, np.uint32)
    m = (ctypes.c_float * 6)(*np.asarray(matrix, np.float32).ravel())
    clib.check(clib.mira_warp_affine(clib.image(img), m, clib.image(want),
                                     WARP_MODES[interpolation],
                                     wspans.ctypes.data_as(ctypes.POINTER(ctypes.c_uint32)),
                                     clib.PATH[device]))
    np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(spans.ravel(), wspans)
    np.testing.assert_array_equal(mira.warp_affine(img, matrix, size, interpolation,
                                                   device=device), want)
    if matrix[0] == [1, 0, 0] and interpolation == "nearest":
        # identity: the source where it lies inside, 0 elsewhere
        np.testing.assert_array_equal(got[:17, :29], img[:, :29])
        assert not got[17:].any()
    if device is None:
        ncv, nspans = c_out(got.shape), np.zeros(2 * 21, np.uint32)
        clib.ncvTransformAffineClippedu8_v2(
            clib.ptr(img), 33, 17, clib.stride(img), m, clib.ptr(ncv), 29, 21, 29,
            nspans.ctypes.data_as(ctypes.POINTER(ctypes.c_uint32)), WARP_MODES[interpolation])
        np.testing.assert_array_equal(got, ncv)
        # (the ncv function's spans are its matrix estimate, not compared here)
    # the spans are half-open runs outside which every pixel is 0
    for y, (a, b) in enumerate(spans):
        assert a <= b <= 29 and not got[y, :a].any() and not got[y, b:].any(), y
    also_into_out(mira.warp_affine, (img, matrix, size, interpolation), {"device": device}, want)

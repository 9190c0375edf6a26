"""Colour images (H, W, 3) and (H, W, 4) through transpose, rotate and
gaussian3x3: packed arrays, channel-last slices of larger arrays and out=
views, on both devices, against numpy written from the definitions and
against each channel run as a plane."""

import numpy as np
import pytest

import mira

DEVICES = ["cpu", "gpu", None]
CANARY = 0xA5


def gaussian_ref(img, border):
    """(1 2 1 / 2 4 2 / 1 2 1) / 16 truncated per channel; the frame 0 or the
    in-image taps renormalised."""
    h, w = img.shape[:2]
    x = img.astype(np.int64)
    if x.ndim == 2:
        x = x[..., None]
    k = np.array([[1, 2, 1], [2, 4, 2], [1, 2, 1]], np.int64)
    pad = np.zeros((h + 2, w + 2, x.shape[2]), np.int64)
    pad[1:-1, 1:-1] = x
    inside = np.zeros((h + 2, w + 2), np.int64)
    inside[1:-1, 1:-1] = 1
    s = np.zeros_like(x)
    wt = np.zeros((h, w), np.int64)
    for dy in range(3):
        for dx in range(3):
            s += k[dy, dx] * pad[dy:dy + h, dx:dx + w]
            wt += k[dy, dx] * inside[dy:dy + h, dx:dx + w]
    out = s // 16
    frame = np.ones((h, w), bool)
    frame[1:-1, 1:-1] = False
    if border == "zero":
        out[frame] = 0
    else:
        out[frame] = s[frame] // wt[frame][:, None]
    return out.astype(np.uint8).reshape(img.shape)


OPS = {
    "transpose": (lambda a, **kw: mira.transpose(a, **kw), lambda a: np.swapaxes(a, 0, 1)),
    "rotate90": (lambda a, **kw: mira.rotate(a, 90, **kw), lambda a: np.rot90(a, -1)),
    "rotate180": (lambda a, **kw: mira.rotate(a, 180, **kw), lambda a: np.rot90(a, 2)),
    "rotate270": (lambda a, **kw: mira.rotate(a, 270, **kw), lambda a: np.rot90(a, 1)),
    "gaussian_zero": (lambda a, **kw: mira.gaussian3x3(a, "zero", **kw),
                      lambda a: gaussian_ref(a, "zero")),
    "gaussian_renormalised": (lambda a, **kw: mira.gaussian3x3(a, "renormalised", **kw),
                              lambda a: gaussian_ref(a, "renormalised")),
}


def source(rng, h, w, c, layout):
    data = rng.integers(0, 256, size=(h, w, c), dtype=np.uint16).astype(np.uint8)
    if layout == "packed":
        return data
    # a channel-last slice of a larger image: big[10:10+h, 5:5+w, :]
    big = np.full((h + 20, w + 12, c), CANARY, np.uint8)
    view = big[10:10 + h, 5:5 + w, :]
    view[...] = data
    return view


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", ["packed", "slice"])
@pytest.mark.parametrize("c", [3, 4])
@pytest.mark.parametrize("size", [(1, 1), (2, 7), (17, 33), (40, 35)])
@pytest.mark.parametrize("op", sorted(OPS))
def test_colour_matches_numpy_and_planes(op, size, c, layout, device):
    fn, ref = OPS[op]
    rng = np.random.default_rng(size[0] * 100 + size[1] + c)
    img = source(rng, size[0], size[1], c, layout)
    before = img.copy()
    got = fn(img, device=device)
    np.testing.assert_array_equal(got, ref(np.ascontiguousarray(img)))
    planes = np.stack([fn(np.ascontiguousarray(img[..., k]), device=device) for k in range(c)],
                      axis=-1)
    np.testing.assert_array_equal(got, planes)
    np.testing.assert_array_equal(img, before)


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("c", [3, 4])
@pytest.mark.parametrize("op", sorted(OPS))
def test_colour_out_view_keeps_its_surroundings(op, c, device):
    fn, ref = OPS[op]
    rng = np.random.default_rng(7)
    img = source(rng, 21, 13, c, "slice")
    want = ref(np.ascontiguousarray(img))
    big = np.full((want.shape[0] + 4, want.shape[1] + 6, c), CANARY, np.uint8)
    out = big[2:2 + want.shape[0], 3:3 + want.shape[1], :]
    assert fn(img, out=out, device=device) is out
    np.testing.assert_array_equal(out, want)
    rest = big.copy()
    rest[2:2 + want.shape[0], 3:3 + want.shape[1], :] = CANARY
    assert (rest == CANARY).all()


@pytest.mark.parametrize("op", sorted(OPS))
def test_colour_out_shape_checked(op):
    fn, ref = OPS[op]
    img = np.zeros((6, 4, 3), np.uint8)
    shape = ref(img).shape
    with pytest.raises(ValueError, match="out must have shape"):
        fn(img, out=np.zeros(shape[:2] + (4,), np.uint8))
    with pytest.raises(ValueError, match="out must have shape"):
        fn(img, out=np.zeros(shape[:2], np.uint8))


def test_colour_channels_must_be_contiguous():
    big = np.zeros((8, 8, 6), np.uint8)
    with pytest.raises(ValueError, match="contiguous"):
        mira.transpose(big[:, :, ::2])


@pytest.mark.parametrize("name", ["transpose", "rotate", "gaussian3x3"])
def test_help_shows_colour_shapes(name):
    doc = getattr(mira, name).__doc__
    assert "(H, W)" in doc
    assert "RGB" in doc and "RGBA" in doc


# The scalers and the warp have no numpy definition here that is cheaper than
# the operation itself; their colour results must equal each channel run as a
# plane (the C suite checks the planes against scalar references).
PLANEWISE = {
    "resize_bilinear_down": lambda a, **kw: mira.resize(a, (max(1, a.shape[1] * 2 // 3), max(1, a.shape[0] // 2)), "bilinear", **kw),
    "resize_box_down": lambda a, **kw: mira.resize(a, (max(1, a.shape[1] // 3), max(1, a.shape[0] * 3 // 4)), "box", **kw),
    "resize_none_up": lambda a, **kw: mira.resize(a, (a.shape[1] * 2 + 1, a.shape[0] + 3), "none", "constant", 7, **kw),
    "scale_down": lambda a, **kw: mira.scale_down(a, (a.shape[1] // (2 if a.shape[1] % 2 == 0 else 1), a.shape[0]), **kw),
    "scale_down_box": lambda a, **kw: mira.scale_down_box(a, (max(1, a.shape[1] * 3 // 5), max(1, a.shape[0] // 2)), **kw),
    "upscale_lanczos": lambda a, **kw: mira.upscale_lanczos(a, (a.shape[1] * 3 // 2 + 1, a.shape[0] * 2), **kw),
    "warp_bilinear": lambda a, **kw: mira.warp_affine(a, [[0.9, 0.2, 1.5], [-0.15, 1.1, -2.25]], (a.shape[1] + 3, a.shape[0]), "bilinear", **kw),
    "warp_bicubic": lambda a, **kw: mira.warp_affine(a, [[0.9, 0.2, 1.5], [-0.15, 1.1, -2.25]], (a.shape[1], a.shape[0] + 2), "bicubic", **kw),
    "warp_nearest": lambda a, **kw: mira.warp_affine(a, [[1.2, -0.1, 0.5], [0.1, 0.8, 1.0]], (a.shape[1], a.shape[0]), "nearest", **kw),
}


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("layout", ["packed", "slice"])
@pytest.mark.parametrize("c", [3, 4])
@pytest.mark.parametrize("size", [(1, 1), (3, 7), (17, 33)])
@pytest.mark.parametrize("op", sorted(PLANEWISE))
def test_colour_scaling_and_warp_equal_their_planes(op, size, c, layout, device):
    rng = np.random.default_rng(hash((op, size, c)) & 0xFFFF)
    img = source(rng, size[0], size[1], c, layout)
    fn = PLANEWISE[op]
    got = fn(img, device=device)
    assert got.shape[2] == c and got.dtype == np.uint8
    planes = np.stack([fn(np.ascontiguousarray(img[..., k]), device=device) for k in range(c)], axis=-1)
    np.testing.assert_array_equal(got, planes)

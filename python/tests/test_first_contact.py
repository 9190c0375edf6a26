"""What a newcomer meets first: slices of one buffer as source and
destination, the device check, signatures and messages of the functions,
and the warp's row spans."""

import inspect
import os
import subprocess
import sys

import numpy as np
import pytest

import mira

RNG = np.random.default_rng(33)


def _buffer(h, w):
    return RNG.integers(0, 256, (h, w), dtype=np.uint8)


# (name, function of a fresh buffer c: (source view, destination view, call))
INTERLEAVED = [
    ("gaussian, left half to right half",
     lambda c: (c[:, :100], c[:, 100:], lambda s, d: mira.gaussian3x3(s, "zero", out=d))),
    ("gaussian, even rows to odd rows",
     lambda c: (c[0::2], c[1::2], lambda s, d: mira.gaussian3x3(s, "renormalised", out=d))),
    ("rotate, left half to right half",
     lambda c: (c[:100, :100], c[:100, 100:], lambda s, d: mira.rotate(s, 90, out=d))),
    ("transpose, left part to the columns beside it",
     lambda c: (c[:50, :100], c[:100, 100:150], lambda s, d: mira.transpose(s, out=d))),
]


@pytest.mark.parametrize("name,layout", INTERLEAVED, ids=[c[0] for c in INTERLEAVED])
def test_slices_whose_rows_interleave_are_accepted(name, layout):
    c = _buffer(200, 200)
    src, dst, call = layout(c)
    want = call(src.copy(), np.zeros_like(dst))  # the same call on separate arrays
    before = c.copy()
    got = call(src, dst)
    assert got is dst
    np.testing.assert_array_equal(got, want)
    # every byte outside the destination view is as it was
    mask = np.zeros(c.shape, bool)
    offs = (dst.__array_interface__["data"][0] - c.__array_interface__["data"][0])
    rows = offs // c.strides[0] + np.arange(dst.shape[0]) * (dst.strides[0] // c.strides[0])
    cols = offs % c.strides[0] + np.arange(dst.shape[1])
    mask[np.ix_(rows, cols)] = True
    np.testing.assert_array_equal(c[~mask], before[~mask])


TRUE_OVERLAPS = [
    ("gaussian, halves sharing 50 columns",
     lambda c: mira.gaussian3x3(c[:, :100], "zero", out=c[:, 50:150])),
    ("gaussian, in place", lambda c: mira.gaussian3x3(c, "zero", out=c)),
    ("rotate, rows one byte too long",
     lambda c: mira.rotate(c[:100, :101], 90, out=c[:101, 100:200])),
]


@pytest.mark.parametrize("name,call", TRUE_OVERLAPS, ids=[c[0] for c in TRUE_OVERLAPS])
def test_true_overlap_is_refused(name, call):
    c = _buffer(200, 200)
    before = c.copy()
    with pytest.raises(ValueError, match="overlap in memory"):
        call(c)
    np.testing.assert_array_equal(c, before)


def _python(code):
    env = dict(os.environ, MIRA_OPENCL_DEVICE="any")
    r = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                       timeout=120)
    assert r.returncode == 0, r.stderr
    return r.stdout.strip()


def test_gpu_available_brings_the_device_up():
    """As its first call in a process, gpu_available() gives what it gives
    after the device has been brought up by other calls."""
    first = _python("import mira; print(mira.gpu_available(), mira.device_name() is not None)")
    after = _python("import mira, numpy as np; "
                    "mira.gradient(np.zeros((8, 8), np.uint8), device='gpu'); "
                    "print(mira.init() and mira.gpu_available(), mira.device_name() is not None)")
    assert first == after
    up = first.split()[0] == "True"
    assert first.split() == [str(up), str(up)]


# name: (parameter names, defaults of the parameters that have one)
SIGNATURES = {
    "transpose": (["img", "out", "device"], {"out": None, "device": None}),
    "rotate": (["img", "degrees", "out", "device"], {"out": None, "device": None}),
    "nv21_to_rgba": (["frame", "vu", "out", "device"], {"vu": None, "out": None, "device": None}),
    "yuv420_to_rgb": (["frame", "size", "layout", "matrix", "range", "format", "degrees",
                       "mirror", "dsize", "interpolation", "out", "device"],
                      {"size": None, "layout": "nv21", "matrix": "bt601", "range": "limited",
                       "format": "RGB", "degrees": 0, "mirror": False, "dsize": None,
                       "interpolation": "bilinear", "out": None, "device": None}),
    "rgb_to_yuv420": (["img", "layout", "matrix", "range", "format", "out", "device"],
                      {"layout": "nv21", "matrix": "bt601", "range": "limited", "format": None,
                       "out": None, "device": None}),
    "yuv444_to_yuv420sp": (["y", "cb", "cr", "out", "device"], {"out": None, "device": None}),
    "yuv420sp_to_yuv444": (["y", "cbcr", "out", "device"], {"out": None, "device": None}),
    "swap_pairs": (["pairs", "out", "device"], {"out": None, "device": None}),
    "interleave": (["a", "b", "out", "device"], {"out": None, "device": None}),
    "gradient": (["img", "sobel", "out", "device"], {"sobel": False, "out": None, "device": None}),
    "gaussian3x3": (["img", "border", "out", "device"], {"out": None, "device": None}),
    "intensity_stats": (["img", "rect", "device"], {"rect": None, "device": None}),
    "flood_fill": (["img", "seed", "connectivity", "fill", "out", "device"],
                   {"connectivity": 4, "fill": 255, "out": None, "device": None}),
    "scale_down": (["img", "size", "out", "device"], {"out": None, "device": None}),
    "scale_down_box": (["img", "size", "out", "device"], {"out": None, "device": None}),
    "resize": (["img", "size", "interpolation", "border", "value", "out", "device"],
               {"interpolation": "bilinear", "border": "replicate", "value": 0, "out": None,
                "device": None}),
    "upscale_lanczos": (["img", "size", "out", "device"], {"out": None, "device": None}),
    "upsample_chroma": (["pairs", "out", "device"], {"out": None, "device": None}),
    "warp_affine": (["img", "matrix", "size", "interpolation", "spans", "out", "device"],
                    {"interpolation": "bilinear", "spans": False, "out": None, "device": None}),
    "empty": (["shape", "dtype"], {"dtype": np.uint8}),
    "init": ([], {}),
    "deinit": ([], {}),
    "gpu_available": ([], {}),
    "device_name": ([], {}),
}


def test_every_function_is_listed():
    assert sorted(SIGNATURES) == sorted(mira.__all__)


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_signature_names_arguments_and_defaults(name):
    f = getattr(mira, name)
    sig = inspect.signature(f)
    names, defaults = SIGNATURES[name]
    assert list(sig.parameters) == names
    for p in sig.parameters.values():
        if p.name in defaults:
            assert p.default == defaults[p.name], p.name
        else:
            assert p.default is inspect.Parameter.empty, p.name
        if p.name in ("out", "device"):
            assert p.kind is inspect.Parameter.KEYWORD_ONLY
        assert p.annotation is not inspect.Parameter.empty or p.name == "matrix" \
            or p.name == "dtype", p.name
    text = inspect.getdoc(f) or ""
    assert text and "handle" not in text and "-> object" not in text
    assert "handle" not in str(sig)


MISSING = [
    ("resize", lambda: mira.resize(np.zeros((300, 300), np.uint8)), "size"),
    ("rotate", lambda: mira.rotate(np.zeros((300, 300), np.uint8)), "degrees"),
    ("warp_affine", lambda: mira.warp_affine(np.zeros((300, 300), np.uint8), np.eye(2, 3)),
     "size"),
    ("gaussian3x3", lambda: mira.gaussian3x3(np.zeros((300, 300), np.uint8)), "border"),
    ("transpose", lambda: mira.transpose(), "img"),
]


@pytest.mark.parametrize("name,call,missing", MISSING, ids=[c[0] for c in MISSING])
def test_missing_argument_gives_one_line_naming_it(name, call, missing):
    with pytest.raises(TypeError) as e:
        call()
    msg = str(e.value)
    assert "\n" not in msg and len(msg) < 200, msg
    assert f"'{missing}'" in msg and name in msg, msg


def test_stride_message_is_a_whole_sentence():
    a = np.zeros((10, 20), np.uint8)[:, ::2]
    with pytest.raises(ValueError) as e:
        mira.transpose(a)
    assert str(e.value).endswith("numpy.ascontiguousarray(img) gives a copy with contiguous rows")


@pytest.mark.parametrize("interpolation", ["nearest", "bilinear", "bicubic"])
def test_warp_spans_are_half_open_runs_of_the_pixels(interpolation):
    img = np.full((110, 110), 200, np.uint8)
    a = np.deg2rad(20.0)
    c, s = np.cos(a) / 1.1, np.sin(a) / 1.1
    m = np.array([[c, -s, 55 - c * 55 + s * 55], [s, c, 55 - s * 55 - c * 55]])
    out, spans = mira.warp_affine(img, m, (110, 110), interpolation, spans=True, device="cpu")
    for y in range(110):
        start, end = spans[y]
        assert start <= end <= 110
        assert not out[y, :start].any() and not out[y, end:].any(), y
        if interpolation != "bicubic" and start < end:
            assert out[y, start] != 0 and out[y, end - 1] != 0, y
    ident, sp = mira.warp_affine(np.full((4, 16), 9, np.uint8), np.eye(2, 3), (16, 4), "nearest",
                                 spans=True)
    assert (ident == 9).all()
    np.testing.assert_array_equal(sp, [[0, 16]] * 4)

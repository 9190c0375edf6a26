"""The module's own contract: lifecycle, mira.empty memory, argument
checking (every bad argument raises, names the argument, and leaves out=
untouched) and calls from several threads at once."""

import gc
import sys
import threading
import time

import numpy as np
import pytest

import mira

A = np.arange(12 * 10, dtype=np.uint8).reshape(12, 10)
P = np.zeros((6, 5, 2), np.uint8)


def test_lifecycle_and_device():
    assert isinstance(mira.init(), bool)
    up = mira.gpu_available()
    name = mira.device_name()
    assert up == (name is not None)
    assert mira.init() == up  # again: idempotent
    # (MIRA_OPENCL_DEVICE=any in the test environment takes PoCL's device)
    mira.deinit()
    mira.deinit()  # a second release is harmless
    assert mira.init() == up
    np.testing.assert_array_equal(mira.transpose(A, device="gpu"), A.T)


def test_device_names_the_path():
    """On a machine with an OpenCL device, "gpu" runs the GPU method: NV21
    conversion, whose GPU arithmetic is float, differs from the CPU's
    fixed point on some pixels; "cpu" and None agree."""
    frame = np.random.default_rng(2).integers(0, 256, (48, 64), dtype=np.uint8)
    cpu = mira.nv21_to_rgba(frame, device="cpu")
    np.testing.assert_array_equal(mira.nv21_to_rgba(frame), cpu)
    gpu = mira.nv21_to_rgba(frame, device="gpu")
    assert np.abs(gpu.astype(int) - cpu).max() <= 4
    assert (gpu != cpu).any() == mira.gpu_available()


def test_empty_memory():
    mira.init()
    a = mira.empty((7, 33))
    assert a.shape == (7, 33) and a.dtype == np.uint8 and a.flags.c_contiguous
    assert a.ctypes.data % 128 == 0  # the library's blocks are 128-byte aligned
    a[...] = 3
    assert mira.transpose(a, device="gpu").sum() == 3 * 7 * 33
    f = mira.empty(5, np.float32)
    assert f.shape == (5,) and f.dtype == np.float32 and f.nbytes == 20
    z = mira.empty((0, 4))
    assert z.size == 0
    # destinations in GPU-shared memory, whole and as a strided window
    a[...] = np.arange(7 * 33).reshape(7, 33) % 251
    o = mira.empty((33, 7))
    for device in ("cpu", "gpu", None):
        o[...] = 0
        assert mira.transpose(a, out=o, device=device) is o
        np.testing.assert_array_equal(o, a.T)
    ob = mira.empty((40, 12))
    ob[...] = 0xA5
    win = ob[3:36, 2:9]
    mira.transpose(a, out=win, device="gpu")
    np.testing.assert_array_equal(win, a.T)
    win[...] = 0xA5
    assert (ob == 0xA5).all()
    del o, ob, win
    # a view keeps the block alive after the array itself is gone
    v = mira.empty((4, 4))[1:3]
    gc.collect()
    v[...] = 9
    assert (v == 9).all()
    # blocks in GPU-shared memory hold the device up
    if mira.gpu_available():
        with pytest.raises(RuntimeError, match="still alive"):
            mira.deinit()
    del a, f, z, v
    gc.collect()
    mira.deinit()
    mira.init()


def test_many_empty_blocks_are_freed():
    for _ in range(200):
        a = mira.empty((256, 256))
        a[0, 0] = 1
    del a
    gc.collect()
    mira.deinit()  # nothing left alive
    mira.init()


@pytest.mark.parametrize("shape,dtype,exc", [
    ((2**31,), np.uint8, ValueError),
    ((2**16, 2**16), np.uint8, ValueError),
    ((-1, 3), np.uint8, ValueError),
    ((3, 3), "no such type", TypeError),
    ("abc", np.uint8, TypeError),
    ((2.5, 3), np.uint8, TypeError),
])
def test_empty_bad(shape, dtype, exc):
    with pytest.raises(exc, match=r"mira\.empty"):
        mira.empty(shape, dtype)


def out_unchanged(fn, out, exc, match):
    """fn(out) raises and out keeps its bytes."""
    before = [o.copy() for o in out]
    with pytest.raises(exc, match=match):
        fn(*out)
    for b, o in zip(before, out):
        np.testing.assert_array_equal(b, o)


BAD_CALLS = [
    # dtype and type
    ("dtype", lambda: mira.transpose(A.astype(np.int16)), TypeError, "img must have dtype uint8"),
    ("float", lambda: mira.rotate(A.astype(np.float32), 90), TypeError, "dtype uint8"),
    ("list", lambda: mira.transpose([[1, 2], [3, 4]]), TypeError, "img must be a numpy.ndarray"),
    ("out dtype", lambda: mira.transpose(A, out=np.zeros((10, 12), np.int8)), TypeError,
     "out must have dtype uint8"),
    ("grad out dtype", lambda: mira.gradient(A, out=(np.zeros((12, 10), np.uint8),) * 2),
     TypeError, r"out\[0\] must have dtype int16"),
    # rank and shape
    ("rank 1", lambda: mira.transpose(A.ravel()), ValueError, r"img must have shape \(H, W\)"),
    ("rank 4", lambda: mira.transpose(P[..., None]), ValueError, r"img must have shape \(H, W\)"),
    ("5 channels", lambda: mira.rotate(np.zeros((4, 4, 5), np.uint8), 90), ValueError,
     r"\(H, W\), \(H, W, 2\), \(H, W, 3\) or \(H, W, 4\)"),
    ("colour pairs", lambda: mira.swap_pairs(np.zeros((4, 4, 3), np.uint8)), ValueError,
     r"pairs must have shape \(H, W, 2\)"),
    ("pairs plane", lambda: mira.swap_pairs(A), ValueError, r"pairs must have shape \(H, W, 2\)"),
    ("interleave shapes", lambda: mira.interleave(A, A[:5]), ValueError, "b must have the shape"),
    ("nv21 rows", lambda: mira.nv21_to_rgba(np.zeros((7, 8), np.uint8)), ValueError, "frame"),
    ("nv21 odd", lambda: mira.nv21_to_rgba(np.zeros((9, 7), np.uint8)), ValueError, "frame"),
    ("nv21 vu", lambda: mira.nv21_to_rgba(np.zeros((4, 8), np.uint8), np.zeros((2, 3, 2), np.uint8)),
     ValueError, "vu must have shape"),
    ("444 odd", lambda: mira.yuv444_to_yuv420sp(A[:5], A[:5], A[:5]), ValueError, "y must have even"),
    ("444 cb", lambda: mira.yuv444_to_yuv420sp(A, A[:6], A), ValueError, "cb must have the shape"),
    ("420 cbcr", lambda: mira.yuv420sp_to_yuv444(A, P[:5]), ValueError, "cbcr must have shape"),
    # strides
    ("columns", lambda: mira.transpose(A[:, ::2]), ValueError, "row must be contiguous"),
    ("transposed view", lambda: mira.gaussian3x3(A.T, "zero"), ValueError, "contiguous"),
    ("pairs split", lambda: mira.swap_pairs(np.zeros((4, 2, 4), np.uint8)[:, :, ::2]),
     ValueError, "contiguous"),
    ("reversed rows", lambda: mira.transpose(A[::-1]), ValueError, "rows must follow"),
    ("broadcast rows", lambda: mira.transpose(np.broadcast_to(A[0], (5, 10))), ValueError,
     "rows must follow"),
    # zero and huge sizes
    ("empty image", lambda: mira.transpose(A[:0]), ValueError, "img is empty"),
    ("empty width", lambda: mira.resize(A[:, :0], (3, 3)), ValueError, "img is empty"),
    ("huge image", lambda: mira.transpose(np.zeros((1, 40000), np.uint8)), ValueError,
     "img is too large"),
    ("zero size", lambda: mira.resize(A, (0, 5)), ValueError, r"size\[0\]"),
    ("negative size", lambda: mira.resize(A, (5, -1)), ValueError, r"size\[1\]"),
    ("huge size", lambda: mira.resize(A, (40000, 5)), ValueError, r"size\[0\]"),
    ("enormous size", lambda: mira.upscale_lanczos(A, (2**70, 5)), ValueError, r"size\[0\]"),
    ("size float", lambda: mira.resize(A, (5.5, 5)), TypeError, r"size\[0\] must be an integer"),
    ("size triple", lambda: mira.resize(A, (5, 5, 5)), ValueError, "size must be a pair"),
    ("size int", lambda: mira.resize(A, 5), TypeError, "size must be a pair"),
    ("size bool", lambda: mira.resize(A, (True, 5)), TypeError, r"size\[0\]"),
    ("scale_down factor", lambda: mira.scale_down(A, (3, 5)), ValueError, "size"),
    ("scale_down_box up", lambda: mira.scale_down_box(A, (11, 5)), ValueError, "must not exceed"),
    ("lanczos down", lambda: mira.upscale_lanczos(A, (9, 12)), ValueError, "at least"),
    ("upsample huge", lambda: mira.upsample_chroma(np.zeros((1, 20000, 2), np.uint8)),
     ValueError, "too large"),
    # values and modes
    ("degrees", lambda: mira.rotate(A, 45), ValueError, "degrees must be 90, 180 or 270"),
    ("degrees -90", lambda: mira.rotate(A, -90), ValueError, "degrees"),
    ("degrees str", lambda: mira.rotate(A, "90"), TypeError, "degrees must be an integer"),
    ("device", lambda: mira.transpose(A, device="tpu"), ValueError, "device must be"),
    ("device type", lambda: mira.transpose(A, device=1), TypeError, "device must be"),
    ("gauss border", lambda: mira.gaussian3x3(A, "wrap"), ValueError, "border must be one of"),
    ("gauss border int", lambda: mira.gaussian3x3(A, 1), TypeError, "border must be one of"),
    ("resize mode", lambda: mira.resize(A, (5, 5), "cubic"), ValueError, "interpolation"),
    ("resize border", lambda: mira.resize(A, (5, 5), border="reflect"), ValueError, "border"),
    ("resize value", lambda: mira.resize(A, (5, 5), value=256), ValueError, "value"),
    ("warp mode", lambda: mira.warp_affine(A, np.eye(2, 3), (5, 5), "area"), ValueError,
     "interpolation"),
    ("warp matrix shape", lambda: mira.warp_affine(A, np.eye(3), (5, 5)), ValueError, "matrix"),
    ("warp matrix nan", lambda: mira.warp_affine(A, [[1, 0, np.nan], [0, 1, 0]], (5, 5)),
     ValueError, "finite"),
    ("warp matrix huge", lambda: mira.warp_affine(A, [[1e39, 0, 0], [0, 1, 0]], (5, 5)),
     ValueError, "finite"),
    ("warp matrix str", lambda: mira.warp_affine(A, "abc", (5, 5)), TypeError, "matrix"),
    ("seed outside", lambda: mira.flood_fill(A, (10, 0)), ValueError, "seed"),
    ("seed negative", lambda: mira.flood_fill(A, (-1, 0)), ValueError, r"seed\[0\]"),
    ("connectivity", lambda: mira.flood_fill(A, (0, 0), 6), ValueError, "connectivity"),
    ("fill 0", lambda: mira.flood_fill(A, (0, 0), 4, 0), ValueError, "fill"),
    ("fill 256", lambda: mira.flood_fill(A, (0, 0), 4, 256), ValueError, "fill"),
    ("rect outside", lambda: mira.intensity_stats(A, (5, 5, 6, 2)), ValueError, r"rect\[2\]"),
    ("rect empty", lambda: mira.intensity_stats(A, (0, 0, 0, 2)), ValueError, r"rect\[2\]"),
    ("rect short", lambda: mira.intensity_stats(A, (0, 0, 2)), ValueError, "rect must be"),
    ("out tuple", lambda: mira.yuv420sp_to_yuv444(A, P, out=(A.copy(), A.copy())), ValueError,
     "out must be a tuple of 3"),
    ("grad out swapped", lambda: mira.gradient(A, out=(np.zeros((12, 10), ">i2"),) * 2),
     TypeError, "byte order"),
    ("out not tuple", lambda: mira.gradient(A, out=np.zeros((12, 10), np.int16)), TypeError,
     "out must be a tuple"),
]


@pytest.mark.parametrize("name,call,exc,match", BAD_CALLS, ids=[c[0] for c in BAD_CALLS])
def test_bad_arguments(name, call, exc, match):
    with pytest.raises(exc, match=match) as info:
        call()
    assert str(info.value).startswith("mira.")


@pytest.mark.parametrize("device", ["cpu", "gpu", None])
def test_bad_out_left_untouched(device):
    canary = lambda shape, dt=np.uint8: np.full(shape, 0x5A, dt)  # noqa: E731
    # wrong shape
    out_unchanged(lambda o: mira.transpose(A, out=o, device=device), [canary((12, 10))],
                  ValueError, r"out must have shape \(10, 12\)")
    out_unchanged(lambda o: mira.rotate(A, 180, out=o, device=device), [canary((10, 12))],
                  ValueError, "out must have shape")
    out_unchanged(lambda o: mira.nv21_to_rgba(np.zeros((6, 4), np.uint8), out=o, device=device),
                  [canary((4, 4, 3))], ValueError, "out must have shape")
    out_unchanged(lambda o: mira.resize(A, (7, 9), out=o, device=device), [canary((7, 9))],
                  ValueError, r"out must have shape \(9, 7\)")
    out_unchanged(lambda a, b: mira.gradient(A, out=(a, b), device=device),
                  [canary((12, 10), np.int16), canary((12, 11), np.int16)], ValueError,
                  r"out\[1\] must have shape")
    # read-only, non-contiguous rows, misaligned rows of RGBA
    ro = canary((10, 12))
    ro.flags.writeable = False
    out_unchanged(lambda o: mira.transpose(A, out=o, device=device), [ro], ValueError,
                  "out is read-only")
    big = canary((10, 24))
    out_unchanged(lambda o: mira.transpose(A, out=o[:, ::2], device=device), [big], ValueError,
                  "contiguous")
    rgba = canary((4, 4 * 4 + 1))
    view = np.lib.stride_tricks.as_strided(rgba, (4, 4, 4), (17, 4, 1))
    out_unchanged(lambda o: mira.nv21_to_rgba(np.zeros((6, 4), np.uint8), out=view,
                                              device=device), [rgba], ValueError, "multiple of 4")
    # sharing memory with the source
    img = canary((8, 8))
    out_unchanged(lambda o: mira.gaussian3x3(o, "zero", out=o, device=device), [img], ValueError,
                  "overlap")
    pairs = canary((4, 4, 2))
    out_unchanged(lambda o: mira.swap_pairs(o, out=o[::-1][::-1], device=device), [pairs],
                  ValueError, "overlap")
    two = canary((10, 8))
    out_unchanged(lambda o: mira.yuv420sp_to_yuv444(A[:8, :8], P[:4, :4],
                                                   out=(o[:8], o[1:9], o[2:]), device=device),
                  [two], ValueError, "overlap")


def test_odd_strides_of_rows():
    """Rows any number of bytes apart, including odd and unaligned starts."""
    big = np.random.default_rng(5).integers(0, 256, (40, 61), dtype=np.uint8)
    for view in (big[1:30, 3:20], big[::3, 1:8], big[2:, 5:6], big[7:8, 2:50]):
        np.testing.assert_array_equal(mira.transpose(view), view.T)
        np.testing.assert_array_equal(mira.transpose(view, device="gpu"), view.T)
        np.testing.assert_array_equal(mira.rotate(view, 270, device="gpu"), np.rot90(view))


def test_threads_at_once():
    """Several threads call at once (the GIL is released inside): every
    result equals the one computed alone."""
    rng = np.random.default_rng(11)
    imgs = [rng.integers(0, 256, (120, 160), dtype=np.uint8) for _ in range(6)]

    def work(img, device):
        return (mira.resize(img, (97, 61), device=device),
                mira.gaussian3x3(img, "renormalised", device=device),
                mira.rotate(img, 90, device=device),
                mira.gradient(img, True, device=device)[0],
                mira.scale_down_box(img, (50, 40), device=device),
                mira.intensity_stats(img, device=device))

    alone = [work(img, d) for img in imgs for d in ("cpu", "gpu")]
    results = [None] * len(alone)
    errors = []

    def run(i):
        try:
            for _ in range(3):
                results[i] = work(imgs[i // 2], ("cpu", "gpu")[i % 2])
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(alone))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    for got, want in zip(results, alone):
        for g, w in zip(got[:-1], want[:-1]):
            np.testing.assert_array_equal(g, w)
        assert got[-1] == want[-1]


def test_gil_released():
    """While one thread runs a long operation, another runs Python code all
    along: no gap between its ticks spans most of the call (with the GIL held
    during the call, one gap would cover nearly all of it)."""
    img = np.random.default_rng(3).integers(0, 256, (1500, 2000), dtype=np.uint8)
    ticks = []
    done = threading.Event()

    def count():
        while not done.is_set():
            ticks.append(time.perf_counter())

    t = threading.Thread(target=count)
    t.start()
    try:
        time.sleep(0.01)
        start = time.perf_counter()
        mira.upscale_lanczos(img, (5000, 3750), device="cpu")
        end = time.perf_counter()
    finally:
        done.set()
        t.join()
    inside = [start] + [x for x in ticks if start <= x <= end] + [end]
    longest_gap = max(b - a for a, b in zip(inside, inside[1:]))
    assert longest_gap < 0.5 * (end - start), (longest_gap, end - start)

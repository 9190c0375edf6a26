"""Call overhead of the mira module on a 64 x 64 plane: the Python call
(arguments checked, GIL released around the C call) against the same C
function called through ctypes, and the C function's own time as a floor.

    PYTHONPATH=build/python /usr/bin/python3 examples/call_overhead.py
"""

import ctypes
import timeit

import numpy as np

import mira

lib = ctypes.CDLL(mira._library_path())


class Image(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("width", ctypes.c_uint32),
                ("height", ctypes.c_uint32), ("stride", ctypes.c_uint32),
                ("channels", ctypes.c_uint32)]


def best(stmt, number=20000, repeat=7):
    return min(timeit.repeat(stmt, number=number, repeat=repeat)) / number * 1e6


img = np.random.default_rng(0).integers(0, 256, (64, 64), dtype=np.uint8)
out = np.empty_like(img)
src_c, dst_c = Image(img.ctypes.data, 64, 64, 64, 1), Image(out.ctypes.data, 64, 64, 64, 1)
f = lib.mira_transpose
f.argtypes = [ctypes.POINTER(Image), ctypes.POINTER(Image), ctypes.c_int]
f.restype = ctypes.c_int
ps, pd = ctypes.byref(src_c), ctypes.byref(dst_c)

rows = [
    ("mira.transpose(img, out=out, device='cpu')",
     best(lambda: mira.transpose(img, out=out, device="cpu"))),
    ("mira.transpose(img, out=out)", best(lambda: mira.transpose(img, out=out))),
    ("mira.transpose(img)  (new array)", best(lambda: mira.transpose(img))),
    ("mira.rotate(img, 90, out=out)", best(lambda: mira.rotate(img, 90, out=out))),
    ("mira.resize(img, (64, 64), out=out)  (copy)",
     best(lambda: mira.resize(img, (64, 64), out=out))),
    ("ctypes mira_transpose(&src, &dst, CPU)", best(lambda: f(ps, pd, 1))),
]
for name, us in rows:
    print(f"{us:8.2f} us  {name}")

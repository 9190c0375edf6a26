"""libmira's 8-bit image operations on numpy arrays, bit for bit as the library
computes them on the device (the same NEON kernels, Halide pipelines and
OpenCL kernels).

Images are uint8 numpy arrays of shape (H, W) (planes), (H, W, 2)
(interleaved pairs such as CbCr), (H, W, 3) (RGB) or (H, W, 4) (RGBA), as
each function takes them (its help() lists the shapes). The samples of a row
must be contiguous; rows may lie any distance apart, so a slice of a larger
image such as ``big[10:50, 20:80]`` or ``big[10:50, 5:40, :]`` is taken as it
is, without a copy.

Sizes are given as ``(width, height)``, as OpenCV does; shapes of arrays
stay numpy's ``(height, width[, 2])``. Points are ``(x, y)`` and rectangles
``(x, y, width, height)``.

Every image function returns new arrays, or writes into ``out=`` when it is
given (its shape and dtype are checked, and it is returned). ``device`` picks
the path: ``"cpu"``, ``"gpu"`` or ``None`` (the path the library's plain C
function takes). The path decides the bytes, not the machine: ``"gpu"`` gives
the OpenCL kernel's bytes on a desktop without a GPU too (a CPU twin of the
kernel computes them), so results match a phone's. CPU and GPU paths give
identical bytes for every operation except ``nv21_to_rgba`` (CPU fixed point,
GPU single precision: at most 2 apart in R and G, 3 in B) and
``scale_down_box`` (the CPU path averages each pixel's whole area, the GPU
path a box of the integer ratio).

Bad arguments raise TypeError (a type or dtype) or ValueError (a shape, size,
stride, value or mode); the message names the argument. The GIL is released
while an operation runs.

Example::

    import cv2, mira
    img = cv2.imread("data/astronaut.png", cv2.IMREAD_GRAYSCALE)
    small = mira.resize(img, (256, 192), device="gpu")
"""

import ctypes as _ctypes
import os as _os
from typing import Literal, Optional, Sequence, SupportsIndex, Tuple, Union

import numpy as np

# A package installed from a wheel carries its libmira.so.1 beside the
# extension: loaded first, it is the one the extension links to.
_bundled = _os.path.join(_os.path.dirname(__file__), "libmira.so.1")
if _os.path.exists(_bundled):
    _ctypes.CDLL(_bundled, mode=_ctypes.RTLD_GLOBAL)

from . import _mira  # noqa: E402
from ._mira import _library_path  # noqa: E402

# The functions below give the compiled ones real signatures (named
# arguments, defaults and types for help() and inspect.signature), and a
# call that leaves out an argument fails with Python's own one-line
# TypeError naming it. Each passes its arguments on unchanged; the compiled
# function checks them and carries the docstring.

Array = np.ndarray
Device = Optional[Literal["cpu", "gpu"]]
Size = Tuple[SupportsIndex, SupportsIndex]  # (width, height)


def _doc(compiled):
    def attach(f):
        f.__doc__ = (compiled.__doc__ or "").strip()
        return f

    return attach


@_doc(_mira.init)
def init() -> bool:
    return _mira.init()


@_doc(_mira.deinit)
def deinit() -> None:
    _mira.deinit()


@_doc(_mira.gpu_available)
def gpu_available() -> bool:
    return _mira.gpu_available()


@_doc(_mira.device_name)
def device_name() -> Optional[str]:
    return _mira.device_name()


@_doc(_mira.empty)
def empty(shape: Union[SupportsIndex, Sequence[SupportsIndex]], dtype=np.uint8) -> Array:
    return _mira.empty(shape, dtype)


@_doc(_mira.transpose)
def transpose(img: Array, *, out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.transpose(img, out=out, device=device)


@_doc(_mira.rotate)
def rotate(img: Array, degrees: Literal[90, 180, 270], *, out: Optional[Array] = None,
           device: Device = None) -> Array:
    return _mira.rotate(img, degrees, out=out, device=device)


@_doc(_mira.nv21_to_rgba)
def nv21_to_rgba(frame: Array, vu: Optional[Array] = None, *, out: Optional[Array] = None,
                 device: Device = None) -> Array:
    return _mira.nv21_to_rgba(frame, vu, out=out, device=device)


@_doc(_mira.yuv420_to_rgb)
def yuv420_to_rgb(frame: Array, size: Optional[Size] = None, *,
                  layout: Literal["nv21", "nv12", "i420", "yv12"] = "nv21",
                  matrix: Literal["bt601", "bt709", "bt2020"] = "bt601",
                  range: Literal["limited", "full"] = "limited",
                  format: Literal["RGB", "BGR", "RGBA", "BGRA"] = "RGB",
                  degrees: int = 0, mirror: bool = False, dsize: Optional[Size] = None,
                  interpolation: Literal["nearest", "bilinear"] = "bilinear",
                  out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.yuv420_to_rgb(frame, size, layout=layout, matrix=matrix, range=range,
                               format=format, degrees=degrees, mirror=mirror, dsize=dsize,
                               interpolation=interpolation, out=out, device=device)


@_doc(_mira.rgb_to_yuv420)
def rgb_to_yuv420(img: Array, *, layout: Literal["nv21", "nv12", "i420", "yv12"] = "nv21",
                  matrix: Literal["bt601", "bt709", "bt2020"] = "bt601",
                  range: Literal["limited", "full"] = "limited",
                  format: Optional[Literal["RGB", "BGR", "RGBA", "BGRA"]] = None,
                  out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.rgb_to_yuv420(img, layout=layout, matrix=matrix, range=range, format=format,
                               out=out, device=device)


@_doc(_mira.yuv444_to_yuv420sp)
def yuv444_to_yuv420sp(y: Array, cb: Array, cr: Array, *,
                       out: Optional[Tuple[Array, Array]] = None,
                       device: Device = None) -> Tuple[Array, Array]:
    return _mira.yuv444_to_yuv420sp(y, cb, cr, out=out, device=device)


@_doc(_mira.yuv420sp_to_yuv444)
def yuv420sp_to_yuv444(y: Array, cbcr: Array, *,
                       out: Optional[Tuple[Array, Array, Array]] = None,
                       device: Device = None) -> Tuple[Array, Array, Array]:
    return _mira.yuv420sp_to_yuv444(y, cbcr, out=out, device=device)


@_doc(_mira.swap_pairs)
def swap_pairs(pairs: Array, *, out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.swap_pairs(pairs, out=out, device=device)


@_doc(_mira.interleave)
def interleave(a: Array, b: Array, *, out: Optional[Array] = None,
               device: Device = None) -> Array:
    return _mira.interleave(a, b, out=out, device=device)


@_doc(_mira.gradient)
def gradient(img: Array, sobel: bool = False, *, out: Optional[Tuple[Array, Array]] = None,
             device: Device = None) -> Tuple[Array, Array]:
    return _mira.gradient(img, sobel, out=out, device=device)


@_doc(_mira.gaussian3x3)
def gaussian3x3(img: Array, border: Literal["zero", "renormalised"], *,
                out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.gaussian3x3(img, border, out=out, device=device)


@_doc(_mira.intensity_stats)
def intensity_stats(img: Array, rect: Optional[Tuple[int, int, int, int]] = None, *,
                    device: Device = None) -> Tuple[float, float]:
    return _mira.intensity_stats(img, rect, device=device)


@_doc(_mira.flood_fill)
def flood_fill(img: Array, seed: Tuple[int, int], connectivity: Literal[4, 8] = 4,
               fill: int = 255, *, out: Optional[Array] = None,
               device: Device = None) -> Tuple[Array, int, Tuple[int, int, int, int]]:
    return _mira.flood_fill(img, seed, connectivity, fill, out=out, device=device)


@_doc(_mira.scale_down)
def scale_down(img: Array, size: Size, *, out: Optional[Array] = None,
               device: Device = None) -> Array:
    return _mira.scale_down(img, size, out=out, device=device)


@_doc(_mira.scale_down_box)
def scale_down_box(img: Array, size: Size, *, out: Optional[Array] = None,
                   device: Device = None) -> Array:
    return _mira.scale_down_box(img, size, out=out, device=device)


@_doc(_mira.resize)
def resize(img: Array, size: Size,
           interpolation: Literal["none", "bilinear", "box"] = "bilinear",
           border: Literal["none", "constant", "replicate"] = "replicate", value: int = 0, *,
           out: Optional[Array] = None, device: Device = None) -> Array:
    return _mira.resize(img, size, interpolation, border, value, out=out, device=device)


@_doc(_mira.upscale_lanczos)
def upscale_lanczos(img: Array, size: Size, *, out: Optional[Array] = None,
                    device: Device = None) -> Array:
    return _mira.upscale_lanczos(img, size, out=out, device=device)


@_doc(_mira.upsample_chroma)
def upsample_chroma(pairs: Array, *, out: Optional[Array] = None,
                    device: Device = None) -> Array:
    return _mira.upsample_chroma(pairs, out=out, device=device)


@_doc(_mira.warp_affine)
def warp_affine(img: Array, matrix, size: Size,
                interpolation: Literal["nearest", "bilinear", "bicubic"] = "bilinear",
                spans: bool = False, *, out: Optional[Array] = None,
                device: Device = None) -> Union[Array, Tuple[Array, Array]]:
    return _mira.warp_affine(img, matrix, size, interpolation, spans, out=out, device=device)


__all__ = [
    "init",
    "deinit",
    "gpu_available",
    "device_name",
    "empty",
    "transpose",
    "rotate",
    "nv21_to_rgba",
    "yuv420_to_rgb",
    "rgb_to_yuv420",
    "yuv444_to_yuv420sp",
    "yuv420sp_to_yuv444",
    "swap_pairs",
    "interleave",
    "gradient",
    "gaussian3x3",
    "intensity_stats",
    "flood_fill",
    "scale_down",
    "scale_down_box",
    "resize",
    "upscale_lanczos",
    "upsample_chroma",
    "warp_affine",
]

DEVICES = ("cpu", "gpu", None)
"""The values every image function's ``device`` takes."""

"""Type stubs of the mira package (libmira on numpy arrays).

Conventions: images are uint8 arrays (H, W), (H, W, 2) (pairs), (H, W, 3)
(RGB) or (H, W, 4) (RGBA), as each function takes them, with contiguous
rows and any row stride (a channel-last slice of a larger array works); ``size`` is ``(width, height)`` as in OpenCV;
points are ``(x, y)``; rectangles ``(x, y, width, height)``. ``device`` is
"cpu", "gpu" or None (the plain C function's path). ``out=`` receives the
result (shape and dtype checked) and is returned.
"""

from typing import Literal, Optional, Sequence, SupportsIndex, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

U8 = npt.NDArray[np.uint8]
I16 = npt.NDArray[np.int16]
U32 = npt.NDArray[np.uint32]
Device = Optional[Literal["cpu", "gpu"]]
Size = Tuple[SupportsIndex, SupportsIndex]  # (width, height)

DEVICES: Tuple[Optional[str], ...]

def init() -> bool:
    """Brings up the GPU side; True when an OpenCL device is ready."""

def deinit() -> None:
    """Releases the GPU side. Raises RuntimeError while arrays from empty() in
    GPU-shared memory are alive."""

def gpu_available() -> bool:
    """True when GPU requests run on an OpenCL device; brings the device up
    if it is not up."""

def device_name() -> Optional[str]:
    """Name of the OpenCL device in use, or None."""

def empty(shape: Union[SupportsIndex, Sequence[SupportsIndex]],
          dtype: npt.DTypeLike = ...) -> np.ndarray:
    """Uninitialised C-contiguous array in GPU-shareable memory (dtype uint8 by
    default), freed when the array is garbage-collected. At most 2**31 - 1 bytes."""

def _library_path() -> str: ...

def transpose(img: U8, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """(H, W[, C]) -> (W, H[, C]), C = 2, 3 or 4: out[x, y] = img[y, x], each
    pixel moved whole. Default path CPU."""

def rotate(img: U8, degrees: Literal[90, 180, 270], *, out: Optional[U8] = None,
           device: Device = None) -> U8:
    """Clockwise rotation of a plane (H, W), pairs (H, W, 2), RGB (H, W, 3) or
    RGBA (H, W, 4). Default path CPU."""

def nv21_to_rgba(frame: U8, vu: Optional[U8] = None, *, out: Optional[U8] = None,
                 device: Device = None) -> U8:
    """NV21 frame (H * 3 // 2, W) -> RGBA (H, W, 4), H and W even. With ``vu``
    (H // 2, W // 2, 2), ``frame`` is the luma plane (H, W) alone. The CPU
    method uses 6-bit fixed point, the GPU method float: results differ by a
    few units. Default path CPU."""

def yuv420_to_rgb(frame: U8, size: Optional[Size] = None, *,
                  layout: Literal["nv21", "nv12", "i420", "yv12"] = "nv21",
                  matrix: Literal["bt601", "bt709", "bt2020"] = "bt601",
                  range: Literal["limited", "full"] = "limited",
                  format: Literal["RGB", "BGR", "RGBA", "BGRA"] = "RGB",
                  degrees: int = 0, mirror: bool = False, dsize: Optional[Size] = None,
                  interpolation: Literal["nearest", "bilinear"] = "bilinear",
                  out: Optional[U8] = None, device: Device = None) -> U8:
    """A 4:2:0 camera frame (Android's flat buffer: 1-D, or (H * 3 // 2, W)
    when H is even; ``size=(width, height)`` otherwise) -> RGB (H, W, 3) or
    RGBA (H, W, 4). Integer formula within 1 of the exact ITU values; each
    chroma sample covers its 2 x 2 block. ``format="BGR"`` matches OpenCV's
    COLOR_YUV2BGR_NV21. With ``degrees`` (clockwise), ``mirror=True`` (front
    camera: flipped horizontally first) or ``dsize=(width, height)``, one fused
    pass turns, scales (``interpolation`` "nearest" or "bilinear") and
    converts. Default path CPU."""

def rgb_to_yuv420(img: U8, *, layout: Literal["nv21", "nv12", "i420", "yv12"] = "nv21",
                  matrix: Literal["bt601", "bt709", "bt2020"] = "bt601",
                  range: Literal["limited", "full"] = "limited",
                  format: Optional[Literal["RGB", "BGR", "RGBA", "BGRA"]] = None,
                  out: Optional[U8] = None, device: Device = None) -> U8:
    """RGB (H, W, 3) or RGBA (H, W, 4) -> the flat 4:2:0 buffer (1-D, W * H +
    2 * ceil(W/2) * ceil(H/2) bytes). Chroma is the mean of each 2 x 2 block.
    Default path CPU."""


def yuv444_to_yuv420sp(y: U8, cb: U8, cr: U8, *, out: Optional[Tuple[U8, U8]] = None,
                       device: Device = None) -> Tuple[U8, U8]:
    """Planes (H, W) x 3 -> (y (H, W), cbcr (H // 2, W // 2, 2)); chroma takes the
    top-left sample of each 2 x 2 block. H and W even. Default path CPU."""

def yuv420sp_to_yuv444(y: U8, cbcr: U8, *, out: Optional[Tuple[U8, U8, U8]] = None,
                       device: Device = None) -> Tuple[U8, U8, U8]:
    """(y (H, W), cbcr (H // 2, W // 2, 2)) -> (y, cb, cr), each (H, W); chroma
    replicated over 2 x 2 blocks. Default path CPU."""

def swap_pairs(pairs: U8, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """Swaps the two bytes of every pair (H, W, 2). Default path CPU."""

def interleave(a: U8, b: U8, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """Planes (H, W) x 2 -> pairs (H, W, 2) = (a, b). Default path CPU."""

def gradient(img: U8, sobel: bool = False, *, out: Optional[Tuple[I16, I16]] = None,
             device: Device = None) -> Tuple[I16, I16]:
    """(dx, dy) int16 (H, W): central differences, or unscaled 3 x 3 Sobel with
    ``sobel=True``, on the interior; the one-pixel frame is 0. Default path GPU."""

def gaussian3x3(img: U8, border: Literal["zero", "renormalised", "renormalized"], *,
                out: Optional[U8] = None, device: Device = None) -> U8:
    """3 x 3 binomial smoothing (1 2 1 / 2 4 2 / 1 2 1) / 16, truncated, of a plane
    (H, W) or of each channel of (H, W, C), C = 2, 3 or 4; the frame
    is 0 ("zero") or uses the part of the kernel inside the image
    ("renormalised"). Default path CPU."""

def intensity_stats(img: U8, rect: Optional[Tuple[SupportsIndex, SupportsIndex,
                                                   SupportsIndex, SupportsIndex]] = None, *,
                    device: Device = None) -> Tuple[float, float]:
    """(mean, unbiased variance) of the samples in rect (x, y, width, height),
    default the whole image, computed in float32. CPU only."""

def flood_fill(img: U8, seed: Tuple[SupportsIndex, SupportsIndex], connectivity: Literal[4, 8] = 4,
               fill: int = 255, *, out: Optional[U8] = None,
               device: Device = None) -> Tuple[U8, int, Tuple[int, int, int, int]]:
    """(mask, count, bbox): the region of pixels equal to img at seed (x, y) and
    connected to it gets ``fill`` (1..255) in mask, the rest 0; bbox is
    (x, y, width, height). Sides at most 65535. CPU only."""

def scale_down(img: U8, size: Size, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """Integer block mean to size (width, height), which must divide the image's
    sides by whole factors 1..255; floor of the mean. Default path CPU."""

def scale_down_box(img: U8, size: Size, *, out: Optional[U8] = None,
                   device: Device = None) -> U8:
    """Box down-scale of planes or pairs to size (width, height) <= the image's,
    any ratio per axis. The CPU and GPU methods average different boxes.
    Default path GPU."""

def resize(img: U8, size: Size,
           interpolation: Literal["none", "bilinear", "box"] = "bilinear",
           border: Literal["none", "constant", "replicate"] = "replicate",
           value: int = 0, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """General resize of a plane to size (width, height), each axis by its own
    ratio; ``value`` is what outside samples read with border="constant".
    CPU only."""

def upscale_lanczos(img: U8, size: Size, *, out: Optional[U8] = None,
                    device: Device = None) -> U8:
    """Lanczos-3 up-scale of planes or pairs to size (width, height) >= the
    image's, each axis by its own ratio. CPU only."""

def upsample_chroma(pairs: U8, *, out: Optional[U8] = None, device: Device = None) -> U8:
    """2x bilinear up-sample of pairs (H, W, 2) -> (2H, 2W, 2). Default path GPU."""

@overload
def warp_affine(img: U8, matrix: npt.ArrayLike, size: Size,
                interpolation: Literal["nearest", "bilinear", "bicubic"] = ...,
                spans: Literal[False] = ..., *, out: Optional[U8] = None,
                device: Device = None) -> U8: ...
@overload
def warp_affine(img: U8, matrix: npt.ArrayLike, size: Size,
                interpolation: Literal["nearest", "bilinear", "bicubic"] = ...,
                spans: Literal[True] = ..., *, out: Optional[U8] = None,
                device: Device = None) -> Tuple[U8, U32]: ...

"""libmira's 8-bit image operations on numpy arrays, bit for bit as the library
computes them on the device (the same NEON kernels, Halide pipelines and
OpenCL kernels).

Images are uint8 numpy arrays of shape (H, W) (planes) or (H, W, 2)
(interleaved pairs such as CbCr). The samples of a row must be contiguous;
rows may lie any distance apart, so a slice of a larger image such as
``big[10:50, 20:80]`` is taken as it is, without a copy.

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

from ._mira import (
    _library_path,
    deinit,
    device_name,
    empty,
    flood_fill,
    gaussian3x3,
    gpu_available,
    gradient,
    init,
    intensity_stats,
    interleave,
    nv21_to_rgba,
    resize,
    rotate,
    scale_down,
    scale_down_box,
    swap_pairs,
    transpose,
    upsample_chroma,
    upscale_lanczos,
    warp_affine,
    yuv420sp_to_yuv444,
    yuv444_to_yuv420sp,
)

__all__ = [
    "init",
    "deinit",
    "gpu_available",
    "device_name",
    "empty",
    "transpose",
    "rotate",
    "nv21_to_rgba",
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

"""The C library the module uses, called directly through ctypes: the
checked interface (mira_*) and the plain one (ncv*), on the same arrays."""

import ctypes
from ctypes import POINTER, c_float, c_int, c_uint8, c_uint32, c_void_p

import numpy as np

import mira

lib = ctypes.CDLL(mira._library_path())

PATH = {None: 0, "cpu": 1, "gpu": 2}


class Image(ctypes.Structure):
    _fields_ = [("data", c_void_p), ("width", c_uint32), ("height", c_uint32),
                ("stride", c_uint32), ("channels", c_uint32)]


class FillResult(ctypes.Structure):
    _fields_ = [("count", c_uint32), ("seed_value", c_uint32), ("x", c_uint32),
                ("y", c_uint32), ("width", c_uint32), ("height", c_uint32)]


IMG = POINTER(Image)


def _sig(name, args, res=c_int):
    f = getattr(lib, name)
    f.argtypes = args
    f.restype = res
    return f


mira_transpose = _sig("mira_transpose", [IMG, IMG, c_int])
mira_rotate = _sig("mira_rotate", [IMG, IMG, c_int, c_int])
mira_nv21_to_rgba = _sig("mira_nv21_to_rgba", [IMG, IMG, IMG, c_int])
mira_yuv444_to_yuv420sp = _sig("mira_yuv444_to_yuv420sp", [IMG] * 5 + [c_int])
mira_yuv420sp_to_yuv444 = _sig("mira_yuv420sp_to_yuv444", [IMG] * 5 + [c_int])
mira_swap_pairs = _sig("mira_swap_pairs", [IMG, IMG, c_int])
mira_interleave = _sig("mira_interleave", [IMG, IMG, IMG, c_int])
mira_gradient = _sig("mira_gradient", [IMG, IMG, IMG, c_int])
mira_sobel = _sig("mira_sobel", [IMG, IMG, IMG, c_int])
mira_gaussian3x3 = _sig("mira_gaussian3x3", [IMG, IMG, c_int, c_int])
mira_intensity_stats = _sig("mira_intensity_stats",
                            [IMG, c_uint32, c_uint32, c_uint32, c_uint32, POINTER(c_float),
                             POINTER(c_float), c_int])
mira_flood_fill = _sig("mira_flood_fill", [IMG, IMG, c_uint32, c_uint32, c_int, c_uint8,
                                           POINTER(FillResult), c_int])
mira_scale_down = _sig("mira_scale_down", [IMG, IMG, c_int])
mira_scale_down_box = _sig("mira_scale_down_box", [IMG, IMG, c_int])
mira_resize = _sig("mira_resize", [IMG, IMG, c_int, c_int, c_uint8, c_int])
mira_upscale_lanczos = _sig("mira_upscale_lanczos", [IMG, IMG, c_int])
mira_upsample_chroma = _sig("mira_upsample_chroma", [IMG, IMG, c_int])
mira_warp_affine = _sig("mira_warp_affine", [IMG, POINTER(c_float), IMG, c_int,
                                             POINTER(c_uint32), c_int])

U32 = c_uint32
P = c_void_p
ncvTransposeu8 = _sig("ncvTransposeu8", [P, U32, U32, U32, P, U32], None)
ncvRotateImageu8 = _sig("ncvRotateImageu8", [P, U32, U32, U32, P, U32, c_int], None)
ncvRotateImageInterleavedu8 = _sig("ncvRotateImageInterleavedu8",
                                   [P, U32, U32, U32, P, U32, c_int], None)
ncvColorYUV420toRGB8888u8 = _sig("ncvColorYUV420toRGB8888u8", [P, c_int, c_int, P], None)
ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8 = _sig(
    "ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8", [P, P, P] + [U32] * 5 + [P, P, U32, U32],
    None)
ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8 = _sig(
    "ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8", [P, P] + [U32] * 4 + [P, P, P] + [U32] * 3,
    None)
ncvColorCbCrSwapu8 = _sig("ncvColorCbCrSwapu8", [P, U32, U32, U32, P, U32], None)
ncvInterleaveu8 = _sig("ncvInterleaveu8", [P, P, U32, U32, U32, U32, P, U32], None)
ncvImageGradientPlanars16_v2 = _sig("ncvImageGradientPlanars16_v2",
                                    [P, U32, U32, U32, P, P, U32], None)
ncvImageGradientSobelPlanars16_v3 = _sig("ncvImageGradientSobelPlanars16_v3",
                                         [P, U32, U32, U32, P, P, U32], None)
ncvFilterGaussian3x3u8 = _sig("ncvFilterGaussian3x3u8", [P, U32, U32, P, c_int], None)
ncvImageIntensityStats = _sig("ncvImageIntensityStats",
                              [P, c_int, c_int, c_int, U32, U32, POINTER(c_float),
                               POINTER(c_float)], None)
ncvFloodfillSimpleu8 = _sig("ncvFloodfillSimpleu8",
                            [P, U32, U32, U32, P, U32, U32, U32, c_uint8, POINTER(FillResult),
                             c_uint8], None)
ncvScaleDownu8_v2 = _sig("ncvScaleDownu8_v2", [P, U32, U32, U32, P, U32, U32, U32], None)
ncvScaleDownMNu8 = _sig("ncvScaleDownMNu8", [P, U32, U32, U32, P, U32, U32, U32], None)
ncvScaleDownMNInterleaveu8 = _sig("ncvScaleDownMNInterleaveu8",
                                  [P, U32, U32, U32, P, U32, U32, U32], None)
ncvScaleu8_v2 = _sig("ncvScaleu8_v2", [P, U32, U32, U32, P, U32, U32, U32, U32, U32, c_uint8],
                     None)
ncvScaleUpPolyu8 = _sig("ncvScaleUpPolyu8", [P, U32, U32, U32, P, U32, U32, U32], None)
ncvScaleUpPolyInterleaveu8 = _sig("ncvScaleUpPolyInterleaveu8",
                                  [P, U32, U32, U32, P, U32, U32, U32], None)
ncvUpsample2DInterleavedu8 = _sig("ncvUpsample2DInterleavedu8", [P, U32, U32, U32, P, U32],
                                  None)
ncvTransformAffineClippedu8_v2 = _sig("ncvTransformAffineClippedu8_v2",
                                      [P, U32, U32, U32, POINTER(c_float), P, U32, U32, U32,
                                       POINTER(c_uint32), U32], None)


def stride(a):
    """Row stride in bytes as the module passes it."""
    return a.strides[0] if a.shape[0] > 1 else a.shape[1] * a.strides[1]


def image(a):
    ch = 1 if a.ndim == 2 or a.dtype == np.int16 else a.shape[2]
    return Image(a.ctypes.data, a.shape[1], a.shape[0], stride(a), ch)


def ptr(a):
    return ctypes.c_void_p(a.ctypes.data)


def check(status):
    assert status == 0, f"C call returned status {status}"

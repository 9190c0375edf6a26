"""libmira against OpenCV on the bundled picture, notebook style.

Runs a few operations on both of libmira's paths (CPU and GPU) and OpenCV's
nearest equivalent, prints per-pixel difference counts and writes one
comparison PNG: a row per operation with libmira CPU, libmira GPU, OpenCV and
the CPU-OpenCV difference (amplified x16).

    PYTHONPATH=build/python MIRA_OPENCL_DEVICE=any \\
        /usr/bin/python3 examples/compare_opencv.py [data/astronaut.png] [out.png]
"""

import os
import sys

import cv2
import numpy as np

import mira

here = os.path.dirname(os.path.abspath(__file__))
src_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "astronaut.png")
out_path = sys.argv[2] if len(sys.argv) > 2 else "compare_opencv.png"

bgr = cv2.imread(src_path, cv2.IMREAD_COLOR)
if bgr is None:
    sys.exit(f"cannot read {src_path}")
gray = cv2.cvtColor(bgr, cv2.COLOR_BGR2GRAY)
h, w = gray.shape
print(f"{src_path}: {w} x {h}; GPU: {mira.device_name() if mira.init() else 'none (CPU method)'}")

# An NV21 frame of the picture (even sides): Y plane, then V,U pairs.
h2, w2 = h // 2 * 2, w // 2 * 2
i420 = cv2.cvtColor(bgr[:h2, :w2], cv2.COLOR_BGR2YUV_I420)
u = i420[h2:h2 + h2 // 4].reshape(h2 // 2, w2 // 2)
v = i420[h2 + h2 // 4:].reshape(h2 // 2, w2 // 2)
nv21 = np.vstack([i420[:h2], np.stack([v, u], -1).reshape(h2 // 2, w2)])

angle = 10.0
rot = cv2.getRotationMatrix2D((w / 2, h / 2), angle, 1.0)  # destination -> source with inverse
inverse = cv2.invertAffineTransform(rot)

# name: (libmira call taking device, OpenCV result)
cases = {
    "transpose": (lambda d: mira.transpose(gray, device=d), cv2.transpose(gray)),
    "rotate 90": (lambda d: mira.rotate(gray, 90, device=d),
                  cv2.rotate(gray, cv2.ROTATE_90_CLOCKWISE)),
    "gaussian 3x3": (lambda d: mira.gaussian3x3(gray, "renormalised", device=d),
                     cv2.GaussianBlur(gray, (3, 3), 0, borderType=cv2.BORDER_REFLECT_101)),
    "sobel dx": (lambda d: np.clip(np.abs(mira.gradient(gray, True, device=d)[0]), 0, 255)
                 .astype(np.uint8),
                 np.clip(np.abs(cv2.Sobel(gray, cv2.CV_16S, 1, 0, ksize=3)), 0, 255)
                 .astype(np.uint8)),
    "resize bilinear 0.37": (lambda d: mira.resize(gray, (w * 37 // 100, h * 37 // 100),
                                                   device=d),
                             cv2.resize(gray, (w * 37 // 100, h * 37 // 100),
                                        interpolation=cv2.INTER_LINEAR)),
    "box down 0.37 (area)": (lambda d: mira.scale_down_box(gray, (w * 37 // 100, h * 37 // 100),
                                                           device=d),
                             cv2.resize(gray, (w * 37 // 100, h * 37 // 100),
                                        interpolation=cv2.INTER_AREA)),
    "lanczos x1.5": (lambda d: mira.upscale_lanczos(gray, (w * 3 // 2, h * 3 // 2), device=d),
                     cv2.resize(gray, (w * 3 // 2, h * 3 // 2),
                                interpolation=cv2.INTER_LANCZOS4)),
    "warp rotate 10deg": (lambda d: mira.warp_affine(gray, inverse, (w, h), "bilinear",
                                                     device=d),
                          cv2.warpAffine(gray, rot, (w, h), flags=cv2.INTER_LINEAR,
                                         borderMode=cv2.BORDER_CONSTANT, borderValue=0)),
    "nv21 -> rgba": (lambda d: mira.nv21_to_rgba(nv21, device=d),
                     cv2.cvtColor(nv21, cv2.COLOR_YUV2RGBA_NV21)),
}

TILE = 256


def tile(img, label):
    if img.ndim == 3:
        img = cv2.cvtColor(img, cv2.COLOR_RGBA2BGR)
    else:
        img = cv2.cvtColor(img, cv2.COLOR_GRAY2BGR)
    s = TILE / max(img.shape[:2])
    t = cv2.resize(img, (max(1, int(img.shape[1] * s)), max(1, int(img.shape[0] * s))),
                   interpolation=cv2.INTER_AREA)
    canvas = np.full((TILE + 20, TILE, 3), 32, np.uint8)
    canvas[20:20 + t.shape[0], :t.shape[1]] = t
    cv2.putText(canvas, label, (4, 14), cv2.FONT_HERSHEY_SIMPLEX, 0.4, (255, 255, 255), 1)
    return canvas


def differ(a, b):
    """Pixels (not samples) that differ, and the largest sample difference."""
    d = np.abs(a.astype(np.int16) - b.astype(np.int16))
    per_pixel = d.reshape(d.shape[0], d.shape[1], -1).max(axis=2)
    return int((per_pixel > 0).sum()), int(d.max())


print(f"{'operation':24} {'pixels':>9} {'cpu!=cv':>9} {'max':>4} {'gpu!=cv':>9} {'max':>4} "
      f"{'cpu!=gpu':>9} {'max':>4}")
rows = []
for name, (run, ref) in cases.items():
    cpu, gpu = run("cpu"), run("gpu")
    n = cpu.shape[0] * cpu.shape[1]
    c_cv, g_cv, c_g = differ(cpu, ref), differ(gpu, ref), differ(cpu, gpu)
    print(f"{name:24} {n:9d} {c_cv[0]:9d} {c_cv[1]:4d} {g_cv[0]:9d} {g_cv[1]:4d} "
          f"{c_g[0]:9d} {c_g[1]:4d}")
    diff = np.clip(np.abs(cpu.astype(np.int16) - ref.astype(np.int16)) * 16, 0, 255)
    diff = diff.astype(np.uint8)
    if diff.ndim == 3:
        diff = diff[..., :3].max(axis=2)
    rows.append(np.hstack([tile(cpu, f"{name}: mira cpu"), tile(gpu, "mira gpu"),
                           tile(ref, "opencv"), tile(diff, f"|cpu-cv| x16 ({c_cv[0]} px)")]))

cv2.imwrite(out_path, np.vstack(rows))
print(f"wrote {out_path}")

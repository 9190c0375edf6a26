#!/usr/bin/env bash
# The shared library exports the public names only: the 26 ncv functions, the
# checked C functions (mira_*, mira/mira_image.h), the
# direct kernels (namespace mira), the manager and feature classes, the GPU
# runtime's public names, the pipelines and the Halide runtime.
set -euo pipefail
lib="$1"
syms=$("${NM:-nm}" -D --defined-only "$lib" | awk '{print $3}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$')
missing=0
for f in ncvInit ncvDeinit ncvMemAlloc ncvMemFree ncvIsNcvAllocBuffer ncvTransposeu8 \
  ncvScaleDownu8_v2 ncvColorYUV420toRGB8888u8 ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8 \
  ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8 ncvColorCbCrSwapu8 ncvInterleaveu8 \
  ncvRotateImageu8 ncvRotateImageInterleavedu8 ncvScaleDownMNInterleaveu8 \
  ncvImageGradientPlanars16_v2 ncvImageGradientSobelPlanars16_v3 ncvImageIntensityStats \
  ncvFilterGaussian3x3u8 ncvUpsample2DInterleavedu8 ncvScaleUpPolyu8 ncvScaleUpPolyInterleaveu8 \
  ncvScaleu8_v2 ncvFloodfillSimpleu8 ncvTransformAffineClippedu8_v2 ncvScaleDownMNu8; do
  if ! grep -qx "$f" <<<"$syms"; then echo "missing plain export: $f"; missing=1; fi
done
# The checked C interface (mira/mira_image.h), exactly these names.
expected_mira="mira_status_string mira_init mira_shutdown mira_device_name mira_alloc mira_free mira_transpose mira_rotate mira_nv21_to_rgba mira_yuv444_to_yuv420sp mira_yuv420sp_to_yuv444 mira_swap_pairs mira_interleave mira_gradient mira_sobel mira_gaussian3x3 mira_intensity_stats mira_flood_fill mira_scale_down mira_scale_down_box mira_resize mira_upscale_lanczos mira_upsample_chroma mira_warp_affine"
for f in $expected_mira; do
  if ! grep -qx "$f" <<<"$syms"; then echo "missing plain export: $f"; missing=1; fi
done
extra=$(grep -E '^mira_' <<<"$syms" | grep -v -E '^mira_fcv' | grep -v -x -F -f <(tr ' ' '\n' <<<"$expected_mira") || true)
if [ -n "$extra" ]; then echo "unexpected mira_ exports:"; echo "$extra"; missing=1; fi
n=$(grep -c -E '^ncv' <<<"$syms" || true)
if [ "$n" -ne 26 ]; then echo "expected 26 plain ncv exports, found $n"; missing=1; fi
# Anything else must be a C++ name of ours, a pipeline or the Halide runtime.
stray=$(grep -v -E '^(ncv|mira_|_ZN4mira|_Z.*MIRA_|_ZN3ZOR|_Z.*(zor_|ZOR_|_process_|process_object|program_|kernel_source|Copy_Plane)|MIRA_.*_HALIDE|halide_|_ZTV|_ZTI|_ZTS|program_map|mira_fcv)' <<<"$syms" || true)
if [ -n "$stray" ]; then echo "stray exports:"; echo "$stray"; missing=1; fi
[ "$missing" -eq 0 ] && echo "exports ok ($(wc -l <<<"$syms") symbols)"
exit $missing

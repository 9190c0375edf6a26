#!/usr/bin/env bash
# check_exports.sh <libmira.so> <include-dir>: the shared library exports
# exactly its public surface and nothing else:
#  - every C function declared in the public C headers (mira.h, and mira_image.h
#    where present), by its plain name, and no other plain ncv / mira_ name;
#  - every direct kernel of mira_kernels.h (namespace mira);
#  - the eight pipelines with their _argv and _metadata companions, and no
#    per-processor version or parallel-loop closure of them;
#  - the shared Halide runtime (halide_*);
#  - C++ names of the manager, the feature classes and the GPU runtime, and
#    the embedded kernel sources (mira_fcv..._func).
set -euo pipefail
lib="$1"; inc="$2"
syms=$("${NM:-nm}" -D --defined-only "$lib" | awk '{print $3}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$')
bad=0
fail() { echo "$1"; bad=1; }

# C functions of the public C headers: MIRA_EXPORT <type> name(
c_headers=("$inc/mira/mira.h")
[ -f "$inc/mira/mira_image.h" ] && c_headers+=("$inc/mira/mira_image.h")
c_names=$(cat "${c_headers[@]}" | tr '\n' ' ' | grep -o -E 'MIRA_EXPORT[^;{(]*\(' |
          sed -E 's/\($//; s/.*[ *]([A-Za-z_][A-Za-z0-9_]*)$/\1/' | sort -u)
[ -n "$c_names" ] || fail "no C functions found in ${c_headers[*]}"
for f in $c_names; do grep -qx "$f" <<<"$syms" || fail "missing C export: $f"; done
n_ncv=$(grep -c -x -E 'ncv[A-Za-z0-9_]+' <<<"$syms" || true)
[ "$n_ncv" -eq 26 ] || fail "expected 26 plain ncv exports, found $n_ncv"
for s in $(grep -E '^(ncv|mira_)' <<<"$syms" | grep -v '^mira_fcv' || true); do
  grep -qx "$s" <<<"$c_names" || fail "plain export not declared in a public C header: $s"
done

# Direct kernels (namespace mira): _ZN4mira<len><name>
k_names=$(tr '\n' ' ' < "$inc/mira/mira_kernels.h" | grep -o -E 'MIRA_EXPORT[^;{(]*\(' |
          sed -E 's/\($//; s/.*[ *]([A-Za-z_][A-Za-z0-9_]*)$/\1/' | sort -u)
for f in $k_names; do
  grep -q -E "^_ZN4mira${#f}${f}E" <<<"$syms" || fail "missing direct kernel: mira::$f"
done

# Pipelines: exactly the eight, each with _argv and _metadata.
pipes="MIRA_SCALEDOWN_U8_HALIDE MIRA_IMAGE_DOWN_NONE_U8_HALIDE MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE
MIRA_IMAGE_DOWN_BOX_U8_HALIDE MIRA_IMAGE_UP_NONE_U8_HALIDE MIRA_IMAGE_UP_BILINEAR_U8_HALIDE
MIRA_IMAGE_UP_BOX_U8_HALIDE MIRA_IMAGE_UP_LANCZOS_U8_HALIDE"
want_pipes=$(for p in $pipes; do echo "$p"; echo "${p}_argv"; echo "${p}_metadata"; done | sort)
have_pipes=$(grep -E '^MIRA_.*_HALIDE' <<<"$syms" | sort || true)
if [ "$want_pipes" != "$have_pipes" ]; then
  fail "pipeline exports differ from the eight pipelines:"
  diff <(echo "$want_pipes") <(echo "$have_pipes") || true
fi
grep -q -E '_par_for_' <<<"$syms" && fail "Halide loop closures exported: $(grep -c _par_for_ <<<"$syms")"

# Halide runtime present.
grep -q -x 'halide_do_par_for' <<<"$syms" || fail "missing Halide runtime export halide_do_par_for"

# Anything else must be a C++ name of ours.
stray=$(grep -v -E '^(ncv|mira_|_ZN4mira|_Z.*MIRA_|_ZN3ZOR|_ZNK3ZOR|_Z.*(zor_|ZOR_|_process_|process_object|program_|kernel_source|Copy_Plane)|MIRA_.*_HALIDE|halide_|_ZTV|_ZTI|_ZTS|program_map|mira_fcv)' <<<"$syms" || true)
[ -z "$stray" ] || { echo "stray exports:"; echo "$stray"; bad=1; }
[ "$bad" -eq 0 ] && echo "exports ok ($(wc -l <<<"$syms") symbols)"
exit $bad

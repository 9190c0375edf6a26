#!/usr/bin/env bash
# The mira tool on bad command lines: each gives exactly one line on standard
# error and exit status 2 (never an abort); good ones succeed.
# usage: tool_cli.sh <path of the mira tool>
set -uo pipefail
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
in="$dir/in.pgm"
{ printf 'P5\n16 12\n255\n'; head -c 192 /dev/urandom; } > "$in"
fail=0

# expect_bad <what> args...: status 2, one stderr line of the form
# "mira: <what>: <why>", nothing on standard output, no output file.
expect_bad() {
  local what="$1"; shift
  rm -f "$dir"/out.*
  "$tool" "$@" >"$dir/stdout" 2>"$dir/stderr"
  local rc=$?
  local lines
  lines=$(wc -l <"$dir/stderr")
  if [ "$rc" -ne 2 ] || [ "$lines" -ne 1 ]; then
    echo "FAIL $what: status $rc, $lines stderr lines:"; cat "$dir/stderr"; fail=1
  elif ! grep -Eq '^mira: [^ ][^:]*: [^ ]' "$dir/stderr"; then
    echo "FAIL $what: not 'mira: <what>: <why>': $(cat "$dir/stderr")"; fail=1
  elif [ -s "$dir/stdout" ]; then
    echo "FAIL $what: printed on standard output: $(cat "$dir/stdout")"; fail=1
  elif ls "$dir"/out.* >/dev/null 2>&1; then
    echo "FAIL $what: wrote an output"; fail=1
  else
    echo "ok   $what: $(cat "$dir/stderr")"
  fi
}

# expect_bad_naming <what> <name> args...: as expect_bad, and the line names <name>.
expect_bad_naming() {
  local what="$1" name="$2"; shift 2
  expect_bad "$what" "$@"
  if ! grep -q -- "$name" "$dir/stderr"; then
    echo "FAIL $what: the message does not name $name"; fail=1
  fi
}

# expect_good <what> args...: status 0 and a non-empty out.png (or the file
# named by $out when set).
expect_good() {
  local what="$1"; shift
  local target="${out:-$dir/out.png}"
  rm -f "$dir"/out.*
  "$tool" "$@" >"$dir/stdout" 2>"$dir/stderr"
  local rc=$?
  if [ "$rc" -ne 0 ] || [ ! -s "$target" ]; then
    echo "FAIL $what: status $rc"; cat "$dir/stderr"; fail=1
  else
    echo "ok   $what"
  fi
}

expect_bad_naming "negative width" --width resize "$in" "$dir/out.png" --width=-5
expect_bad_naming "degrees not a number" --degrees warp_affine "$in" "$dir/out.png" --degrees=abc
expect_bad_naming "width 0" --width resize "$in" "$dir/out.png" --width=0 --height=5
expect_bad_naming "unknown option" --colour resize "$in" "$dir/out.png" --colour=red
expect_bad_naming "trailing characters" --height resize "$in" "$dir/out.png" --height=12px
expect_bad_naming "width beyond the range" --width resize "$in" "$dir/out.png" --width=99999999999
expect_bad_naming "rotation not a quarter turn" --degrees rotate "$in" "$dir/out.png" --degrees=45
expect_bad_naming "interpolation unknown" --interpolation resize "$in" "$dir/out.png" --interpolation=cubic
expect_bad_naming "old --mode out of range" --interpolation resize "$in" "$dir/out.png" --mode=3
expect_bad_naming "connectivity" --connectivity flood_fill "$in" "$dir/out.png" --connectivity=6
expect_bad_naming "seed outside" --x flood_fill "$in" "$dir/out.png" --x=16 --y=0
expect_bad_naming "raw size" --size nv21_to_rgba "$dir/in.nv21" "$dir/out.png" --size=7x5
expect_bad_naming "factor 0" --factor scale_down "$in" "$dir/out.png" --factor=0
expect_bad_naming "up-scale smaller" --width upscale_lanczos "$in" "$dir/out.png" --width=8 --height=20
expect_bad_naming "missing output" "file arguments" resize "$in"
expect_bad_naming "unknown command" frobnicate frobnicate "$in" "$dir/out.png"
expect_bad "no command"
expect_bad "missing input file" resize "$dir/none.png" "$dir/out.png"
expect_bad "gpu and cpu together" --gpu --cpu resize "$in" "$dir/out.png"

# The output's extension names its format; others are refused before the
# operation runs, as is a folder that does not exist.
expect_bad_naming "output .txt" "out.txt" resize "$in" "$dir/out.txt"
expect_bad_naming "output without extension" "no extension" resize "$in" "$dir/out"
expect_bad_naming "output folder missing" "does not exist" resize "$in" "$dir/none/out.png"
expect_bad_naming "output folder missing, gpu" "does not exist" --gpu resize "$in" "$dir/none/out.png"
expect_bad_naming "raw input, output .txt" "out.txt" nv21_to_rgba "$dir/in.nv21" "$dir/out.txt" --size=8x4
# a truncated PNG names the file
head -c 40 "$(dirname "$0")/../data/astronaut.png" >"$dir/trunc.png"
expect_bad_naming "truncated input" "trunc.png" resize "$dir/trunc.png" "$dir/out.png"

# mira convert: raw camera frames of any size and layout to PNG.
head -c $((17 * 9 + 2 * 9 * 5)) /dev/urandom > "$dir/frame.yuv"
expect_bad_naming "convert without height" --height convert "$dir/frame.yuv" "$dir/out.png" --width=17
expect_bad_naming "convert short file" frame.yuv convert "$dir/frame.yuv" "$dir/out.png" --width=17 --height=10
expect_bad_naming "convert layout" --layout convert "$dir/frame.yuv" "$dir/out.png" --width=17 --height=9 --layout=yuyv
expect_bad_naming "convert matrix" --matrix convert "$dir/frame.yuv" "$dir/out.png" --width=17 --height=9 --matrix=bt470
for layout in nv21 nv12 i420 yv12; do
  expect_good "convert $layout" convert "$dir/frame.yuv" "$dir/out.png" --width=17 --height=9 --layout=$layout --matrix=bt709 --range=full
  got=$(od -An -tu4 --endian=big -j16 -N8 "$dir/out.png" | tr -s ' ' | sed 's/^ //')
  [ "$got" = "17 9" ] || { echo "FAIL convert $layout: $got, expected 17 9"; fail=1; }
done
expect_good "convert on the GPU path, RGBA" --gpu convert "$dir/frame.yuv" "$dir/out.png" --width=17 --height=9 --alpha=yes

# --factor with a side is refused; one side alone keeps the aspect ratio.
expect_bad_naming "factor with width" --factor resize "$in" "$dir/out.png" --factor=0.5 --width=8
expect_bad_naming "factor with height" --factor upscale_lanczos "$in" "$dir/out.png" --factor=2 --height=30

# png_size <file>: "W H" of a PNG
png_size() { od -An -tu4 --endian=big -j16 -N8 "$1" | tr -s ' ' | sed 's/^ //'; }

# (name, arguments, expected "W H") of the 16x12 input
while IFS='|' read -r what args want; do
  # shellcheck disable=SC2086
  expect_good "$what" resize "$in" "$dir/out.png" $args
  got=$(png_size "$dir/out.png")
  [ "$got" = "$want" ] || { echo "FAIL $what: $got, expected $want"; fail=1; }
done <<'TABLE'
resize to both sides|--width=7 --height=20|7 20
width alone keeps the ratio|--width=8|8 6
height alone keeps the ratio|--height=24|32 24
factor alone|--factor=0.25|4 3
default factor|--interpolation=box|8 6
TABLE

# Formats by extension: (extension, leading bytes as hex)
while IFS='|' read -r ext magic; do
  out="$dir/out.$ext" expect_good "resize to .$ext" resize "$in" "$dir/out.$ext" --width=8
  got=$(head -c ${#magic} "$dir/out.$ext" | od -An -tx1 | tr -d ' \n' | head -c $(( ${#magic} )))
  want=$(printf '%s' "$magic")
  [ "$got" = "$want" ] || { echo "FAIL .$ext: starts $got, expected $want"; fail=1; }
done <<'TABLE'
png|89504e47
pgm|5035
ppm|5036
jpg|ffd8ff
jpeg|ffd8ff
TABLE
if ! python3 -c "import cv2, sys; a = cv2.imread(sys.argv[1], cv2.IMREAD_UNCHANGED); sys.exit(a is None or a.shape[:2] != (6, 8))" "$dir/out.jpeg" 2>/dev/null; then
  command -v python3 >/dev/null && python3 -c "import cv2" 2>/dev/null && { echo "FAIL .jpeg does not decode to 8x6"; fail=1; }
fi

# One vocabulary with the Python module, the older spellings kept.
expect_good "rotate 270" rotate "$in" "$dir/out.png" --degrees=270
expect_good "rotate, old --angle" rotate "$in" "$dir/out.png" --angle=90
expect_good "warp on the gpu path" --gpu warp_affine "$in" "$dir/out.png" --degrees=-12.5 --interpolation=bicubic
expect_good "warp, old names" warp "$in" "$dir/out.png" --angle=10 --interp=linear
expect_good "resize, named modes" resize "$in" "$dir/out.png" --interpolation=none --border=constant --value=9
expect_good "resize, old numeric modes" resize "$in" "$dir/out.png" --mode=2 --border=1
expect_good "scale_down_box" scale_down_box "$in" "$dir/out.png" --width=5
expect_good "scaledown-mn (old name)" scaledown-mn "$in" "$dir/out.png" --width=5
expect_good "upscale_lanczos" upscale_lanczos "$in" "$dir/out.png" --width=20
expect_good "upscale (old name)" upscale "$in" "$dir/out.png" --factor=2
expect_good "scale_down" scale_down "$in" "$dir/out.png" --factor=2
expect_good "gaussian3x3" gaussian3x3 "$in" "$dir/out.png" --border=zero
expect_good "gaussian (old name, numeric border)" gaussian "$in" "$dir/out.png" --border=0
expect_good "flood_fill" flood_fill "$in" "$dir/out.png" --x=3 --y=4 --connectivity=8
expect_good "floodfill (old names)" floodfill "$in" "$dir/out.png" --x=3 --y=4 --conn=8

# Colour PNGs keep their colour through the operations that take it: an RGB
# (colour type 2) or RGBA (6) input gives a PNG of the same colour type and
# the expected size; the pixels are the operation's (a rotation by 180 twice
# gives the input back, byte for byte).
png_colour_type() { od -An -tu1 -j25 -N1 "$1" | tr -d ' '; }
make_png() {  # make_png <file> <width> <height> <channels>
  python3 - "$@" <<'PY'
import random, struct, sys, zlib
path, w, h, c = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(w * h + c)
raw = b"".join(b"\0" + bytes(random.randrange(256) for _ in range(w * c)) for _ in range(h))
def chunk(t, d): return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
ctype = {3: 2, 4: 6}[c]
open(path, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, ctype, 0, 0, 0))
                       + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
PY
}
png_pixels() {  # the decoded pixel bytes of an 8-bit PNG, as hex
  python3 - "$1" <<'PY'
import struct, sys, zlib
d = open(sys.argv[1], "rb").read()
pos, idat, w, h, bpp = 8, b"", 0, 0, 0
while pos < len(d):
    n, t = struct.unpack(">I4s", d[pos:pos + 8])
    body = d[pos + 8:pos + 8 + n]
    if t == b"IHDR":
        w, h = struct.unpack(">II", body[:8])
        bpp = {0: 1, 2: 3, 4: 2, 6: 4}[body[9]]
    elif t == b"IDAT":
        idat += body
    pos += 12 + n
raw, out, prev = zlib.decompress(idat), bytearray(), bytearray(w * bpp)
for y in range(h):
    f, row = raw[y * (w * bpp + 1)], bytearray(raw[y * (w * bpp + 1) + 1:(y + 1) * (w * bpp + 1)])
    for i in range(len(row)):
        a = row[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        p = a + b - c
        pred = [0, a, b, (a + b) // 2,
                a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][f]
        row[i] = (row[i] + pred) & 255
    out += row
    prev = row
print(w, h, bpp, out.hex())
PY
}
if command -v python3 >/dev/null; then
  for c in 3 4; do
    cin="$dir/colour$c.png"
    make_png "$cin" 13 7 "$c"
    want_type=$([ "$c" = 3 ] && echo 2 || echo 6)
    while IFS='|' read -r what args size; do
      # shellcheck disable=SC2086
      expect_good "$what, $c channels" $args "$cin" "$dir/out.png"
      [ "$(png_colour_type "$dir/out.png")" = "$want_type" ] ||
        { echo "FAIL $what, $c channels: colour type $(png_colour_type "$dir/out.png"), expected $want_type"; fail=1; }
      [ "$(png_size "$dir/out.png")" = "$size" ] ||
        { echo "FAIL $what, $c channels: size $(png_size "$dir/out.png"), expected $size"; fail=1; }
    done <<'TABLE'
transpose|transpose|7 13
rotate 90|rotate --degrees=90|7 13
rotate 180|rotate --degrees=180|13 7
rotate 270 on the gpu path|--gpu rotate --degrees=270|7 13
gaussian3x3|gaussian3x3 --border=renormalised|13 7
gaussian3x3 on the gpu path|--gpu gaussian3x3 --border=zero|13 7
resize|resize --width=6 --height=5|6 5
resize, nearest up|resize --width=30 --height=9 --interpolation=none|30 9
scale_down|scale_down --factor=2|6 3
scale_down on the gpu path|--gpu scale_down --factor=3|4 2
scale_down_box on the gpu path|--gpu scale_down_box --width=9 --height=5|9 5
upscale_lanczos|upscale_lanczos --width=20 --height=9|20 9
warp_affine|warp_affine --degrees=10|13 7
warp_affine on the gpu path|--gpu warp_affine --degrees=-20 --interpolation=bicubic|13 7
TABLE
    "$tool" rotate "$cin" "$dir/half.png" --degrees=180 >/dev/null 2>&1 &&
      "$tool" --gpu rotate "$dir/half.png" "$dir/whole.png" --degrees=180 >/dev/null 2>&1
    if [ -s "$dir/whole.png" ] && [ "$(png_pixels "$cin")" = "$(png_pixels "$dir/whole.png")" ]; then
      echo "ok   rotate 180 twice (CPU, then GPU path) gives the $c-channel input back"
    else
      echo "FAIL rotate 180 twice does not give the $c-channel input back"; fail=1
    fi
  done
fi

# After a successful --gpu command the device line is printed; after a
# failure nothing follows the error line.
"$tool" --gpu resize "$in" "$dir/out.png" --width=8 >"$dir/stdout" 2>"$dir/stderr"
grep -q "ran\|no OpenCL device" "$dir/stdout" || { echo "FAIL --gpu: no device line"; fail=1; }

# The usage shows the file arguments by name, not CLI11's counts.
if "$tool" resize --help 2>&1 | grep -q '(0x)\|files('; then
  echo "FAIL usage shows the positional's counts: $("$tool" resize --help 2>&1 | grep -m1 files)"; fail=1
fi

# The demo lists its results (file, operation, path, time) for the labelled
# contact sheet.
if "$tool" demo --out="$dir/demo" >/dev/null 2>&1; then
  rows=$(tail -n +2 "$dir/demo/demo.tsv" | wc -l)
  missing=0
  while IFS=$'\t' read -r file op path ms; do
    [ -s "$dir/demo/$file" ] && [ -n "$op" ] || missing=1
    case "$path" in cpu|gpu|-) ;; *) missing=1 ;; esac
  done < <(tail -n +2 "$dir/demo/demo.tsv")
  if [ "$(head -1 "$dir/demo/demo.tsv")" != $'file\toperation\tpath\tms' ] || [ "$rows" -lt 20 ] || [ "$missing" -ne 0 ]; then
    echo "FAIL demo.tsv: $rows rows"; head -3 "$dir/demo/demo.tsv"; fail=1
  else
    echo "ok   demo lists $rows results"
  fi
else
  echo "FAIL demo"; fail=1
fi

"$tool" --help >/dev/null 2>&1 || { echo "FAIL --help"; fail=1; }
exit $fail

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

# expect_bad <what> args...: status 2, one stderr line, no output file.
expect_bad() {
  local what="$1"; shift
  rm -f "$dir/out.png"
  "$tool" "$@" >"$dir/stdout" 2>"$dir/stderr"
  local rc=$?
  local lines
  lines=$(wc -l <"$dir/stderr")
  if [ "$rc" -ne 2 ] || [ "$lines" -ne 1 ]; then
    echo "FAIL $what: status $rc, $lines stderr lines:"; cat "$dir/stderr"; fail=1
  elif [ -e "$dir/out.png" ]; then
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

expect_good() {
  local what="$1"; shift
  rm -f "$dir/out.png"
  "$tool" "$@" >"$dir/stdout" 2>"$dir/stderr"
  local rc=$?
  if [ "$rc" -ne 0 ] || [ ! -s "$dir/out.png" ]; then
    echo "FAIL $what: status $rc"; cat "$dir/stderr"; fail=1
  else
    echo "ok   $what"
  fi
}

expect_bad_naming "negative width" --width resize "$in" "$dir/out.png" --width=-5
expect_bad_naming "angle not a number" --angle warp "$in" "$dir/out.png" --angle=abc
expect_bad_naming "width 0" --width resize "$in" "$dir/out.png" --width=0 --height=5
expect_bad_naming "unknown option" --colour resize "$in" "$dir/out.png" --colour=red
expect_bad_naming "trailing characters" --height resize "$in" "$dir/out.png" --height=12px
expect_bad_naming "width beyond the range" --width resize "$in" "$dir/out.png" --width=99999999999
expect_bad_naming "rotation not a quarter turn" --angle rotate "$in" "$dir/out.png" --angle=45
expect_bad_naming "mode out of range" --mode resize "$in" "$dir/out.png" --mode=3
expect_bad_naming "connectivity" --conn floodfill "$in" "$dir/out.png" --conn=6
expect_bad_naming "seed outside" --x floodfill "$in" "$dir/out.png" --x=16 --y=0
expect_bad_naming "raw size" --size nv21-rgba "$dir/in.nv21" "$dir/out.png" --size=7x5
expect_bad_naming "factor 0" --factor scaledown "$in" "$dir/out.png" --factor=0
expect_bad_naming "up-scale smaller" --width upscale "$in" "$dir/out.png" --width=8
expect_bad_naming "missing output" "file arguments" resize "$in"
expect_bad_naming "unknown command" frobnicate frobnicate "$in" "$dir/out.png"
expect_bad "no command"
expect_bad "missing input file" resize "$dir/none.png" "$dir/out.png"
expect_bad "gpu and cpu together" --gpu --cpu resize "$in" "$dir/out.png"

expect_good "resize to both sides" resize "$in" "$dir/out.png" --width=7 --height=20
if ! head -c 64 "$dir/out.png" | grep -q 'PNG'; then echo "FAIL resize: not a PNG"; fail=1; fi
expect_good "rotate 270" rotate "$in" "$dir/out.png" --angle=270
expect_good "warp on the gpu path" --gpu warp "$in" "$dir/out.png" --angle=-12.5 --interp=cubic
expect_good "floodfill" floodfill "$in" "$dir/out.png" --x=3 --y=4 --conn=8

# --width/--height set both axes: the written PNG has the asked size.
"$tool" resize "$in" "$dir/out.png" --width=7 --height=20 >/dev/null 2>&1
size=$(od -An -tu1 -j16 -N8 "$dir/out.png" | tr -s ' ' | sed 's/^ //')
if [ "$size" != "0 0 0 7 0 0 0 20" ]; then echo "FAIL resize size: $size"; fail=1; fi

"$tool" --help >/dev/null 2>&1 || { echo "FAIL --help"; fail=1; }
exit $fail

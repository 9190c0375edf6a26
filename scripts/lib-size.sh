#!/usr/bin/env bash
# lib-size.sh [build-dir...]: the size of libmira.so for each target and the
# names it exports, so that growth of the library or of its exported surface
# is visible. Without arguments it looks at build (host), build-arm64 and
# build-android, whichever exist.
#
# Output: one size line per target, the exported names counted by kind, then
# the union of all exported names (demangled), one per line, with one column
# per target: "x" where that target exports the name, "-" where it does not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dirs=("$@")
[ ${#dirs[@]} -eq 0 ] && dirs=("$root/build" "$root/build-arm64" "$root/build-android")
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# binutils for an ELF file: the cross tools for AArch64, the host's otherwise.
tool_for() {  # tool_for <lib> <tool>
  local machine
  machine=$(readelf -h "$1" | sed -n 's/^ *Machine: *//p')
  case "$machine" in
    *AArch64*) for t in aarch64-linux-gnu-$2 aarch64-linux-android-$2 llvm-$2 "$2"; do
                 command -v "$t" >/dev/null && { echo "$t"; return; }; done ;;
  esac
  echo "$2"
}

names=()
printf '%-16s %-10s %12s %12s %10s %10s %10s\n' target machine file stripped text data bss
for d in "${dirs[@]}"; do
  lib="$d/libmira.so"
  [ -e "$lib" ] || continue
  lib=$(readlink -f "$lib")
  name=$(basename "$d")
  machine=$(readelf -h "$lib" | sed -n 's/^ *Machine: *//p' | awk '{print $NF}')
  strip_tool=$(tool_for "$lib" strip); nm_tool=$(tool_for "$lib" nm); size_tool=$(tool_for "$lib" size)
  "$strip_tool" -o "$tmp/stripped.so" "$lib"
  read -r text data bss _ < <("$size_tool" "$lib" | tail -1)
  printf '%-16s %-10s %12d %12d %10d %10d %10d\n' "$name" "$machine" \
    "$(stat -c %s "$lib")" "$(stat -c %s "$tmp/stripped.so")" "$text" "$data" "$bss"
  "$nm_tool" -D --defined-only "$lib" | awk '{print $3}' |
    grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u > "$tmp/$name.syms"
  names+=("$name")
done
if [ ${#names[@]} -eq 0 ]; then
  echo "no libmira.so found in: ${dirs[*]}" >&2
  exit 1
fi

echo
printf '%-16s %8s %6s %8s %6s %6s %8s %6s\n' target exported ncv mira:: MIRA_ ZOR halide_ other
for n in "${names[@]}"; do
  f="$tmp/$n.syms"
  count() { grep -c -E "$1" "$f" || true; }
  total=$(wc -l < "$f")
  ncv=$(count '^ncv'); mira=$(count '^_ZN4mira'); cls=$(count '^_Z.*MIRA_')
  zor=$(count '^_Z.*(3ZOR|zor_|ZOR_)'); hal=$(count '^halide_')
  printf '%-16s %8d %6d %8d %6d %6d %8d %6d\n' "$n" "$total" "$ncv" "$mira" "$cls" "$zor" "$hal" \
    $((total - ncv - mira - cls - zor - hal))
done

echo
echo "exported names (columns: ${names[*]})"
cat "$tmp"/*.syms | sort -u > "$tmp/all"
while read -r sym; do
  marks=""
  for n in "${names[@]}"; do
    if grep -qxF "$sym" "$tmp/$n.syms"; then marks+="x "; else marks+="- "; fi
  done
  printf '%s %s\n' "$marks" "$(c++filt "$sym")"
done < "$tmp/all"

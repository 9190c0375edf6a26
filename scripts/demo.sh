#!/usr/bin/env bash
# The demo: installs what is missing, builds, and runs every operation on the
# bundled sample photo. Results (PNG files and a contact sheet labelled with
# each operation, its path and time) go to demo-out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# A new build directory skips the benchmarks (faster); an existing one keeps
# its configuration (the test command's, benchmarks included).
if [ -f "$root/build/CMakeCache.txt" ]; then
  "$root/scripts/build.sh" "$root/build"
else
  "$root/scripts/build.sh" "$root/build" -DMIRA_BUILD_BENCH=OFF
fi
cd "$root"
"$root/build/tools/mira" demo "$@"
# The labelled contact sheet (Pillow) over the tool's plain one.
out=demo-out
for a in "$@"; do case "$a" in --out=*) out="${a#--out=}" ;; esac; done
/usr/bin/python3 "$root/tools/contact_sheet.py" "$out"

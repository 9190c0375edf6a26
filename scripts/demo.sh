#!/usr/bin/env bash
# The demo: installs what is missing, builds, and runs every operation on the
# bundled sample photo. Results (PNG files and a contact sheet) go to demo-out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" -DMIRA_BUILD_BENCH=OFF
cd "$root"
"$root/build/tools/mira" demo "$@"

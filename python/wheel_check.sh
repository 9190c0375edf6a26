#!/usr/bin/env bash
# Builds a wheel of the mira package from the source tree with pip (through
# pyproject.toml and setup.py, reusing the configured build folder), installs
# it into a scratch virtual environment and imports it from elsewhere: the
# module and the libmira it runs on must both come from the environment.
# usage: wheel_check.sh <source tree> <build folder> <python>
set -euo pipefail
src="$1"; build="$2"; python="$3"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
MIRA_CMAKE_BUILD_DIR="$build" "$python" -m pip wheel --no-build-isolation --no-deps -q \
  -w "$work/dist" "$src" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
wheel=$(ls "$work"/dist/mira-*.whl)
"$python" -m venv --system-site-packages "$work/env"
"$work/env/bin/pip" install --no-deps --no-index -q "$wheel"
cd "$work"
env -i PATH=/usr/bin:/bin "$work/env/bin/python" -c '
import sys, numpy as np, mira
env = sys.argv[1]
assert mira.__file__.startswith(env), mira.__file__
lib = mira._library_path()
assert lib.startswith(env), lib
a = np.arange(6, dtype=np.uint8).reshape(2, 3)
assert (mira.transpose(a) == a.T).all()
print("wheel", sys.argv[2], "ok:", mira.__file__, lib)
' "$work/env/" "$(basename "$wheel")"

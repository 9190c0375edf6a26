#!/usr/bin/env bash
# Installs the build into a scratch prefix and imports the installed mira
# package with a clean environment: the package must sit where PYTHONPATH
# names the prefix's site directory, and its extension must find the
# installed libmira through its RPATH (not the build tree's).
set -euo pipefail
build="$1"; python="$2"; sitedir="$3"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
case "$sitedir" in /*) site="$sitedir" ;; *) site="$work/prefix/$sitedir" ;; esac
test -f "$site/mira/__init__.py" && test -f "$site/mira/__init__.pyi"
cd "$work"
env -i PATH=/usr/bin:/bin PYTHONPATH="$site" "$python" -c '
import sys, numpy as np, mira
lib = mira._library_path()
assert lib.startswith(sys.argv[1]), lib
a = np.arange(6, dtype=np.uint8).reshape(2, 3)
assert (mira.transpose(a) == a.T).all()
print("installed mira ok:", mira.__file__, lib)
' "$work/prefix/"

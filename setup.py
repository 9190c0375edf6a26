"""Builds the mira package with the project's CMake: configures a release
build of the library and the extension (no tests, benchmarks or tool),
installs it into a staging folder and ships the package with libmira.so.1
beside its extension.

Environment:
  MIRA_CMAKE_BUILD_DIR  an already configured build folder to use (and build
                        incrementally) instead of a fresh one under build-wheel/
  MIRA_CMAKE_ARGS       further arguments for a fresh configure
"""

import os
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

ROOT = Path(__file__).resolve().parent


def _run(cmd):
    print("+", " ".join(shlex.quote(str(c)) for c in cmd), flush=True)
    subprocess.run([str(c) for c in cmd], check=True)


class BuildWithCMake(build_py):
    def run(self):
        build = os.environ.get("MIRA_CMAKE_BUILD_DIR")
        if build:
            build = Path(build).resolve()
        else:
            build = ROOT / "build-wheel" / "cmake"
            args = ["-DCMAKE_BUILD_TYPE=Release", "-DMIRA_BUILD_TESTS=OFF",
                    "-DMIRA_BUILD_BENCH=OFF", "-DMIRA_BUILD_TOOLS=OFF",
                    "-DMIRA_BUILD_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}"]
            args += shlex.split(os.environ.get("MIRA_CMAKE_ARGS", ""))
            _run(["cmake", "-S", ROOT, "-B", build] + args)
        jobs = str(os.cpu_count() or 2)
        _run(["cmake", "--build", build, "-j", jobs, "--target", "mira", "mira_python",
              "mira_python_files"])
        # The package as the build assembles it, and the library it links.
        pkg = build / "python" / "mira"
        lib = build / "libmira.so.1"
        if not (pkg / "__init__.py").is_file() or not lib.is_file():
            raise RuntimeError(f"the build in {build} made no mira package or libmira.so.1")
        src = ROOT / "build-wheel-src" / "mira"
        shutil.rmtree(src, ignore_errors=True)
        src.mkdir(parents=True)
        for f in pkg.iterdir():
            if f.is_file() and (f.suffix in (".py", ".pyi", ".so") or f.name == "py.typed"):
                shutil.copy2(f, src / f.name)
        # (the package loads it before its extension: see mira/__init__.py)
        shutil.copy2(lib.resolve(), src / "libmira.so.1")
        super().run()


class BinaryDistribution(Distribution):
    """The wheel holds compiled code: it is tagged for this platform."""

    def has_ext_modules(self):
        return True


# setuptools' own work folders stay out of the CMake build folders; the
# package folder exists (empty) before build_py fills it.
(ROOT / "build-wheel").mkdir(exist_ok=True)
(ROOT / "build-wheel-src" / "mira").mkdir(parents=True, exist_ok=True)

setup(
    options={"build": {"build_base": "build-wheel/setuptools"},
             "egg_info": {"egg_base": "build-wheel"}},
    cmdclass={"build_py": BuildWithCMake},
    distclass=BinaryDistribution,
    package_data={"mira": ["*.so", "*.so.1", "*.pyi", "py.typed"]},
)

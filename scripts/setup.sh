#!/usr/bin/env bash
# Installs every Debian package the build, tests, benchmarks and tools need.
# Idempotent: installs only what is missing.
set -euo pipefail
PACKAGES=(
  cmake g++ clang make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libsimde-dev
  libhalide14-0-dev libjpeg-dev libpng-dev
  opencl-headers ocl-icd-libopencl1 ocl-icd-opencl-dev pocl-opencl-icd
  libcli11-dev
  libopencv-core-dev libopencv-imgproc-dev libyuv-dev
  libclang-rt-14-dev
  doxygen
  pybind11-dev python3-dev python3-numpy python3-opencv python3-pytest python3-pil
  python3-pip python3-venv python3-setuptools python3-wheel
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

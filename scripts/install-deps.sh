#!/usr/bin/env bash
# Installs, only when missing, every Debian package the project needs to
# build, test and run (with --fuzz: also what scripts/fuzz.sh needs). Works
# as root or through sudo.
set -euo pipefail

PACKAGES=(
  g++ make cmake pkg-config
  libgsl-dev
  libopenblas-dev liblapack-dev
  libarpack2-dev
  libsuitesparse-dev
  libcairo2-dev
  libpng-dev
  libhts-dev
  libgdal-dev
  # gdalinfo: the tests read the predicted GeoTIFF back with it, as a user would.
  gdal-bin
  fonts-liberation
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  time
  poppler-utils
  parallel
  # The tests read the result tables back with R and Python as a user
  # would (read.delim, csv.reader).
  r-base-core
  python3
  # The study's report.html is opened in a real browser by its test.
  chromium
)

# The fuzzing harnesses (scripts/fuzz.sh, opt-in) need clang and its
# libFuzzer runtime; the build and the tests do not.
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=(clang libclang-rt-dev)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# Usage: ./test.sh            (release build in build/)
#        BRELO_SANITIZE=ON ./test.sh   (AddressSanitizer + UBSan build in build-asan/)
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

SANITIZE="${BRELO_SANITIZE:-OFF}"
BUILD_DIR=build
# The benchmarks are built too (not run), so that they never fall behind the
# code; the sanitized build leaves them to the release one.
BENCH=ON
# The long statistical checks of the samplers (label sampler-checks) prove
# laws, not memory safety: the same code runs under the sanitizers in every
# other test, so the sanitized pass leaves them to the release one.
CTEST_ARGS=()
if [ "$SANITIZE" = "ON" ]; then
  BUILD_DIR=build-asan
  BENCH=OFF
  CTEST_ARGS=(-LE sampler-checks)
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DBRELO_SANITIZE="$SANITIZE" -DBRELO_BENCH="$BENCH"
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
ctest --output-on-failure -j2 "${CTEST_ARGS[@]}"

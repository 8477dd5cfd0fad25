#!/usr/bin/env bash
# Installs the packages, builds everything and runs the whole default test suite, then builds the
# engine once more under AddressSanitizer and UndefinedBehaviorSanitizer and runs its tests again.
# Long stress and fuzz runs carry the CTest label "slow" and are skipped; run them with
#   ctest --test-dir build -L slow
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build -LE slow --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIZ_SANITIZE=ON -DVIZ_ENGINE_ONLY=ON -DVIZ_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -LE slow --output-on-failure -j "$jobs"

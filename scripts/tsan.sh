#!/usr/bin/env bash
# Builds the suite under ThreadSanitizer and runs the tests that decode
# with several threads. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVX_SANITIZE_THREAD=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" --target qvx_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j"$(nproc)" -R "${QVX_TSAN_TESTS:-Thread|Regression}" "$@"

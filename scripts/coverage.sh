#!/usr/bin/env bash
# Builds the suite with gcov instrumentation in build-cov, runs it, and
# prints the line and branch coverage of src/ per file. An HTML report with
# the source lines goes to build-cov/coverage/index.html. Extra arguments go
# to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh gcovr
flags="--coverage -fprofile-update=atomic"
cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVX_BUILD_PYTHON=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build build-cov -j"$(nproc)"
find build-cov -name '*.gcda' -delete
# Left out: the installed-package host (built without instrumentation) and
# the export list of the shared library (instrumentation adds symbols).
ctest --test-dir build-cov -j"$(nproc)" -E 'InstallPackage|SharedLibraryExportsOnlyTheInterface' "$@" \
  >build-cov/ctest.log || {
  tail -n 30 build-cov/ctest.log
  echo "coverage: some tests failed (build-cov/ctest.log); the figures below are from the tests that ran"
}
mkdir -p build-cov/coverage
common=(-r . --object-directory build-cov --filter 'src/' --exclude-throw-branches --exclude-unreachable-branches
  -j "$(nproc)")
gcovr "${common[@]}" --html-details build-cov/coverage/index.html >/dev/null
echo "== lines =="
gcovr "${common[@]}" --sort-percentage
echo "== branches =="
gcovr "${common[@]}" --branches --sort-percentage

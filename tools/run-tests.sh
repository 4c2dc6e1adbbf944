#!/usr/bin/env bash
# Sets everything up, builds the test build (AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs the whole default test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

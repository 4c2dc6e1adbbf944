#!/usr/bin/env bash
# Sets everything up, builds the release program into build/ and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset release
cmake --build --preset release
build/bin/tamborel machines

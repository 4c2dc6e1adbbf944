#!/usr/bin/env bash
# Sets everything up, builds the release program into build/ and renders the demo song to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset release
cmake --build --preset release
build/bin/tamborel render examples/demo.tbp -o demo.wav

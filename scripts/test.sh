#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
# Twice as many tests as cores: many of them wait on the tool, the browser or a
# packaging step rather than compute.
ctest --test-dir build --output-on-failure -j "$((2 * $(nproc)))"

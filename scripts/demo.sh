#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the corvane host on a bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
./build/corvane run "${1:-examples/records/mark-as-vital.json}"

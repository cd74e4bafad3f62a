#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the product (windows
# preset) and the host build with its unit tests, then runs the unit tests
# and the end-to-end tests under Wine through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh

cmake --preset windows
cmake --build --preset windows
cmake --preset host
cmake --build --preset host

ctest --preset host -j "$(nproc)"

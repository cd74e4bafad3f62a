#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the product (windows
# preset) and the host build with its unit tests, then runs the unit tests
# and the end-to-end tests under Wine through ctest. Then the host build
# again under AddressSanitizer and UndefinedBehaviorSanitizer (clang): its
# unit tests, the property test over random hostile machines included, and
# each fuzzer for a bounded time (CM_FUZZ_SECONDS, 25 s by default).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh

cmake --preset windows
cmake --build --preset windows
cmake --preset host
cmake --build --preset host

ctest --preset host -j "$(nproc)"

cmake --preset host-sanitize ${CM_FUZZ_SECONDS:+-DCM_FUZZ_SECONDS=$CM_FUZZ_SECONDS}
cmake --build --preset host-sanitize
ctest --preset host-sanitize -j "$(nproc)"

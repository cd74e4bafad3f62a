#!/usr/bin/env bash
# Builds the example NSIS installer with makensis (Debian package nsis) from
# the windows preset's output (cmake --preset windows && cmake --build
# --preset windows).
# Usage: examples/nsis/build.sh [OUTPUT.exe [VERSION]]
#   default: build/windows/examples/vantorel-drive-1.0.0.exe
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${CM_BUILD:-$here/../../build/windows}
version=${2:-1.0.0}
out=$(realpath -m "${1:-$build/examples/vantorel-drive-$version.exe}")
mkdir -p "$(dirname "$out")"
makensis -V2 -NOCD \
  -DTOOL_EXE="$build/client-maintenance.exe" \
  -DCLIENT_EXE="$build/examples/client/pretend-client.exe" \
  -DVERSION="$version" -DOUTFILE="$out" \
  "$here/vantorel-drive.nsi"
echo "$out"

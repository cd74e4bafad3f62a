#!/usr/bin/env bash
# Builds the example MSI with wixl (Debian package wixl) from the windows
# preset's output (cmake --preset windows && cmake --build --preset windows).
# Usage: examples/msi/build.sh [OUTPUT.msi [VERSION]]
#   default: build/windows/examples/vantorel-drive-1.0.0.msi
# Each version gets a new product code; a higher version replaces a lower one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${CM_BUILD:-$here/../../build/windows}")
version=${2:-1.0.0}
out=$(realpath -m "${1:-$build/examples/vantorel-drive-$version.msi}")
mkdir -p "$(dirname "$out")"
# wixl finds source files only by paths relative to its current folder.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$here/vantorel-drive.wxs" "$build/examples/client/pretend-client.exe" \
  "$build/examples/msi/custom-action/client-maintenance-ca.dll" "$stage/"
(cd "$stage" && wixl -a x64 -D Version="$version" -D ClientExe=pretend-client.exe \
  -D CustomActionDll=client-maintenance-ca.dll -o "$out" vantorel-drive.wxs)
echo "$out"

#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is
# missing. Sourced or run by demo.sh and test.sh; safe to run again.
set -euo pipefail

CM_PACKAGES=(
  cmake ninja-build g++ make            # host build
  googletest libgtest-dev               # unit tests
  g++-mingw-w64-x86-64-posix            # the product's cross compiler (with binutils and windres)
  binutils-mingw-w64-x86-64
  wine wine64                           # end-to-end tests and the demo
  liblnk-utils                          # lnkinfo: an independent reader of .lnk files
  nsis wixl                             # the installer examples
  clang libclang-rt-14-dev              # fuzzing and sanitizers
  osslsigncode openssl                  # Authenticode signing (scripts/sign.sh) and its test certificate
  procps file binutils                  # pgrep, file, strings in the tests
)

missing=()
for p in "${CM_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "error: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    SUDO=sudo
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Fail loudly if anything needed is still absent.
for tool in cmake ninja g++ x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres x86_64-w64-mingw32-objdump \
            wine wineserver wineboot winedbg lnkinfo makensis wixl clang++-14 strings flock \
            osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "error: $tool is missing after installation" >&2; exit 1; }
done

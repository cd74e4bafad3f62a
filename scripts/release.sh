#!/usr/bin/env bash
# Makes the release folder an installer project takes the tool from: builds
# client-maintenance.exe with the windows preset and leaves in OUT_DIR
# (default build/release):
#   client-maintenance.exe  signed when a certificate is given
#   SHA256SUMS              its checksum, for sha256sum -c
#   RELEASE.txt             version, build commit, source date, signer, and
#                           the checksum of the exe before signing
#
#   scripts/release.sh [--pkcs12 FILE [--password-env VAR] [--timestamp URL]] [OUT_DIR]
#
# The signing options are those of scripts/sign.sh. SOURCE_DATE_EPOCH, when
# not set, is the commit's time; it is the time of the files in OUT_DIR and
# the signing time of a signature without a time-stamp server.
set -euo pipefail

usage() {
  sed -n '2,10s/^# \{0,1\}//p' "$0" >&2
  exit 2
}
die() {
  echo "release.sh: $*" >&2
  exit 1
}

sign_args=() pkcs12="" timestamp=""
while (($#)); do
  case $1 in
    --pkcs12) (($# >= 2)) || usage; pkcs12=$(realpath -m "$2"); sign_args+=("$1" "$pkcs12"); shift 2 ;;
    --password-env) (($# >= 2)) || usage; sign_args+=("$1" "$2"); shift 2 ;;
    --timestamp) (($# >= 2)) || usage; timestamp=$2; sign_args+=("$1" "$2"); shift 2 ;;
    -h | --help) usage ;;
    -*) echo "release.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
(($# <= 1)) || usage
((${#sign_args[@]} == 0)) || [ -n "$pkcs12" ] || die "--password-env and --timestamp go with --pkcs12"
out=${1:+$(realpath -m "$1")}
cd "$(dirname "$0")/.."
out=${out:-$PWD/build/release}

./scripts/deps.sh

commit=$(git rev-parse HEAD 2>/dev/null) || die "not a git checkout: no build commit to record"
[ -z "$(git status --porcelain)" ] || commit="$commit-dirty"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

cmake --preset windows >/dev/null
cmake --build --preset windows --target client-maintenance
exe=build/windows/client-maintenance.exe
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
[ -n "$version" ] || die "no project version in build/windows/CMakeCache.txt"

mkdir -p "$out"
rm -f "$out/client-maintenance.exe" "$out/SHA256SUMS" "$out/RELEASE.txt"
cp "$exe" "$out/client-maintenance.exe"
unsigned_sum=$(sha256sum "$exe" | cut -d' ' -f1)
signed="no"
if [ -n "$pkcs12" ]; then
  ./scripts/sign.sh "${sign_args[@]}" "$out/client-maintenance.exe" "$out/client-maintenance.exe"
  # The signer as the signature names it (osslsigncode prints the signer's
  # certificate first; the exit code tells about trust, not wanted here).
  subject=$(osslsigncode verify -in "$out/client-maintenance.exe" 2>/dev/null |
    awk '/Signer.s certificate:/ { found = 1 } found && /Subject:/ { sub(/^[ \t]*Subject: */, ""); print; exit }' || true)
  if [ -n "$timestamp" ]; then
    signed="yes, by $subject, time-stamped by $timestamp"
  else
    signed="yes, by $subject, not time-stamped"
  fi
fi
(cd "$out" && sha256sum client-maintenance.exe >SHA256SUMS)

toolchain=$(dpkg-query -W -f='${Package} ${Version}, ' g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 ${pkcs12:+osslsigncode})
cat >"$out/RELEASE.txt" <<EOF
Product:          client-maintenance.exe, Vantorel Drive client maintenance tool
Version:          $version
Commit:           $commit
Source date:      $SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))
Toolchain:        ${toolchain%, }
Signed:           $signed
SHA-256:          $(cut -d' ' -f1 "$out/SHA256SUMS")
Unsigned SHA-256: $unsigned_sum
EOF
touch -d "@$SOURCE_DATE_EPOCH" "$out/client-maintenance.exe" "$out/SHA256SUMS" "$out/RELEASE.txt"
cat "$out/RELEASE.txt"
echo "release folder: $out"

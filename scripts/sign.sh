#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256) using osslsigncode.
#   scripts/sign.sh --pkcs12 FILE [--password-env VAR] [--timestamp URL] IN.exe OUT.exe
#
#   --pkcs12 FILE       the code-signing certificate with its private key (.pfx/.p12)
#   --password-env VAR  the name of the environment variable holding FILE's
#                       password; the password is handed to osslsigncode
#                       through a pipe, never on a command line
#   --timestamp URL     an RFC 3161 time-stamp server: the signature then stays
#                       valid after the certificate expires
#
# OUT.exe is IN.exe with the signature appended (osslsigncode
# remove-signature gives IN.exe back byte for byte); IN.exe may be OUT.exe.
# Without a time-stamp server the signing time written into the signature is
# SOURCE_DATE_EPOCH when that is set, so the same bytes signed with the same
# key by the same osslsigncode give the same signed bytes. A time-stamp never
# repeats.
set -euo pipefail

usage() {
  sed -n '2,11s/^# \{0,1\}//p' "$0" >&2
  exit 2
}
die() {
  echo "sign.sh: $*" >&2
  exit 1
}

pkcs12="" password_env="" timestamp=""
while (($#)); do
  case $1 in
    --pkcs12) (($# >= 2)) || usage; pkcs12=$2; shift 2 ;;
    --password-env) (($# >= 2)) || usage; password_env=$2; shift 2 ;;
    --timestamp) (($# >= 2)) || usage; timestamp=$2; shift 2 ;;
    -h | --help) usage ;;
    --) shift; break ;;
    -*) echo "sign.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
(($# == 2)) && [ -n "$pkcs12" ] || usage
in=$1 out=$2

command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/deps.sh installs it)"
[ -f "$pkcs12" ] || die "no certificate file $pkcs12"
[ -f "$in" ] || die "no file $in"
if [ -n "$password_env" ]; then
  [[ $password_env =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || die "--password-env takes a variable name, not $password_env"
  [ -n "${!password_env+set}" ] || die "the environment variable $password_env is not set"
fi

args=(sign -h sha256 -pkcs12 "$pkcs12")
if [ -n "$timestamp" ]; then
  args+=(-ts "$timestamp")
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  args+=(-time "$SOURCE_DATE_EPOCH")
fi

# Signed into a temporary file beside OUT.exe, then moved over it: a failed
# signing leaves no half-written OUT.exe, and IN.exe may be OUT.exe.
tmp=$(mktemp "$(dirname "$out")/.sign.XXXXXX")
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp" # osslsigncode writes the output file itself
if [ -n "$password_env" ]; then
  osslsigncode "${args[@]}" -readpass <(printf '%s' "${!password_env}") -in "$in" -out "$tmp" >/dev/null
else
  osslsigncode "${args[@]}" -in "$in" -out "$tmp" >/dev/null
fi
chmod --reference="$in" "$tmp"
mv -f "$tmp" "$out"

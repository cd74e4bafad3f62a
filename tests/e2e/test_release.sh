#!/usr/bin/env bash
# The release artefact: reproducible bytes, a signature osslsigncode verifies
# that leaves them as they were, the release folder, and the end-to-end tests
# that run the tool directly passing on the signed exe.
source "$(dirname "$0")/lib.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/cm-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Another source folder, another build folder, another time.
copy=$work/elsewhere/source
mkdir -p "$copy/tests/e2e"
cp -a "$CM_REPO"/{CMakeLists.txt,CMakePresets.json,cmake,res,src,examples,bench} "$copy/"
cp -a "$CM_REPO/tests/e2e/programs" "$copy/tests/e2e/"
cp -a "$CM_REPO/tests/fscheck" "$copy/tests/"
(cd "$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows --target client-maintenance >/dev/null)
ok "a build in another folder gives the same bytes" cmp "$CM_EXE" "$copy/build/windows/client-maintenance.exe"

# A throwaway certificate, the verification's one trust anchor: it checks the signature and its key.
export CM_TEST_PFX_PASSWORD="throwaway $RANDOM" SOURCE_DATE_EPOCH=1700000000
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Client Maintenance Test Signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout env:CM_TEST_PFX_PASSWORD
signed=$work/signed.exe
ok "sign.sh signs" "$CM_REPO/scripts/sign.sh" --pkcs12 "$work/cert.p12" --password-env CM_TEST_PFX_PASSWORD "$CM_EXE" "$signed"
verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" 2>&1)
ok "osslsigncode verifies the signature" grep -qx 'Signature verification: ok' <<<"$verify"
ok "SHA-256" grep -q '^Message digest algorithm *: SHA256' <<<"$verify"
osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null
ok "the signed exe without its signature is the unsigned one" cmp "$CM_EXE" "$work/unsigned.exe"

release=$work/release
ok "release.sh" "$CM_REPO/scripts/release.sh" --pkcs12 "$work/cert.p12" --password-env CM_TEST_PFX_PASSWORD "$release"
ok "SHA256SUMS" bash -c "cd '$release' && sha256sum --check --strict SHA256SUMS"
ok "the release's exe is sign.sh's (one key, one SOURCE_DATE_EPOCH)" cmp "$signed" "$release/client-maintenance.exe"
text=$(cat "$release/RELEASE.txt")
ok "release text: version" grep -qx "Version: *$CM_VERSION" <<<"$text"
ok "release text: commit" grep -Eqx "Commit: *$(git -C "$CM_REPO" rev-parse HEAD)(-dirty)?" <<<"$text"
ok "release text: signer" grep -q '^Signed: *yes, by /CN=Client Maintenance Test Signer' <<<"$text"
ok "release text: checksum before signing" grep -qx "Unsigned SHA-256: *$(sha256sum <"$CM_EXE" | cut -d' ' -f1)" <<<"$text"
readme=$(awk '/^```/ { if (b ~ /^Product:/) printf "%s", b; b = ""; next } { b = b $0 "\n" }' "$CM_REPO/README.md")
ok "the README's release text has the same fields" eq "$(cut -d: -f1 <<<"$readme")" "$(cut -d: -f1 <<<"$text")"

# The installer tests are left out: they take the tool from the build folder.
for script in "$CM_REPO"/tests/e2e/test_*.sh; do
  case ${script##*/} in test_release.sh | test_installer_*) continue ;; esac
  ok "${script##*/} on the signed exe" env CM_EXE="$release/client-maintenance.exe" bash "$script"
done

e2e_done

#!/usr/bin/env bash
# What an installer engineer checks before shipping a helper: one x64 GUI
# executable, no runtime DLLs beside it, a version resource and a manifest,
# and a small size.
source "$(dirname "$0")/lib.sh"

exe=$CM_EXE
ok "the product exists" test -f "$exe"
headers=$(x86_64-w64-mingw32-objdump -p "$exe")

ok "x64 image" grep -q 'file format pei-x86-64' <<<"$headers"
ok "GUI subsystem" grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"

# Only KnownDLLs: Windows maps those from the system folder whatever lies
# beside the executable. Any other DLL in the import table would be looked
# for in the executable's folder first, where an installer may have put the
# tool inside a user's writable temporary folder. The list is the part of
# the KnownDLLs registry key (Session Manager\KnownDLLs) that Windows 7 to 11
# all have, and ntdll, which every process maps before anything else.
known='^(ADVAPI32|COMDLG32|GDI32|IMAGEHLP|IMM32|KERNEL32|MSCTF|MSVCRT|NORMALIZ|NSI|OLE32|OLEAUT32|PSAPI|SETUPAPI|SHELL32|SHLWAPI|USER32|WLDAP32|WS2_32|NTDLL)\.DLL$'
imports=$(grep 'DLL Name:' <<<"$headers" | awk '{print toupper($3)}')
echo "imports:" $imports >&2
ok "imports some system DLLs" test -n "$imports"
for dll in $imports; do
  ok "import $dll is a KnownDLL" grep -Eq "$known" <<<"$dll"
done
for runtime in LIBSTDC++-6.DLL LIBGCC_S_SEH-1.DLL LIBWINPTHREAD-1.DLL; do
  ok "no $runtime" bash -c "! grep -qx '$runtime' <<<'$imports'"
done

# Unicode entry point: wWinMain is reached through the -municode start-up code.
ok "Unicode start-up code" bash -c "x86_64-w64-mingw32-objdump -x '$exe' | grep -q 'GetCommandLineW'"

# Room for the deepest folder tree a Windows path can hold (see CMakeLists.txt).
stack_hex=$(awk '/SizeOfStackReserve/ {print $2}' <<<"$headers")
stack=$((16#${stack_hex:-0}))
ok "stack reserve of at least 16 MB ($stack bytes)" test "${stack:-0}" -ge 16777216

size=$(stat -c %s "$exe")
echo "client-maintenance.exe: $size bytes" >&2
ok "at most 256 KB ($size bytes)" test "$size" -le 262144

# Version resource (UTF-16 strings) and manifest with project()'s version:
# the text as written there, numeric in four parts (a part not given is 0).
IFS=. read -r v1 v2 v3 v4 <<<"$CM_VERSION"
version4=$v1.${v2:-0}.${v3:-0}.${v4:-0}
strings16=$(strings -el "$exe")
ok "product name" grep -qx 'Vantorel Drive' <<<"$strings16"
ok "file description" grep -qx 'Vantorel Drive client maintenance tool' <<<"$strings16"
for name in FileVersion ProductVersion; do
  ok "$name text" eq "$(grep -A1 -x "$name" <<<"$strings16" | sed -n 2p)" "$CM_VERSION"
done
# VS_FIXEDFILEINFO: its signature 0xFEEF04BD, the structure version, then the
# file and the product version, each as 16-bit minor, major, tweak, patch.
fixed=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$exe" | head -n 1 | cut -d: -f1)
read -r f1 f2 f3 f4 p1 p2 p3 p4 < <(od -An -tu2 -j $((${fixed:-0} + 8)) -N 16 "$exe")
ok "numeric file version" eq "$f2.$f1.$f4.$f3" "$version4"
ok "numeric product version" eq "$p2.$p1.$p4.$p3" "$version4"
manifest=$(strings "$exe")
ok "manifest version" grep -q "<assemblyIdentity .* version=\"$version4\"" <<<"$manifest"
ok "the README's example release text has this version" grep -qx "Version: *$CM_VERSION" "$CM_REPO/README.md"
ok "manifest asks for asInvoker" grep -q 'level="asInvoker"' <<<"$manifest"
for id in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
          1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  ok "manifest supportedOS $id" grep -q "$id" <<<"$manifest"
done
ok "no debug symbols (stripped)" bash -c "! x86_64-w64-mingw32-objdump -h '$exe' | grep -q '\.debug'"

e2e_done

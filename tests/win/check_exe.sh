#!/usr/bin/env bash
# porvanta.exe is a PE32 i386 GUI program that imports only Windows system DLLs and carries a manifest.
set -euo pipefail
exe=$1
kind=$(file -b "$exe")
[[ $kind == "PE32 executable (GUI) Intel 80386"* ]] || { echo "not a PE32 i386 GUI exe: $kind"; exit 1; }
headers=$(i686-w64-mingw32-objdump -p "$exe")
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
echo "imports: $(echo $dlls)"
system='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|WININET|COMCTL32|msvcrt|SHLWAPI|UXTHEME|MSIMG32)\.dll$'
bad=$(grep -viE "$system" <<<"$dlls" || true)
[ -z "$bad" ] || { echo "non-system imports: $bad"; exit 1; }
# A resource of type 24 (RT_MANIFEST), id 1, that depends on Common Controls 6.
grep -q 'Entry: ID: 0x000018' <<<"$headers" || { echo "no manifest resource"; exit 1; }
grep -aq 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "$exe" || { echo "no Common Controls 6 dependency"; exit 1; }
echo ok

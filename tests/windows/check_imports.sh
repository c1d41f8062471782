#!/bin/bash
# Fails when the program imports a DLL that is not one of Windows' KnownDLLs
# (or ntdll, always loaded first): those are always taken from the system
# folder, any other would be looked for beside the program first.
# Usage: check_imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump="$1" program="$2"
known=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll
gdiplus.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll
ntdll.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll
shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "
imports="$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')"
[ -n "$imports" ] || { echo "FAIL: no import table read from $program"; exit 1; }
echo "imports of $(basename "$program"): $(echo $imports)"
for dll in $imports; do
    case "$known" in
        *[[:space:]]"$dll"[[:space:]]*) ;;
        *) echo "FAIL: $dll is not a known system DLL"; exit 1 ;;
    esac
done
echo "PASS: only known system DLLs are imported"

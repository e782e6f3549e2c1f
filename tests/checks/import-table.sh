#!/usr/bin/env bash
# The installer runs from download folders that may hold planted DLLs. Windows loads the DLLs
# it lists as known DLLs from the system folder only, so the import table may name only those;
# everything else is loaded at run time from the system folder.
#   import-table.sh OBJDUMP EXE...
set -euo pipefail
objdump=${1:?usage: import-table.sh OBJDUMP EXE...}
shift
known="advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32
msctf msvcrt normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32
shlwapi user32 wldap32 ws2_32"
status=0
for exe in "$@"; do
  dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || { echo "FAIL: $exe: no import table found"; status=1; continue; }
  for dll in $dlls; do
    base=${dll%.dll}
    if ! printf '%s\n' $known | grep -qx "$base"; then
      echo "FAIL: $exe imports $dll, which is not a known DLL"
      status=1
    fi
  done
  echo "$(basename "$exe") imports: $(echo $dlls)"
done
exit $status

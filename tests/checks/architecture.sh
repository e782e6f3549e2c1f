#!/usr/bin/env bash
# Each program of a Windows build is made for that build's processor, and so is the
# installer's manifest: x86 in the product's 32-bit build, amd64 in the 64-bit test build.
#   architecture.sh OBJDUMP i686|x86_64 EXE...
set -euo pipefail
objdump=${1:?usage: architecture.sh OBJDUMP i686|x86_64 EXE...}
arch=${2:?usage: architecture.sh OBJDUMP i686|x86_64 EXE...}
shift 2
case $arch in
i686) format=pei-i386 manifest=x86 ;;
x86_64) format=pei-x86-64 manifest=amd64 ;;
*) echo "architecture.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
status=0
for exe in "$@"; do
  found=$("$objdump" -f "$exe" | sed -n 's/.*file format \([^ ]*\).*/\1/p')
  if [ "$found" != "$format" ]; then
    echo "FAIL: $exe is $found, not $format"
    status=1
  fi
  # The installer's own identity in its manifest (the packer has none of its own). A packed
  # setup.exe may also hold the stub's earlier resource bytes: every copy must agree.
  identity=$(grep -ao '<assemblyIdentity[^>]*name="OneClickSetup.Installer"[^>]*>' "$exe" |
    sort -u || true)
  if [ -n "$identity" ]; then
    named=$(sed -n 's/.*processorArchitecture="\([^"]*\)".*/\1/p' <<<"$identity")
    if [ "$named" != "$manifest" ]; then
      echo "FAIL: $exe's manifest names processor '$named', not $manifest"
      status=1
    fi
    echo "$(basename "$exe"): $found, manifest $named"
  else
    echo "$(basename "$exe"): $found"
  fi
done
exit $status

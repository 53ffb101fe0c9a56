#!/usr/bin/env bash
# Builds the small Windows executables that the file-version tests read.
# Needs Debian's mingw-w64 (gcc-mingw-w64, binutils-mingw-w64); the tests use
# the committed binaries, so only whoever changes the fixtures runs this.
# The output is reproducible: no CRT, no link timestamp, no build id, stripped.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat >main.c <<'C'
/* Smallest possible program: no C runtime, the entry point just returns. */
int Start(void) { return 0; }
C

# version_rc FILEVERSION PRODUCTVERSION FILEFLAGS FILEOS: a version resource
# with the usual string table beneath the fixed block.
version_rc() {
    local fv=$1 pv=$2 flags=$3 os=$4
    cat <<RC
#include <winver.h>
1 VERSIONINFO
FILEVERSION $fv
PRODUCTVERSION $pv
FILEFLAGSMASK 0x3fL
FILEFLAGS $flags
FILEOS $os
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041104b0"
    BEGIN
      VALUE "FileDescription", "Mervok test fixture"
      VALUE "FileVersion", "${fv//,/.}"
      VALUE "LegalCopyright", "test data"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x411, 1200
  END
END
RC
}

# Resources of other types around the version resource, so that the reader
# has to pick type 16 out of several: a type named by a string (named entries
# come first), STRING 6 and RCDATA 10 before it, MANIFEST 24 after it.
other_rc() {
    cat <<'RC'
#include <winuser.h>
1 MYTYPE { "named type" }
7 RCDATA { "payload", 0x1234 }
STRINGTABLE { 1, "first string" }
CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "manifest.xml"
RC
}

cat >manifest.xml <<'XML'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>
XML

# build NAME ARCH [RC-FILE]: ARCH is x86_64 or i686.
build() {
    local name=$1 arch=$2 rc=${3:-}
    local objects=(main.c)
    if [ -n "$rc" ]; then
        "$arch-w64-mingw32-windres" --input-format=rc --output-format=coff \
            -o "$name.res.o" "$rc"
        objects+=("$name.res.o")
    fi
    local entry=Start
    [ "$arch" = i686 ] && entry=_Start
    "$arch-w64-mingw32-gcc" -Os -s -nostdlib -ffreestanding -fno-ident \
        -fno-asynchronous-unwind-tables -Wl,-e,"$entry" -Wl,--subsystem,console \
        -Wl,--no-insert-timestamp -Wl,--build-id=none -Wl,--file-alignment,512 \
        -o "$here/$name" "${objects[@]}"
}

version_rc 1,23,0,0 1,23,0,0 0x0L VOS_NT_WINDOWS32 >v1_23.rc
version_rc 2,5,0,0 2,5,0,0 0x0L VOS__WINDOWS32 >v2_5.rc
{ other_rc; version_rc 1,13,4,2 7,8,9,10 VS_FF_PRERELEASE VOS_NT_WINDOWS32; } >v1_13_4_2.rc
version_rc 400,1,0,0 400,1,0,0 0x0L VOS_NT_WINDOWS32 >v400_1.rc
other_rc >other.rc

build version_1_23_x64.exe x86_64 v1_23.rc
build version_2_5_x86.exe i686 v2_5.rc
build version_1_13_4_2_x64.exe x86_64 v1_13_4_2.rc
build version_1_13_4_2_x86.exe i686 v1_13_4_2.rc
build version_400_1_x86.exe i686 v400_1.rc
build no_resources_x64.exe x86_64
build no_version_x86.exe i686 other.rc

ls -l "$here"/*.exe

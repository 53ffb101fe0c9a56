#!/usr/bin/env bash
# Makes the fixture archives beside this script with real tools (jlha-utils
# lha, zip, gcab, mingw-w64) and writes manifest.tsv, the expected answers of
# the three archiver libraries for each of them. The results are committed: CI
# has no mingw, and the tests must not depend on tool versions.
#
# Self-extractors with the larger stubs are not stored: a manifest row with parts
# names the files whose concatenation makes them, and consumers build them in a
# temporary folder (so does the plugin test).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export TZ=UTC
# jlha (Java) needs a UTF-8 locale to turn file names into Shift-JIS.
export LC_ALL=C.UTF-8
export JAVA_TOOL_OPTIONS=-Dfile.encoding=UTF-8
stamp='2001-02-03 04:05:06'
sjis_name=$(printf '\x90\xe0\x96\xbe\x8f\x91.TXT')    # 説明書.TXT in Shift-JIS
cp437_name=$(printf '\x8erger.TXT')                    # Ärger.TXT in CP437

lha_q() { lha "$@" >/dev/null 2>&1; }

# --- content ---------------------------------------------------------------
src=$work/src
mkdir -p "$src/doc" "$src/notes.txt"
for i in $(seq 1 40); do echo "Line $i of the read-me text."; done >"$src/README.TXT"
head -c 2000 /dev/zero | tr '\0' 'P' >"$src/PROG.EXE"
printf 'binary data %.0s' $(seq 1 30) >"$src/data.bin"
cp "$src/README.TXT" "$src/doc/guide.txt"
cp "$src/README.TXT" "$src/MANUAL.DOC"
cp "$src/README.TXT" "$src/説明書.TXT"
cp "$src/PROG.EXE" "$src/notes.txt/SETUP.EXE"
find "$src" -exec touch -d "$stamp" {} +
# Names in legacy encodings exist as raw bytes on disk; zip stores them as they are.
raw=$work/raw
mkdir -p "$raw"
cp "$src/README.TXT" "$raw/$sjis_name"
cp "$src/README.TXT" "$raw/$cp437_name"
cp "$src/PROG.EXE" "$raw/PROG.EXE"
find "$raw" -exec touch -d "$stamp" {} +

rm -rf lha zip cab sfx corrupt nested foreign
mkdir -p lha zip cab sfx corrupt stub nested foreign

# --- LHA ---------------------------------------------------------------------
(
    cd "$src"
    lha_q azq "$here/lha/lh0.lzh" README.TXT PROG.EXE
    for m in 5 6 7; do lha_q "ao${m}q" "$here/lha/lh$m.lzh" README.TXT PROG.EXE; done
    for level in 0 1 2; do lha_q "a${level}q" "$here/lha/level$level.lzh" PROG.EXE doc/guide.txt; done
    lha_q aq "$here/lha/nodoc.lzh" PROG.EXE data.bin
    lha_q aq "$here/lha/manual_doc.lzh" PROG.EXE MANUAL.DOC
    lha_q aq "$here/lha/folder_named_txt.lzh" notes.txt
    for level in 0 1 2; do lha_q "a${level}yq" "$here/lha/sjis_level$level.lzh" PROG.EXE 説明書.TXT; done
)
for level in 0 1 2; do
    # The name must really be stored in Shift-JIS.
    xxd -p "lha/sjis_level$level.lzh" | tr -d '\n' | grep -q 90e096be8f91 ||
        { echo "lha/sjis_level$level.lzh: name is not Shift-JIS" >&2; exit 1; }
done

# --- ZIP ---------------------------------------------------------------------
(
    cd "$src"
    zip -qX "$here/zip/plain.zip" README.TXT PROG.EXE
    zip -qrX "$here/zip/nested.zip" PROG.EXE doc
    zip -qX "$here/zip/nodoc.zip" PROG.EXE data.bin
    zip -qrX "$here/zip/folder_named_txt.zip" notes.txt
    zip -qX "$here/zip/manual_doc.zip" PROG.EXE MANUAL.DOC
    # Info-ZIP stores a UTF-8 name without the UTF-8 flag; 7-Zip sets the flag.
    zip -qX "$here/zip/utf8_noflag.zip" PROG.EXE 説明書.TXT
    7z a -tzip -mcu=on -bso0 -bsp0 "$here/zip/utf8_flag.zip" PROG.EXE 説明書.TXT
    zip -qX -fz "$here/zip/zip64.zip" PROG.EXE README.TXT
    # Traditional encryption; its random header makes the file differ on each run.
    zip -qX -P secret "$here/zip/encrypted.zip" README.TXT
    echo "An archive comment that moves the end record away from the end." |
        zip -qX -z "$here/zip/comment.zip" PROG.EXE README.TXT >/dev/null
)
(
    cd "$raw"
    LC_ALL=C zip -qX "$here/zip/sjis.zip" PROG.EXE "$sjis_name"
    LC_ALL=C zip -qX "$here/zip/cp437.zip" PROG.EXE "$cp437_name"
)
check_flag() { # zip, expected general-purpose flag bit 11 (0 or 1) of the last entry
    python3 - "$1" "$2" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
at = data.rindex(b'PK\x01\x02')
flag = (data[at + 8] | data[at + 9] << 8) >> 11 & 1
sys.exit(0 if flag == int(sys.argv[2]) else f'{sys.argv[1]}: UTF-8 flag {flag}')
EOF
}
check_flag zip/utf8_flag.zip 1
check_flag zip/utf8_noflag.zip 0
check_flag zip/sjis.zip 0

# --- CAB ---------------------------------------------------------------------
(
    cd "$src"
    gcab -c "$here/cab/stored.cab" README.TXT PROG.EXE
    gcab -cz "$here/cab/mszip.cab" PROG.EXE doc/guide.txt
    gcab -cz "$here/cab/nodoc.cab" PROG.EXE data.bin
    gcab -cz "$here/cab/manual_doc.cab" PROG.EXE MANUAL.DOC
    gcab -cz "$here/cab/utf8_name.cab" PROG.EXE 説明書.TXT
)

# --- self-extractors ------------------------------------------------------------
# Stubs of about 8 KiB, 100 KiB and 1 MiB of section data.
if command -v x86_64-w64-mingw32-gcc >/dev/null; then
    for size in 8k:5120 100k:99328 1m:1048576; do
        x86_64-w64-mingw32-gcc -Os -s -nostdlib -nostartfiles -e Start -Wl,--no-insert-timestamp -DPAD_SIZE="${size#*:}" \
            stub/sfx_stub.c -o "stub/stub_${size%%:*}.exe" -lkernel32
    done
    # Not stripped: the COFF symbol and string tables follow the sections.
    x86_64-w64-mingw32-gcc -Os -nostdlib -nostartfiles -e Start -Wl,--no-insert-timestamp -DPAD_SIZE=5120 \
        stub/sfx_stub.c -o stub/stub_8k_unstripped.exe -lkernel32
fi
# Some stubs are followed by padding before their archive.
python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7 + 3) % 256 for i in range(64)))" >stub/pad64.bin
cat stub/stub_8k.exe lha/lh5.lzh >sfx/lha_8k.exe
cat stub/stub_8k.exe zip/plain.zip >sfx/zip_8k.exe
cat stub/stub_8k.exe cab/mszip.cab >sfx/cab_8k.exe
for size in 8k 100k; do
    # zip -A moves the recorded offsets by the stub's size.
    cat "stub/stub_$size.exe" zip/plain.zip >"sfx/zip_${size}_adjusted.exe"
    zip -qA "sfx/zip_${size}_adjusted.exe"
done
cat stub/stub_8k.exe lha/nodoc.lzh >sfx/lha_nodoc_8k.exe
cat stub/stub_8k.exe cab/nodoc.cab >sfx/cab_nodoc_8k.exe
cat stub/stub_8k.exe zip/nodoc.zip >sfx/zip_nodoc_8k.exe

# --- archives inside archives --------------------------------------------------
# Each format storing (uncompressed) a read-me and then an archive of each
# other format without a document: only the outer archive is the file's.
inner=$work/inner
mkdir -p "$inner"
cp lha/nodoc.lzh zip/nodoc.zip cab/nodoc.cab "$src/README.TXT" "$inner/"
find "$inner" -exec touch -d "$stamp" {} +
(
    cd "$inner"
    lha_q azq "$here/nested/lha_holding_zip.lzh" README.TXT nodoc.zip
    lha_q azq "$here/nested/lha_holding_cab.lzh" README.TXT nodoc.cab
    zip -qX -n .lzh:.cab "$here/nested/zip_holding_lha.zip" README.TXT nodoc.lzh
    zip -qX -n .lzh:.cab "$here/nested/zip_holding_cab.zip" README.TXT nodoc.cab
    gcab -c "$here/nested/cab_holding_lha.cab" README.TXT nodoc.lzh
    gcab -c "$here/nested/cab_holding_zip.cab" README.TXT nodoc.zip
)

# --- ZIPs patched by script, and other archive kinds storing a ZIP ---------------
python3 "$here/make_patched.py" "$here"
(
    cd zip
    touch -d "$stamp" plain.zip
    7z a -t7z -m0=Copy -bso0 -bsp0 "$here/foreign/7z_holding_zip.7z" plain.zip
    tar --format=ustar --mtime="$stamp" --owner=0 --group=0 -cf "$here/foreign/tar_holding_zip.tar" plain.zip
)
for rar in rar:foreign/rar4_holding_zip.rar rar5:foreign/rar5_holding_zip.rar; do
    # The hand-made containers must be sound: 7-Zip tests their member.
    7z t -t"${rar%%:*}" "${rar#*:}" | grep -q '^Everything is Ok' ||
        { echo "${rar#*:}: not a sound RAR" >&2; exit 1; }
done

# --- damaged ------------------------------------------------------------------
head -c 30 lha/lh5.lzh >corrupt/lha_cut_in_first_header.lzh
head -c $(($(stat -c %s lha/nodoc.lzh) - 20)) lha/nodoc.lzh >corrupt/lha_cut_in_data.lzh
# Level-0 header checksum broken.
cp lha/level0.lzh corrupt/lha_bad_checksum.lzh
printf '\x00' | dd of=corrupt/lha_bad_checksum.lzh bs=1 seek=1 conv=notrunc status=none
head -c $(($(stat -c %s zip/plain.zip) - 10)) zip/plain.zip >corrupt/zip_cut_end.zip
head -c 200 cab/mszip.cab >corrupt/cab_cut.cab
cp cab/mszip.cab corrupt/cab_bad_version.cab
printf '\x07' | dd of=corrupt/cab_bad_version.cab bs=1 seek=25 conv=notrunc status=none
# One data block fewer than the folder claims: reading the first file fails.
cp nested/cab_holding_zip.cab corrupt/cab_missing_block.cab
printf '\x02' | dd of=corrupt/cab_missing_block.cab bs=1 seek=40 conv=notrunc status=none
head -c 3 lha/lh5.lzh >corrupt/tiny.bin
: >corrupt/empty.bin

# --- manifest -------------------------------------------------------------------
# file: relative to this folder. parts: '-' for a stored file, else the files
# whose concatenation makes it. library: the one library whose CheckArchive
# says yes (the other two say no); none when no library does. open: 1 when that
# library's OpenArchive gives a handle. wildcards / found: a look-up as the
# program makes it (LHA and ZIP: one FindFirst with the whole list; CAB: one
# FindFirst per wildcard until one finds), 0 = found, -1 = nothing found.
{
    printf '# file\tparts\tlibrary\topen\twildcards\tfound\twhat\n'
    row() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@"; }
    docs='*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM'
    row lha/lh0.lzh - lha 1 "$docs" 0 "stored (-lh0-)"
    row lha/lh5.lzh - lha 1 "$docs" 0 "-lh5-"
    row lha/lh6.lzh - lha 1 "$docs" 0 "-lh6-"
    row lha/lh7.lzh - lha 1 "$docs" 0 "-lh7-"
    row lha/lh5.lzh - lha 1 "*.DOC" -1 "only a text and a program"
    row lha/level0.lzh - lha 1 "*.TXT" 0 "header level 0, doc\\guide.txt"
    row lha/level1.lzh - lha 1 "*.TXT" 0 "header level 1, doc/guide.txt"
    row lha/level2.lzh - lha 1 "*.TXT" 0 "header level 2, doc/guide.txt"
    row lha/level2.lzh - lha 1 "doc/*.txt" 0 "a wildcard with a folder"
    row lha/level2.lzh - lha 1 "other/*.txt" -1 "a wildcard with another folder"
    row lha/nodoc.lzh - lha 1 "$docs" -1 "no document"
    row lha/manual_doc.lzh - lha 1 "*.TXT" -1 "a document of the second type only"
    row lha/manual_doc.lzh - lha 1 "$docs" 0 "found by its second wildcard"
    row lha/folder_named_txt.lzh - lha 1 "$docs" -1 "folder notes.txt is no document"
    row lha/sjis_level0.lzh - lha 1 "$docs" 0 "Shift-JIS name, level 0"
    row lha/sjis_level1.lzh - lha 1 "$docs" 0 "Shift-JIS name, level 1"
    row lha/sjis_level2.lzh - lha 1 "$docs" 0 "Shift-JIS name, level 2"
    row lha/sjis_level2.lzh - lha 1 "$sjis_name" 0 "the Shift-JIS name itself"
    row zip/plain.zip - zip 1 "$docs" 0 "plain"
    row zip/plain.zip - zip 1 "*.doc" -1 "only a text and a program"
    row zip/nested.zip - zip 1 "*.TXT" 0 "doc/guide.txt in a folder"
    row zip/nested.zip - zip 1 "DOC\\GUIDE.TXT" 0 "whole path, other separator and case"
    row zip/nodoc.zip - zip 1 "$docs" -1 "no document"
    row zip/folder_named_txt.zip - zip 1 "$docs" -1 "folder notes.txt/ is no document"
    row zip/manual_doc.zip - zip 1 "$docs" 0 "found by its second wildcard"
    row zip/utf8_flag.zip - zip 1 "$docs" 0 "UTF-8 name with the UTF-8 flag"
    row zip/utf8_noflag.zip - zip 1 "$docs" 0 "UTF-8 name without the flag"
    row zip/utf8_noflag.zip - zip 1 "説明書.txt" 0 "the UTF-8 name itself"
    row zip/sjis.zip - zip 1 "$docs" 0 "Shift-JIS name"
    row zip/sjis.zip - zip 1 "$sjis_name" 0 "the Shift-JIS name itself"
    row zip/cp437.zip - zip 1 "$docs" 0 "CP437 name"
    row zip/zip64.zip - zip 1 "$docs" 0 "ZIP64 end records"
    row zip/comment.zip - zip 1 "$docs" 0 "archive comment after the end record"
    row zip/encrypted.zip - zip 1 "$docs" 0 "an encrypted read-me is listed"
    row cab/stored.cab - cab 1 "$docs" 0 "uncompressed folder"
    row cab/mszip.cab - cab 1 "$docs" 0 "MSZIP, doc\\guide.txt"
    row cab/nodoc.cab - cab 1 "$docs" -1 "no document"
    row cab/manual_doc.cab - cab 1 "*.TXT" -1 "a document of the second type only"
    row cab/manual_doc.cab - cab 1 "$docs" 0 "found by its second wildcard"
    row cab/utf8_name.cab - cab 1 "$docs" 0 "UTF-8 name"
    row sfx/lha_8k.exe - lha 1 "$docs" 0 "LHA behind an 8 KiB stub"
    row sfx/zip_8k.exe - zip 1 "$docs" 0 "ZIP behind an 8 KiB stub, offsets as made"
    row sfx/cab_8k.exe - cab 1 "$docs" 0 "CAB behind an 8 KiB stub"
    row sfx/zip_8k_adjusted.exe - zip 1 "$docs" 0 "ZIP behind an 8 KiB stub, zip -A"
    row sfx/zip_100k_adjusted.exe - zip 1 "$docs" 0 "ZIP behind a 100 KiB stub, zip -A"
    row sfx/lha_100k.exe stub/stub_100k.exe+lha/lh5.lzh lha 1 "$docs" 0 "LHA behind a 100 KiB stub"
    row sfx/zip_100k.exe stub/stub_100k.exe+zip/plain.zip zip 1 "$docs" 0 "ZIP behind a 100 KiB stub"
    row sfx/cab_100k.exe stub/stub_100k.exe+cab/mszip.cab cab 1 "$docs" 0 "CAB behind a 100 KiB stub"
    row sfx/lha_1m.exe stub/stub_1m.exe+lha/lh5.lzh lha 1 "$docs" 0 "LHA behind a 1 MiB stub"
    row sfx/zip_1m.exe stub/stub_1m.exe+zip/plain.zip zip 1 "$docs" 0 "ZIP behind a 1 MiB stub"
    row sfx/cab_1m.exe stub/stub_1m.exe+cab/mszip.cab cab 1 "$docs" 0 "CAB behind a 1 MiB stub"
    row sfx/lha_nodoc_8k.exe - lha 1 "$docs" -1 "LHA self-extractor without a document"
    row sfx/zip_nodoc_8k.exe - zip 1 "$docs" -1 "ZIP self-extractor without a document"
    row sfx/cab_nodoc_8k.exe - cab 1 "$docs" -1 "CAB self-extractor without a document"
    row zip/dos_folders.zip - zip 1 "$docs" -1 "folders named like documents, marked by attributes only"
    row zip/dos_files.zip - zip 1 "$docs" 0 "files with MS-DOS and NTFS attributes"
    row zip/zip64_extra.zip - zip 1 "$docs" 0 "sizes and offsets in the ZIP64 extra field"
    row zip/nul_in_name.zip - zip 1 "$docs" -1 "evil.exe\\0.txt is no document"
    for archive in foreign/rar4_holding_zip.rar foreign/rar5_holding_zip.rar \
        foreign/7z_holding_zip.7z foreign/tar_holding_zip.tar; do
        row "$archive" - none - - - "another archive kind storing a ZIP"
    done
    row sfx/rar4_holding_zip.exe stub/stub_8k.exe+foreign/rar4_holding_zip.rar none - - - \
        "a RAR self-extractor storing a ZIP"
    row sfx/rar5_holding_zip_pad.exe stub/stub_8k.exe+stub/pad64.bin+foreign/rar5_holding_zip.rar \
        none - - - "a RAR self-extractor storing a ZIP, padded"
    # The outermost archive decides: plain, behind stripped and unstripped
    # stubs, with and without padding between stub and archive.
    for outer in lha zip cab; do
        for inner in lha zip cab; do
            [ $outer = $inner ] && continue
            ext=$outer; [ $outer = lha ] && ext=lzh
            nested=nested/${outer}_holding_$inner.$ext
            row $nested - $outer 1 "$docs" 0 "$outer storing a read-me and a $inner archive"
            for stub in 8k 8k_unstripped; do
                for pad in "" pad64; do
                    parts=stub/stub_$stub.exe${pad:++stub/$pad.bin}+$nested
                    row sfx/${outer}_holding_${inner}_$stub${pad:+_$pad}.exe "$parts" $outer 1 "$docs" 0 \
                        "the same behind a $stub stub${pad:+ and 64 bytes of padding}"
                done
            done
        done
    done
    row stub/stub_8k.exe - none - - - "an executable without an archive"
    row stub/stub_100k.exe - none - - - "an executable without an archive"
    row stub/stub_1m.exe - none - - - "an executable without an archive"
    row corrupt/lha_cut_in_first_header.lzh - none - - - "cut inside the first header"
    row corrupt/lha_cut_in_data.lzh - lha 1 "$docs" -1 "cut inside the last entry's data"
    row corrupt/lha_bad_checksum.lzh - none - - - "first header checksum broken"
    row corrupt/zip_cut_end.zip - none - - - "end record cut off"
    row corrupt/cab_cut.cab - none - - - "cabinet shorter than its header says"
    row corrupt/cab_bad_version.cab - none - - - "unknown cabinet version"
    row corrupt/cab_missing_block.cab - cab 1 "$docs" 0 "a data block fewer than the folder claims"
    row corrupt/tiny.bin - none - - - "three bytes"
    row corrupt/empty.bin - none - - - "empty file"
} >manifest.tsv

du -sh "$here" | cut -f1 | xargs echo "fixtures:"
